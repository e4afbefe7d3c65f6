// The module heap for native builds: real blocks from malloc, counted, with any call made to fail.
#include <stdlib.h>

#include <map>

#include "platform/module_heap.h"
#include "tests/doubles/doubles.h"

namespace {

struct HeapState {
  std::map<const void*, size_t> live;
  std::map<const void*, size_t> forgotten;  // blocks a finished test left live
  size_t calls = 0;
  size_t failAt = 0;    // absolute call number that fails, 0: none
  size_t failFrom = 0;  // absolute call number from which every call fails, 0: none
  size_t failAbove = 0;  // requests larger than this fail, 0: none
  size_t bytes = 0;
  size_t peak = 0;
};

HeapState& Heap() {
  static HeapState state;
  return state;
}

}  // namespace

void* ModuleAlloc(size_t size) {
  HeapState& heap = Heap();
  ++heap.calls;
  if (heap.calls == heap.failAt || (heap.failFrom != 0 && heap.calls >= heap.failFrom)) return nullptr;
  if (heap.failAbove != 0 && size > heap.failAbove) return nullptr;
  void* block = malloc(size == 0 ? 1 : size);
  if (!block) return nullptr;
  heap.live[block] = size;
  heap.bytes += size;
  if (heap.bytes > heap.peak) heap.peak = heap.bytes;
  return block;
}

void ModuleFree(void* block) {
  if (!block) return;
  HeapState& heap = Heap();
  auto it = heap.live.find(block);
  if (it == heap.live.end()) {
    if (heap.forgotten.erase(block) == 0) abort();  // a double free or a foreign block
    free(block);
    return;
  }
  heap.bytes -= it->second;
  heap.live.erase(it);
  free(block);
}

namespace doubles {

size_t LiveBlocks() { return Heap().live.size(); }
size_t AllocCalls() { return Heap().calls; }
size_t PeakBytes() { return Heap().peak; }
void FailAllocAt(size_t n) { Heap().failAt = n == 0 ? 0 : Heap().calls + n; }
void FailAllocsFrom(size_t n) { Heap().failFrom = n == 0 ? 0 : Heap().calls + n; }
void FailAllocsAbove(size_t bytes) { Heap().failAbove = bytes; }
bool IsLiveBlock(const void* block) { return Heap().live.count(block) != 0; }
size_t BlockSize(const void* block) {
  auto it = Heap().live.find(block);
  return it == Heap().live.end() ? 0 : it->second;
}

void ResetHeap() {
  // Blocks still live belong to a test that leaked them (its own check reports that); they are
  // forgotten so that the next test starts from zero.
  HeapState& heap = Heap();
  heap.forgotten.insert(heap.live.begin(), heap.live.end());
  heap.live.clear();
  heap.calls = 0;
  heap.failAt = 0;
  heap.failFrom = 0;
  heap.failAbove = 0;
  heap.bytes = 0;
  heap.peak = 0;
}

}  // namespace doubles
