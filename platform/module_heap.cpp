#include "platform/module_heap.h"

#include <stdlib.h>

// The standard heap of the module's statically linked runtime.
void* ModuleAlloc(size_t size) { return malloc(size == 0 ? 1 : size); }

void ModuleFree(void* block) { free(block); }
