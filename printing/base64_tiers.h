// The decoder's vector tiers: loops that decode whole blocks of groups with SSSE3 or AVX2 instructions
// in front of the scalar code, and the choice among them by what the CPU and the operating system
// support. The choice is made on first use and kept for the process.
#pragma once

#include <stdint.h>

enum Base64Tier {
  Base64TierScalar = 0,  // the table-driven code alone (any x86 CPU, SSE2 or not)
  Base64TierSsse3 = 1,   // 16 characters a step
  Base64TierAvx2 = 2,    // 32 characters a step
};

// Decodes blocks from the start of the `groups` groups at in for as long as a whole block holds only
// alphabet characters ("=" not counted among them), with the tier in use; returns the number of groups
// decoded. Exactly their bytes are written: nothing for the block it stopped at or after it.
uint32_t DecodeVectorBlocks(const uint8_t* in, uint32_t groups, uint8_t* out);

// The best tier this CPU and operating system can run.
Base64Tier BestBase64Tier();

// The tier in use (the best one until a test forces another).
Base64Tier ActiveBase64Tier();

// For tests and benchmarks: makes `tier` the one in use. Returns false, changing nothing, when this
// machine cannot run it.
bool ForceBase64Tier(Base64Tier tier);

// The block loops themselves (x86 builds only); each may only be called when the CPU supports its
// instructions.
uint32_t DecodeBlocksSsse3(const uint8_t* in, uint32_t groups, uint8_t* out);
uint32_t DecodeBlocksAvx2(const uint8_t* in, uint32_t groups, uint8_t* out);
