// Accounting of the memory the host hands out: every NPN_MemAlloc block and every block the host
// itself gives to script or to the plug-in, so that a block freed twice, a foreign block and a block
// never freed all show in the counters.
#include <stdlib.h>

#include <unordered_set>

#include "host/host_internal.h"

namespace host {
namespace {

struct MemoryState {
  std::unordered_set<void*> liveBlocks;
  Counters counters;
  size_t failCountdown = 0;  // the NPN_MemAlloc call at which this reaches 0 fails; 0: none armed
};

// Lives for the whole process: plug-ins may free blocks from their own static destructors.
MemoryState& Memory() {
  static MemoryState* state = new MemoryState;
  return *state;
}

// Exactly the size asked for, so that a read past its end shows under AddressSanitizer; a block of 0
// bytes is still a block of its own.
void* TakeBlock(size_t size) {
  void* block = malloc(size);
  if (!block && size == 0) block = malloc(1);
  if (block) Memory().liveBlocks.insert(block);
  return block;
}

}  // namespace

namespace detail {

Counters& MutableCounters() { return Memory().counters; }

void* MemAlloc(uint32_t size) {
  MemoryState& memory = Memory();
  ++memory.counters.memAllocCalls;
  if (memory.failCountdown != 0 && --memory.failCountdown == 0) return nullptr;
  return TakeBlock(size);
}

void MemFree(void* block) {
  if (!block) return;
  if (!FreeBlock(block)) ++Memory().counters.badReleases;
}

// The host keeps no cache that it could give back.
uint32_t MemFlush(uint32_t) { return 0; }

void* HostBlock(size_t size) { return TakeBlock(size); }

bool FreeBlock(void* block) {
  if (Memory().liveBlocks.erase(block) == 0) return false;
  free(block);
  return true;
}

}  // namespace detail

Counters GetCounters() {
  Counters counters = Memory().counters;
  counters.memAllocBlocks = Memory().liveBlocks.size();
  return counters;
}

void FailMemAllocAt(size_t n) { Memory().failCountdown = n; }

}  // namespace host
