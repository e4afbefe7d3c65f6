// The SSSE3 tier: the vector block loop on 16 characters (four groups) a step. Its functions alone are
// compiled for SSSE3, so the rest of the module runs on any x86 CPU; it is only called when the CPU
// has SSSE3.
#include "printing/base64_tiers.h"

#if defined(__i386__) || defined(__x86_64__)

#define BASE64_VECTOR_TARGET "ssse3"
#include "printing/base64_vector_loop.h"

namespace {

struct Ssse3Ops : CommonOps<16> {
  // No byte of the two classes shares a bit (SSSE3 has no PTEST, so the bytes are compared).
  static BASE64_VECTOR_INLINE bool InAlphabet(Vector highClass, Vector lowClass) {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(highClass & lowClass, _mm_setzero_si128())) == 0xFFFF;
  }
  static BASE64_VECTOR_INLINE Vector Shuffle(Vector table, Vector i) { return _mm_shuffle_epi8(table, i); }
  static BASE64_VECTOR_INLINE Vector JoinSextets(Vector v, Vector m) { return _mm_maddubs_epi16(v, m); }
  static BASE64_VECTOR_INLINE Vector JoinHalves(Vector v, Vector m) { return _mm_madd_epi16(v, m); }
  // A step's 12 bytes with the 4 that follow them; a step's 12 bytes alone.
  static BASE64_VECTOR_INLINE void StoreWithSurplus(uint8_t* out, Vector bytes) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  }
  static BASE64_VECTOR_INLINE void StoreExactly(uint8_t* out, Vector bytes) { StoreTwelve(out, bytes); }
};

}  // namespace

BASE64_VECTOR_CODE uint32_t DecodeBlocksSsse3(const uint8_t* in, uint32_t groups, uint8_t* out) {
  return DecodeBlocks<Ssse3Ops>(in, groups, out);
}

#endif
