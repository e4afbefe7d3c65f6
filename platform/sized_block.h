// The platform's "ask the size, allocate, fill" pattern: a function that reports the size it needs
// when the buffer it was given is too small, called again with a new block until it fills one.
#pragma once

#include "platform/module_heap.h"
#include "platform/windows_api.h"

enum FillStep {
  FillKept,   // the block holds the answer: it is handed back
  FillRetry,  // the block is given back and the next attempt, if any, begins
  FillStop,   // the block is given back and no attempt follows
};

// Makes up to `attempts` attempts. Each begins with size(&bytes), which states the size of the next
// block (false: no attempt follows), then calls fill(block, bytes) with a new ModuleAlloc block of
// that size, or with null when memory could not be had. Returns the kept block, with its size in
// *keptSize (when given), or null; size and fill record why through what they capture.
template <class T, class Size, class Fill>
ModuleBlock<T> FillSizedBlock(int attempts, Size size, Fill fill, DWORD* keptSize = nullptr) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    DWORD bytes = 0;
    if (!size(&bytes)) break;
    ModuleBlock<T> block = AllocateModuleBlock<T>(bytes);
    const FillStep step = fill(block.get(), bytes);
    if (step == FillKept) {
      if (keptSize) *keptSize = bytes;
      return block;
    }
    if (step == FillStop) break;
  }
  return nullptr;
}
