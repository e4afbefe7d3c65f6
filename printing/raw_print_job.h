// One raw spooler job: the caller's bytes, unchanged, as a single "RAW" document named
// "raw document" with one page, on a named printer or on the default printer.
#pragma once

#include <stdint.h>

enum PrintJobStatus {
  PrintJobOk = 0,
  PrintJobNoPrinter = 1,      // no default printer, its name not obtained, or the printer refused to open
  PrintJobSpoolerFailed = 4,  // the document or the page did not start or end, or a write failed
};

// Attempts at reading the default printer's name (size query, then fill; or only a fill, at the size a
// failed fill reported) before giving up.
constexpr int kDefaultNameAttempts = 3;
// WritePrinter calls in a row that succeed but take nothing before the writing counts as failed.
constexpr int kIdleWriteLimit = 3;

// printerName is a NUL-terminated name in the ANSI code page, or null for the default printer. The
// job keeps no pointer to bytes or name past the call; on every path that opened the printer, the
// started page and document are ended and the printer is closed before it returns.
PrintJobStatus RawPrintJob(const uint8_t* bytes, uint32_t length, const char* printerName);
