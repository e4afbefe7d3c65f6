// The AVX2 tier: 32 characters (eight groups) a step, the SSSE3 tier's method on both 128-bit halves
// at once; each half's 12 bytes are stored on their own (two 16-byte stores 12 bytes apart cost less
// than a cross-half permutation on CPUs that split 256-bit operations). Built for AVX2 with a
// per-function target and only called when the CPU and the operating system support AVX2.
//
// Everything stays in registers: no 256-bit value is kept on the stack, which the 64-bit Windows
// build could not align to 32 bytes.
#include "printing/base64_tiers.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>
#include <string.h>

#include "printing/base64_vector_tables.h"

#define AVX2_CODE __attribute__((target("avx2")))
#define AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

using namespace base64_vector;

constexpr uint32_t kStepGroups = 8;
constexpr uint32_t kStepChars = 32;
constexpr uint32_t kStepBytes = 24;

struct Avx2Constants {
  __m256i nibble, highClass, lowClass, offset, slash, joinSextets, joinHalves, groupBytes;
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
          Table(kGroupBytes)};
}

// Decodes the 32 characters at in into the low 12 bytes of each half of *bytes; false, with *bytes
// unset, when any of them is not an alphabet character.
AVX2_INLINE bool DecodeStep(const uint8_t* in, const Avx2Constants& k, __m256i* bytes) {
  const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  const __m256i high = _mm256_and_si256(_mm256_srli_epi32(chars, 4), k.nibble);
  const __m256i low = _mm256_and_si256(chars, k.nibble);
  // One test of the two classes joined: zero for every byte exactly when all are in the alphabet.
  if (!_mm256_testz_si256(_mm256_shuffle_epi8(k.highClass, high), _mm256_shuffle_epi8(k.lowClass, low))) {
    return false;
  }
  const __m256i column = _mm256_add_epi8(high, _mm256_cmpeq_epi8(chars, k.slash));
  const __m256i sextets = _mm256_add_epi8(chars, _mm256_shuffle_epi8(k.offset, column));
  const __m256i halves = _mm256_maddubs_epi16(sextets, k.joinSextets);
  const __m256i groups = _mm256_madd_epi16(halves, k.joinHalves);
  *bytes = _mm256_shuffle_epi8(groups, k.groupBytes);
  return true;
}

// A step's 24 bytes with the 4 bytes that follow each half: 32 bytes written.
AVX2_INLINE void StoreWithSurplus(uint8_t* out, __m256i bytes) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(bytes, 1));
}

// A step's 24 bytes, and not one more.
AVX2_INLINE void StoreExactly(uint8_t* out, __m256i bytes) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
  const __m128i second = _mm256_extracti128_si256(bytes, 1);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), second);
  const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(second, 8));
  memcpy(out + 20, &last, sizeof(last));
}

}  // namespace

// As in the SSSE3 tier: a step is stored with its surplus only once the next step has decoded
// cleanly (the surplus falls where the next step's bytes go); the last step is stored exactly. Two
// steps a turn, so that the two decoded values take turns instead of being copied.
AVX2_CODE uint32_t DecodeBlocksAvx2(const uint8_t* in, uint32_t groups, uint8_t* out) {
  const Avx2Constants k = LoadConstants();
  const uint8_t* const start = in;
  const uint8_t* const end = in + groups / kStepGroups * kStepChars;
  __m256i first, second;
  if (in == end || !DecodeStep(in, k, &first)) return 0;
  for (;;) {
    in += kStepChars;
    if (in == end || !DecodeStep(in, k, &second)) {
      StoreExactly(out, first);
      break;
    }
    StoreWithSurplus(out, first);
    out += kStepBytes;
    in += kStepChars;
    if (in == end || !DecodeStep(in, k, &first)) {
      StoreExactly(out, second);
      break;
    }
    StoreWithSurplus(out, second);
    out += kStepBytes;
  }
  return static_cast<uint32_t>(in - start) / kStepChars * kStepGroups;
}

#else

uint32_t DecodeBlocksAvx2(const uint8_t*, uint32_t, uint8_t*) { return 0; }

#endif
