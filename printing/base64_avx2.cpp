// The AVX2 tier: 32 characters (eight groups) a step, the SSSE3 tier's method on both 128-bit halves
// at once, then one cross-half permutation that puts the 24 decoded bytes together. Built for AVX2
// with a per-function target and only called when the CPU and the operating system support AVX2.
//
// Everything stays in registers: no 256-bit value is kept on the stack, which the 64-bit Windows
// build could not align to 32 bytes.
#include "printing/base64_tiers.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include "printing/base64_vector_tables.h"

#define AVX2_CODE __attribute__((target("avx2")))
#define AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

using namespace base64_vector;

constexpr uint32_t kStepGroups = 8;
constexpr uint32_t kStepChars = 32;
constexpr uint32_t kStepBytes = 24;

struct Avx2Constants {
  __m256i nibble, highClass, lowClass, offset, slash, joinSextets, joinHalves, groupBytes, gather;
};

AVX2_INLINE __m256i Table(const void* table) { return _mm256_load_si256(static_cast<const __m256i*>(table)); }

AVX2_INLINE Avx2Constants LoadConstants() {
  return {Table(kLowNibble.bytes),
          Table(kHighNibbleClass),
          Table(kLowNibbleClass),
          Table(kSextetOffset),
          Table(kSlash.bytes),
          _mm256_set1_epi32(kJoinSextets),
          _mm256_set1_epi32(kJoinHalves),
          Table(kGroupBytes),
          // Each half holds its 12 bytes in its first three 32-bit words.
          _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7)};
}

// Decodes the 32 characters at in into the low 24 bytes of *bytes; false, with *bytes unset, when
// any of them is not an alphabet character.
AVX2_INLINE bool DecodeStep(const uint8_t* in, const Avx2Constants& k, __m256i* bytes) {
  const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  const __m256i high = _mm256_and_si256(_mm256_srli_epi32(chars, 4), k.nibble);
  const __m256i low = _mm256_and_si256(chars, k.nibble);
  const __m256i outside =
      _mm256_and_si256(_mm256_shuffle_epi8(k.highClass, high), _mm256_shuffle_epi8(k.lowClass, low));
  if (!_mm256_testz_si256(outside, outside)) return false;
  const __m256i column = _mm256_add_epi8(high, _mm256_cmpeq_epi8(chars, k.slash));
  const __m256i sextets = _mm256_add_epi8(chars, _mm256_shuffle_epi8(k.offset, column));
  const __m256i halves = _mm256_maddubs_epi16(sextets, k.joinSextets);
  const __m256i groups = _mm256_madd_epi16(halves, k.joinHalves);
  *bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, k.groupBytes), k.gather);
  return true;
}

// The 24 decoded bytes of a step, and not one more.
AVX2_INLINE void StoreExactly(uint8_t* out, __m256i bytes) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(bytes, 1));
}

}  // namespace

// As in the SSSE3 tier: a full 32-byte store only once the next step has decoded cleanly (its eight
// surplus bytes fall where the next step's bytes go), the last step's 24 bytes stored exactly.
AVX2_CODE uint32_t DecodeBlocksAvx2(const uint8_t* in, uint32_t groups, uint8_t* out) {
  const uint32_t steps = groups / kStepGroups;
  const Avx2Constants k = LoadConstants();
  __m256i current;
  if (steps == 0 || !DecodeStep(in, k, &current)) return 0;
  uint32_t done = 1;
  for (; done < steps; ++done) {
    __m256i next;
    if (!DecodeStep(in + done * kStepChars, k, &next)) break;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), current);
    out += kStepBytes;
    current = next;
  }
  StoreExactly(out, current);
  return done * kStepGroups;
}

#else

uint32_t DecodeBlocksAvx2(const uint8_t*, uint32_t, uint8_t*) { return 0; }

#endif
