#include "printing/base64_tiers.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

// The tier in use; kUnchosen until the first decode (or a test) sets it. A plain int set to a
// constant: choosing again gives the same answer, so a repeated first choice changes nothing.
constexpr int kUnchosen = -1;
int chosenTier = kUnchosen;

#if defined(__i386__) || defined(__x86_64__)

constexpr unsigned kLeaf1Ssse3 = 1u << 9;      // ECX
constexpr unsigned kLeaf1Osxsave = 1u << 27;   // ECX: the OS enabled XGETBV and saves what XCR0 says
constexpr unsigned kLeaf1Avx = 1u << 28;       // ECX
constexpr unsigned kLeaf7Avx2 = 1u << 5;       // EBX, subleaf 0
constexpr unsigned kXcr0XmmYmm = (1u << 1) | (1u << 2);

// XCR0, the register state the OS saves and restores on a context switch (XGETBV with ECX = 0,
// spelled as bytes so that no assembler or target option is needed).
unsigned EnabledRegisterState() {
  unsigned low, high;
  __asm__ __volatile__(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}

Base64Tier DetectTier() {
  unsigned eax, ebx, ecx, edx;
  // __get_cpuid also checks that the CPU has CPUID and the leaf at all (a 486 has neither).
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & kLeaf1Ssse3)) return Base64TierScalar;
  const bool osSavesYmm =
      (ecx & kLeaf1Osxsave) && (ecx & kLeaf1Avx) && (EnabledRegisterState() & kXcr0XmmYmm) == kXcr0XmmYmm;
  unsigned ebx7 = 0;
  if (osSavesYmm && __get_cpuid_count(7, 0, &eax, &ebx7, &ecx, &edx) && (ebx7 & kLeaf7Avx2)) {
    return Base64TierAvx2;
  }
  return Base64TierSsse3;
}

#else

Base64Tier DetectTier() { return Base64TierScalar; }

#endif

}  // namespace

Base64Tier BestBase64Tier() { return DetectTier(); }

Base64Tier ActiveBase64Tier() {
  if (chosenTier == kUnchosen) chosenTier = DetectTier();
  return static_cast<Base64Tier>(chosenTier);
}

bool ForceBase64Tier(Base64Tier tier) {
  if (tier < Base64TierScalar || tier > DetectTier()) return false;
  chosenTier = tier;
  return true;
}

// Only x86 builds have the tiers' loops; elsewhere the scalar tier is the only one chosen.
uint32_t DecodeVectorBlocks(const uint8_t* in, uint32_t groups, uint8_t* out) {
  switch (ActiveBase64Tier()) {
#if defined(__i386__) || defined(__x86_64__)
    case Base64TierAvx2: {
      // What is left of whole AVX2 steps (up to seven groups) goes on in SSSE3 steps.
      const uint32_t done = DecodeBlocksAvx2(in, groups, out);
      return done + DecodeBlocksSsse3(in + done * 4, groups - done, out + done * 3);
    }
    case Base64TierSsse3: return DecodeBlocksSsse3(in, groups, out);
#endif
    default: return 0;
  }
}
