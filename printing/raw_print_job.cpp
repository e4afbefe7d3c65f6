#include "printing/raw_print_job.h"

#include <string.h>

#include "platform/sized_block.h"

namespace {

// The spooler only reads the document description; the casts drop a const its record lacks.
char* const kDocumentName = const_cast<char*>("raw document");
char* const kRawDatatype = const_cast<char*>("RAW");

// Asks the spooler for the default printer's name: a block holding the NUL-terminated name, or null.
// On a multibyte code page the size query may count characters where the name needs bytes; the fill
// call then fails with ERROR_INSUFFICIENT_BUFFER and reports the size it needs, which the next attempt
// allocates and fills without asking again. A block that could not be had uses up an attempt.
ModuleBlock<char> GetDefaultPrinterName() {
  DWORD size = 0;
  bool sizeKnown = false;
  return FillSizedBlock<char>(
      kDefaultNameAttempts,
      [&](DWORD* bytes) {
        if (!sizeKnown) {
          size = 0;
          GetDefaultPrinterA(nullptr, &size);
          if (GetLastError() == ERROR_FILE_NOT_FOUND) return false;
        }
        sizeKnown = false;
        *bytes = size;
        return true;
      },
      [&](char* buffer, DWORD capacity) {
        if (!buffer) return FillRetry;
        // Accept only a name that ends within the buffer, so it is never read past its end.
        if (GetDefaultPrinterA(buffer, &size)) {
          return memchr(buffer, '\0', capacity) ? FillKept : FillRetry;
        }
        sizeKnown = GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > capacity;
        return FillRetry;
      });
}

// Offers everything still left until the spooler has taken it all. A write that fails, a count
// beyond what was offered, or too many writes in a row that take nothing end the writing.
PrintJobStatus WriteAll(HANDLE printer, const uint8_t* bytes, uint32_t length) {
  const uint8_t* next = bytes;
  DWORD left = length;
  int idleWrites = 0;
  for (;;) {
    DWORD written = 0;
    if (!WritePrinter(printer, const_cast<uint8_t*>(next), left, &written)) return PrintJobSpoolerFailed;
    if (written > left) return PrintJobSpoolerFailed;
    left -= written;
    if (left == 0) return PrintJobOk;
    idleWrites = written == 0 ? idleWrites + 1 : 0;
    if (idleWrites == kIdleWriteLimit) return PrintJobSpoolerFailed;
    next += written;
  }
}

// Sends the bytes as one document of one page on an open printer, ending whatever it started.
PrintJobStatus PrintDocument(HANDLE printer, const uint8_t* bytes, uint32_t length) {
  DOC_INFO_1A document = {kDocumentName, nullptr, kRawDatatype};
  if (StartDocPrinterA(printer, 1, reinterpret_cast<LPBYTE>(&document)) == 0) return PrintJobSpoolerFailed;

  // A page or document the spooler did not end is a job it did not commit: the job fails, and
  // whatever was started is still ended.
  PrintJobStatus status = PrintJobSpoolerFailed;
  if (StartPagePrinter(printer)) {
    status = WriteAll(printer, bytes, length);
    if (!EndPagePrinter(printer)) status = PrintJobSpoolerFailed;
  }
  if (!EndDocPrinter(printer)) status = PrintJobSpoolerFailed;
  return status;
}

}  // namespace

PrintJobStatus RawPrintJob(const uint8_t* bytes, uint32_t length, const char* printerName) {
  ModuleBlock<char> defaultName;
  if (!printerName) {
    defaultName = GetDefaultPrinterName();
    if (!defaultName) return PrintJobNoPrinter;
    printerName = defaultName.get();
  }

  HANDLE printer = nullptr;
  PrintJobStatus status = PrintJobNoPrinter;
  if (OpenPrinterA(const_cast<char*>(printerName), &printer, nullptr)) {
    status = PrintDocument(printer, bytes, length);
    ClosePrinter(printer);
  }
  return status;
}
