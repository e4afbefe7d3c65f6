// Scripted stand-ins for the platform that the module reaches through platform/windows_api.h and
// platform/module_heap.h. Every platform call is recorded with its arguments in one call log, and each
// double plays back what a test scripted (sizes, last errors, failures at any step).
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace doubles {

// Puts every double back to its defaults: empty call log, no scripted failures, code page 1252,
// no printers, no interfaces, a spooler that accepts everything.
void Reset();

// Every platform call since the last Reset, one line each, e.g. "OpenPrinterA(Label)".
const std::vector<std::string>& Calls();
void Record(const std::string& call);

// ---- Module heap ----
size_t LiveBlocks();                  // ModuleAlloc blocks not yet freed
size_t AllocCalls();                  // ModuleAlloc calls since Reset, failed ones included
size_t PeakBytes();                   // the most bytes live at once since Reset
void FailAllocAt(size_t n);           // the n-th ModuleAlloc call from now fails (1 = the next); 0: off
void FailAllocsFrom(size_t n);        // the n-th and every later call fails; 0: off
void FailAllocsAbove(size_t bytes);   // larger requests fail, as in a 32-bit process; 0: off
bool IsLiveBlock(const void* block);  // a block of ModuleAlloc not yet freed
size_t BlockSize(const void* block);  // the size asked for a live block, 0 for any other

// ---- KERNEL32 ----
void SetAnsiCodePage(UINT codePage);  // 1252 (Western) or 65001 (UTF-8)

// Reset hooks of the individual doubles, called by Reset().
void ResetHeap();
void ResetKernel();
void ResetSpooler();
void ResetPrinterList();
void ResetInterfaces();
void ResetRegistry();

}  // namespace doubles
