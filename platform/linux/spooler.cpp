// WINSPOOL on Linux, over the CUPS client library: printers are the CUPS destinations (instances
// left out), the default printer is CUPS's default destination, and a document is one raw CUPS job
// whose bytes go out in as many writes as the caller makes, then finished, so that the queue receives
// them exactly. The CUPS server is the one the library finds (CUPS_SERVER, client.conf).
#include <cups/cups.h>
#include <stdlib.h>
#include <string.h>

#include "platform/windows_api.h"

namespace {

const DWORD kInvalidHandle = 6;             // ERROR_INVALID_HANDLE
const DWORD kInvalidLevel = 124;            // ERROR_INVALID_LEVEL
const DWORD kInvalidDatatype = 1804;        // ERROR_INVALID_DATATYPE
const DWORD kServerUnavailable = 1722;      // RPC_S_SERVER_UNAVAILABLE
const DWORD kNoDocument = 3003;             // ERROR_SPL_NO_STARTDOC
const DWORD kCannotComplete = 1003;         // ERROR_CAN_NOT_COMPLETE
const uint32_t kHandleMark = 0x4E505456u;   // tells a handle of ours from any other pointer

// What OpenPrinterA hands out: the queue's name and a connection of its own to the server, on which
// one job at a time is created, written and finished.
struct OpenPrinter {
  uint32_t mark;
  char* name;
  http_t* http;
  int job;              // 0 while no document is open
  bool documentSending; // the job's document request is under way
};

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

OpenPrinter* Printer(HANDLE handle) {
  OpenPrinter* printer = static_cast<OpenPrinter*>(handle);
  return printer && printer->mark == kHandleMark ? printer : nullptr;
}

// A connection of its own to the server the library finds, blocking, with a 30 s limit per wait.
http_t* Connect() {
  return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
}

bool IppSucceeded(ipp_status_t status) { return status <= IPP_STATUS_OK_EVENTS_COMPLETE; }

// The destinations that name a queue, not an lpoptions instance of one.
bool IsQueue(const cups_dest_t& dest) { return dest.name && dest.name[0] != '\0' && !dest.instance; }

// Ends the document request under way without finishing the job, and cancels the job.
void AbandonJob(OpenPrinter* printer) {
  if (!printer->job) return;
  if (printer->documentSending) {
    // The request body cannot be cut short on its own connection; a new connection replaces it.
    httpClose(printer->http);
    printer->http = Connect();
  }
  cupsCancelJob2(printer->http, printer->name, printer->job, 0);
  printer->job = 0;
  printer->documentSending = false;
}

}  // namespace

extern "C" {

BOOL GetDefaultPrinterA(LPSTR buffer, LPDWORD size) {
  if (!size) return Fail(ERROR_INVALID_PARAMETER);
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
  if (!dest) return Fail(ERROR_FILE_NOT_FOUND);
  const size_t needed = strlen(dest->name) + 1;
  const bool fits = buffer && *size >= needed;
  if (fits) memcpy(buffer, dest->name, needed);
  cupsFreeDests(1, dest);
  *size = static_cast<DWORD>(needed);
  return fits ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
}

BOOL EnumPrintersA(DWORD flags, LPSTR serverName, DWORD level, LPBYTE buffer, DWORD bufferSize,
                   LPDWORD needed, LPDWORD returned) {
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 4) return Fail(kInvalidLevel);
  *needed = 0;
  *returned = 0;
  if (serverName || !(flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS))) return TRUE;

  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  // A server with no queues answers "not found"; one that cannot be reached fails the enumeration.
  if (count == 0 && !IppSucceeded(cupsLastError()) && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
    return Fail(kServerUnavailable);
  }
  size_t records = 0;
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (!IsQueue(dests[i])) continue;
    ++records;
    total += sizeof(PRINTER_INFO_4A) + strlen(dests[i].name) + 1;
  }
  *needed = static_cast<DWORD>(total);
  if (records == 0 || !buffer || bufferSize < total) {
    cupsFreeDests(count, dests);
    return records == 0 ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  // The records first, then the names they point to.
  PRINTER_INFO_4A* record = reinterpret_cast<PRINTER_INFO_4A*>(buffer);
  char* names = reinterpret_cast<char*>(buffer + records * sizeof(PRINTER_INFO_4A));
  for (int i = 0; i < count; ++i) {
    if (!IsQueue(dests[i])) continue;
    const size_t length = strlen(dests[i].name) + 1;
    memcpy(names, dests[i].name, length);
    *record++ = PRINTER_INFO_4A{names, nullptr, 0x40u | (dests[i].is_default ? 0x4u : 0u)};
    names += length;
  }
  cupsFreeDests(count, dests);
  *returned = static_cast<DWORD>(records);
  return TRUE;
}

BOOL OpenPrinterA(LPSTR name, LPHANDLE handle, LPPRINTER_DEFAULTSA) {
  if (!name || !handle) return Fail(ERROR_INVALID_PARAMETER);
  *handle = nullptr;
  http_t* http = Connect();
  if (!http) return Fail(kServerUnavailable);
  cups_dest_t* dest = cupsGetNamedDest(http, name, nullptr);
  const bool found = dest && IsQueue(*dest);
  if (dest) cupsFreeDests(1, dest);
  OpenPrinter* printer = found ? static_cast<OpenPrinter*>(calloc(1, sizeof(OpenPrinter))) : nullptr;
  char* copy = printer ? strdup(name) : nullptr;
  if (!copy) {
    free(printer);
    httpClose(http);
    return Fail(found ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PRINTER_NAME);
  }
  *printer = OpenPrinter{kHandleMark, copy, http, 0, false};
  *handle = printer;
  return TRUE;
}

DWORD StartDocPrinterA(HANDLE handle, DWORD level, LPBYTE docInfo) {
  OpenPrinter* printer = Printer(handle);
  if (!printer || !printer->http) return Fail(kInvalidHandle);
  if (level != 1 || !docInfo) return Fail(kInvalidLevel);
  if (printer->job) return Fail(kCannotComplete);
  const DOC_INFO_1A* document = reinterpret_cast<const DOC_INFO_1A*>(docInfo);
  if (document->pDatatype && strcmp(document->pDatatype, "RAW") != 0) return Fail(kInvalidDatatype);
  const char* title = document->pDocName ? document->pDocName : "";

  const int job = cupsCreateJob(printer->http, printer->name, title, 0, nullptr);
  if (job <= 0) return Fail(kCannotComplete);
  printer->job = job;
  printer->documentSending =
      cupsStartDocument(printer->http, printer->name, job, title, CUPS_FORMAT_RAW, 1) == HTTP_STATUS_CONTINUE;
  if (!printer->documentSending) {
    AbandonJob(printer);
    return Fail(kCannotComplete);
  }
  return static_cast<DWORD>(job);
}

// A page is the spooler's notion only; a raw job has none.
BOOL StartPagePrinter(HANDLE handle) {
  OpenPrinter* printer = Printer(handle);
  if (!printer) return Fail(kInvalidHandle);
  return printer->job ? TRUE : Fail(kNoDocument);
}

BOOL EndPagePrinter(HANDLE handle) { return StartPagePrinter(handle); }

BOOL WritePrinter(HANDLE handle, LPVOID bytes, DWORD count, LPDWORD written) {
  OpenPrinter* printer = Printer(handle);
  if (!printer) return Fail(kInvalidHandle);
  if (!written || (count && !bytes)) return Fail(ERROR_INVALID_PARAMETER);
  *written = 0;
  if (!printer->documentSending) return Fail(kNoDocument);
  const char* data = static_cast<const char*>(bytes);
  if (count && cupsWriteRequestData(printer->http, data, count) != HTTP_STATUS_CONTINUE) return Fail(kCannotComplete);
  *written = count;
  return TRUE;
}

BOOL EndDocPrinter(HANDLE handle) {
  OpenPrinter* printer = Printer(handle);
  if (!printer) return Fail(kInvalidHandle);
  if (!printer->documentSending) return Fail(kNoDocument);
  printer->documentSending = false;
  const bool finished = IppSucceeded(cupsFinishDocument(printer->http, printer->name));
  printer->job = 0;
  return finished ? TRUE : Fail(kCannotComplete);
}

// A document still open is abandoned: a job that was never ended is not printed.
BOOL ClosePrinter(HANDLE handle) {
  OpenPrinter* printer = Printer(handle);
  if (!printer) return Fail(kInvalidHandle);
  AbandonJob(printer);
  if (printer->http) httpClose(printer->http);
  free(printer->name);
  printer->mark = 0;
  free(printer);
  return TRUE;
}

}  // extern "C"
