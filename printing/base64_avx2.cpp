// The AVX2 tier: the vector block loop on 32 characters (eight groups) a step, the SSSE3 tier's
// method on both 128-bit halves at once; each half's 12 bytes are stored on their own (two 16-byte
// stores 12 bytes apart cost less than a cross-half permutation on CPUs that split 256-bit
// operations). Its functions alone are compiled for AVX2, and it is only called when the CPU and the
// operating system support AVX2.
//
// Everything stays in registers: no 256-bit value is kept on the stack, which the 64-bit Windows
// build could not align to 32 bytes.
#include "printing/base64_tiers.h"

#if defined(__i386__) || defined(__x86_64__)

#define BASE64_VECTOR_TARGET "avx2"
#include "printing/base64_vector_loop.h"

namespace {

struct Avx2Ops : CommonOps<32> {
  // One test of the two classes joined: zero for every byte exactly when all are in the alphabet.
  static BASE64_VECTOR_INLINE bool InAlphabet(Vector highClass, Vector lowClass) {
    return _mm256_testz_si256(highClass, lowClass);
  }
  static BASE64_VECTOR_INLINE Vector Shuffle(Vector table, Vector i) { return _mm256_shuffle_epi8(table, i); }
  static BASE64_VECTOR_INLINE Vector JoinSextets(Vector v, Vector m) { return _mm256_maddubs_epi16(v, m); }
  static BASE64_VECTOR_INLINE Vector JoinHalves(Vector v, Vector m) { return _mm256_madd_epi16(v, m); }
  // A step's 24 bytes with the 4 bytes that follow each half (32 bytes written); its 24 bytes alone.
  static BASE64_VECTOR_INLINE void StoreWithSurplus(uint8_t* out, Vector bytes) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(bytes, 1));
  }
  static BASE64_VECTOR_INLINE void StoreExactly(uint8_t* out, Vector bytes) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    StoreTwelve(out + 12, _mm256_extracti128_si256(bytes, 1));
  }
};

}  // namespace

BASE64_VECTOR_CODE uint32_t DecodeBlocksAvx2(const uint8_t* in, uint32_t groups, uint8_t* out) {
  return DecodeBlocks<Avx2Ops>(in, groups, out);
}

#endif
