// The spooler double: which printers exist, which one is the default, which call fails, how many
// bytes each write takes, and what each job received. Every call is recorded in the call log:
//   GetDefaultPrinterA(buffer=null,size=0)   GetDefaultPrinterA(buffer,size=6)
//   OpenPrinterA(Label)                      StartDocPrinterA(level=1,doc=raw document,out=null,type=RAW)
//   StartPagePrinter  WritePrinter(offset=0,count=3)  EndPagePrinter  EndDocPrinter  ClosePrinter
// The offset of a write is counted from the data pointer of the page's first write. A call on a
// handle that is not open is recorded with " (bad handle)" appended.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace doubles {

enum class SpoolerCall {
  DefaultPrinterSize,  // GetDefaultPrinterA with no buffer
  DefaultPrinterName,  // GetDefaultPrinterA with a buffer
  OpenPrinter,
  StartDoc,
  StartPage,
  Write,
  EndPage,
  EndDoc,
  ClosePrinter,
};

// OpenPrinterA accepts exactly these names, byte for byte.
void AddPrinter(const std::string& name);
// Makes the name the default (and a known printer). Without one, GetDefaultPrinterA fails with
// ERROR_FILE_NOT_FOUND.
void SetDefaultPrinter(const std::string& name);

// The size query (GetDefaultPrinterA with no buffer) reports the default name's length in characters,
// as Wine does on a multibyte code page; a fill call with too small a buffer reports the bytes needed.
void ReportDefaultSizeInCharacters();

// The nth call (1 = the first since Reset) of that kind and the count - 1 after it fail with the
// given last error; a count of 0 fails every call from the nth on. A failing size query stores no size.
void FailSpoolerCall(SpoolerCall call, DWORD lastError, size_t nth = 1, size_t count = 1);

// The count each WritePrinter reports, in call order; the bytes taken are the lesser of the count and
// the bytes offered. Calls beyond the list take everything offered.
void SetWrittenCounts(const std::vector<DWORD>& counts);

// The bytes each started document received, in order.
const std::vector<std::string>& PrintedJobs();
// Printers opened and not closed, documents and pages started and not ended.
size_t OpenPrinterHandles();
size_t OpenDocuments();
size_t OpenPages();

}  // namespace doubles
