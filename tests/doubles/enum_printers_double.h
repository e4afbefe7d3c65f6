// EnumPrintersA for native builds: a spooler with a scripted list of printers that can change between
// calls, and calls made to fail with any error. Each call is recorded as
// "EnumPrintersA(flags,server,level,buffer|null,size)".
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace doubles {

// The spooler's printers from now on, in the order EnumPrintersA gives them. A name is any bytes (in
// the ANSI code page); with no printers the sizing call succeeds outright, as Windows' spooler does.
void SetPrinters(const std::vector<std::string>& names);

// Just before the call-th EnumPrintersA call from now (1 = the next), the printers become names:
// a printer added or removed between the sizing call and a filling call.
void ChangePrintersBeforeCall(size_t call, const std::vector<std::string>& names);

// The call-th EnumPrintersA call from now fails with error, writing nothing.
void FailEnumPrintersAt(size_t call, DWORD error);

// Successful calls report this many records more than they wrote, as a faulty spooler might.
void OverstateRecordCount(DWORD extra);

// EnumPrintersA calls since Reset.
size_t EnumPrintersCalls();

// What a filling call needs for names: the records, then the strings they point to.
DWORD EnumerationSize(const std::vector<std::string>& names);

}  // namespace doubles
