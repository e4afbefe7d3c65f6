// The module's own heap. Every block the module owns (instance records, script objects, decode
// buffers, name copies, enumeration buffers, name lists) is taken and given back through this pair, so
// that tests can count the blocks and make any one allocation fail.
#pragma once

#include <stddef.h>

// Returns a block of at least `size` bytes, or null when memory cannot be had. A size of 0 is valid.
void* ModuleAlloc(size_t size);
// Gives a block of ModuleAlloc back; null is accepted and ignored.
void ModuleFree(void* block);
