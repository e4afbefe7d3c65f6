// The module's own heap. Every block the module owns (instance records, script objects, decode
// buffers, name copies, enumeration buffers, name lists) is taken and given back through this pair, so
// that tests can count the blocks and make any one allocation fail.
#pragma once

#include <stddef.h>

#include <memory>

// Returns a block of at least `size` bytes, or null when memory cannot be had. A size of 0 is valid.
void* ModuleAlloc(size_t size);
// Gives a block of ModuleAlloc back; null is accepted and ignored.
void ModuleFree(void* block);

struct ModuleFreeDeleter {
  void operator()(void* block) const { ModuleFree(block); }
};

// The one owner of a ModuleAlloc block inside a function: it gives the block back on every path that
// does not release() it to a caller.
template <class T>
using ModuleBlock = std::unique_ptr<T, ModuleFreeDeleter>;

template <class T>
ModuleBlock<T> AllocateModuleBlock(size_t size) {
  return ModuleBlock<T>(static_cast<T*>(ModuleAlloc(size)));
}
