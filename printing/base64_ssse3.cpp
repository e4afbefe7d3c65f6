// The SSSE3 tier: 16 characters (four groups) a step, checked and translated with byte shuffles by
// nibble, joined into 12 bytes with two multiply-adds. Built for SSSE3 with a per-function target, so
// the rest of the module runs on any x86 CPU; it is only called when the CPU has SSSE3.
#include "printing/base64_tiers.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>
#include <string.h>

#include "printing/base64_vector_tables.h"

#define SSSE3_CODE __attribute__((target("ssse3")))
#define SSSE3_INLINE __attribute__((target("ssse3"), always_inline)) inline

namespace {

using namespace base64_vector;

constexpr uint32_t kStepGroups = 4;
constexpr uint32_t kStepChars = 16;
constexpr uint32_t kStepBytes = 12;

struct Ssse3Constants {
  __m128i nibble, highClass, lowClass, offset, slash, joinSextets, joinHalves, groupBytes;
};

SSSE3_INLINE __m128i Table(const void* table) { return _mm_load_si128(static_cast<const __m128i*>(table)); }

SSSE3_INLINE Ssse3Constants LoadConstants() {
  return {Table(kLowNibble.bytes),
          Table(kHighNibbleClass),
          Table(kLowNibbleClass),
          Table(kSextetOffset),
          Table(kSlash.bytes),
          _mm_set1_epi32(kJoinSextets),
          _mm_set1_epi32(kJoinHalves),
          Table(kGroupBytes)};
}

// Decodes the 16 characters at in into the low 12 bytes of *bytes; false, with *bytes unset, when
// any of them is not an alphabet character.
SSSE3_INLINE bool DecodeStep(const uint8_t* in, const Ssse3Constants& k, __m128i* bytes) {
  const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i high = _mm_and_si128(_mm_srli_epi32(chars, 4), k.nibble);
  const __m128i low = _mm_and_si128(chars, k.nibble);
  const __m128i outside =
      _mm_and_si128(_mm_shuffle_epi8(k.highClass, high), _mm_shuffle_epi8(k.lowClass, low));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) != 0xFFFF) return false;
  // "/" looks its offset up one column below "+": the comparison gives -1 for it.
  const __m128i column = _mm_add_epi8(high, _mm_cmpeq_epi8(chars, k.slash));
  const __m128i sextets = _mm_add_epi8(chars, _mm_shuffle_epi8(k.offset, column));
  const __m128i halves = _mm_maddubs_epi16(sextets, k.joinSextets);
  const __m128i groups = _mm_madd_epi16(halves, k.joinHalves);
  *bytes = _mm_shuffle_epi8(groups, k.groupBytes);
  return true;
}

// The 12 decoded bytes of a step, and not one more.
SSSE3_INLINE void StoreExactly(uint8_t* out, __m128i bytes) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
  const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 8));
  memcpy(out + 8, &last, sizeof(last));
}

}  // namespace

// A step's bytes are stored with one 16-byte store only once the next step has decoded cleanly: its
// four surplus bytes then fall where the next step's bytes go. The last step stores its 12 bytes
// exactly, so nothing is written for the block the loop stops at. Two steps a turn, so that the two
// decoded values take turns instead of being copied.
SSSE3_CODE uint32_t DecodeBlocksSsse3(const uint8_t* in, uint32_t groups, uint8_t* out) {
  const Ssse3Constants k = LoadConstants();
  const uint8_t* const start = in;
  const uint8_t* const end = in + groups / kStepGroups * kStepChars;
  __m128i first, second;
  if (in == end || !DecodeStep(in, k, &first)) return 0;
  for (;;) {
    in += kStepChars;
    if (in == end || !DecodeStep(in, k, &second)) {
      StoreExactly(out, first);
      break;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
    out += kStepBytes;
    in += kStepChars;
    if (in == end || !DecodeStep(in, k, &first)) {
      StoreExactly(out, second);
      break;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), second);
    out += kStepBytes;
  }
  return static_cast<uint32_t>(in - start) / kStepChars * kStepGroups;
}

#else

uint32_t DecodeBlocksSsse3(const uint8_t*, uint32_t, uint8_t*) { return 0; }

#endif
