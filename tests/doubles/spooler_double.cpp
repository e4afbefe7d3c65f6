// WINSPOOL for native builds: a scripted spooler that records every call.
#include "tests/doubles/spooler_double.h"

#include <string.h>

#include <map>
#include <set>

#include "tests/doubles/doubles.h"

namespace {

struct Failure {
  DWORD lastError;
  size_t first;
  size_t last;  // 0: no end
};

struct Printer {
  bool inDocument = false;
  bool inPage = false;
  size_t job = 0;  // index into jobs while a document is open
  bool pageWritten = false;
  uintptr_t pageStart = 0;  // data pointer of the page's first write
};

struct SpoolerState {
  std::set<std::string> printers;
  std::string defaultPrinter;
  bool hasDefault = false;
  bool sizeInCharacters = false;
  std::multimap<doubles::SpoolerCall, Failure> failures;
  std::map<doubles::SpoolerCall, size_t> calls;
  std::vector<DWORD> writtenCounts;
  size_t writes = 0;
  std::vector<std::string> jobs;
  std::map<HANDLE, Printer> open;
  size_t openDocuments = 0;  // started and not ended, whether or not the printer was closed since
  size_t openPages = 0;
  uintptr_t nextHandle = 0x100;
};

SpoolerState& Spooler() {
  static SpoolerState state;
  return state;
}

// Counts the call; true when it is scripted to fail, with its last error set.
bool Fails(doubles::SpoolerCall call) {
  SpoolerState& spooler = Spooler();
  const size_t number = ++spooler.calls[call];
  auto range = spooler.failures.equal_range(call);
  for (auto it = range.first; it != range.second; ++it) {
    const Failure& failure = it->second;
    if (number >= failure.first && (failure.last == 0 || number <= failure.last)) {
      SetLastError(failure.lastError);
      return true;
    }
  }
  return false;
}

// The open printer behind a handle, or null.
Printer* Find(HANDLE handle) {
  auto it = Spooler().open.find(handle);
  return it != Spooler().open.end() ? &it->second : nullptr;
}

// The same, noting in the call's log line when the handle is not open.
Printer* Find(HANDLE handle, std::string& line) {
  Printer* printer = Find(handle);
  if (!printer) line += " (bad handle)";
  return printer;
}

// Characters of an ANSI name: bytes, or in the UTF-8 code page the bytes that start a character.
DWORD CharacterCount(const std::string& name) {
  if (GetACP() != CP_UTF8) return static_cast<DWORD>(name.size());
  DWORD count = 0;
  for (unsigned char c : name) count += (c & 0xC0) != 0x80;
  return count;
}

BOOL Refuse(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" {

BOOL GetDefaultPrinterA(LPSTR buffer, LPDWORD size) {
  SpoolerState& spooler = Spooler();
  doubles::Record(std::string("GetDefaultPrinterA(buffer") + (buffer ? "" : "=null") +
                  ",size=" + (size ? std::to_string(*size) : "null") + ")");
  if (Fails(buffer ? doubles::SpoolerCall::DefaultPrinterName : doubles::SpoolerCall::DefaultPrinterSize)) {
    return FALSE;
  }
  if (!size) return Refuse(ERROR_INVALID_PARAMETER);
  if (!spooler.hasDefault) return Refuse(ERROR_FILE_NOT_FOUND);
  const DWORD needed = static_cast<DWORD>(spooler.defaultPrinter.size() + 1);
  if (!buffer || *size < needed) {
    *size = buffer || !spooler.sizeInCharacters ? needed : CharacterCount(spooler.defaultPrinter) + 1;
    return Refuse(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(buffer, spooler.defaultPrinter.c_str(), needed);
  *size = needed;
  return TRUE;
}

BOOL OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) {
  SpoolerState& spooler = Spooler();
  doubles::Record(std::string("OpenPrinterA(") + (name ? name : "null") + (defaults ? ",defaults" : "") +
                  ")");
  if (Fails(doubles::SpoolerCall::OpenPrinter)) return FALSE;
  if (!name || !printer || !spooler.printers.count(name)) return Refuse(ERROR_INVALID_PRINTER_NAME);
  HANDLE handle = reinterpret_cast<HANDLE>(spooler.nextHandle++);
  spooler.open[handle] = Printer();
  *printer = handle;
  return TRUE;
}

DWORD StartDocPrinterA(HANDLE handle, DWORD level, LPBYTE docInfo) {
  std::string line = "StartDocPrinterA(level=" + std::to_string(level);
  const DOC_INFO_1A* doc = reinterpret_cast<const DOC_INFO_1A*>(docInfo);
  if (doc) {
    line += std::string(",doc=") + (doc->pDocName ? doc->pDocName : "null") +
            ",out=" + (doc->pOutputFile ? doc->pOutputFile : "null") +
            ",type=" + (doc->pDatatype ? doc->pDatatype : "null");
  }
  line += ")";
  Printer* printer = Find(handle, line);
  doubles::Record(line);
  if (Fails(doubles::SpoolerCall::StartDoc)) return 0;
  if (!printer || !doc || level != 1 || printer->inDocument) return Refuse(ERROR_INVALID_PARAMETER);
  SpoolerState& spooler = Spooler();
  printer->inDocument = true;
  ++spooler.openDocuments;
  printer->job = spooler.jobs.size();
  spooler.jobs.emplace_back();
  return static_cast<DWORD>(spooler.jobs.size());  // the job number
}

BOOL StartPagePrinter(HANDLE handle) {
  std::string line = "StartPagePrinter";
  Printer* printer = Find(handle, line);
  doubles::Record(line);
  if (Fails(doubles::SpoolerCall::StartPage)) return FALSE;
  if (!printer || !printer->inDocument || printer->inPage) return Refuse(ERROR_INVALID_PARAMETER);
  printer->inPage = true;
  ++Spooler().openPages;
  printer->pageWritten = false;
  return TRUE;
}

BOOL WritePrinter(HANDLE handle, LPVOID bytes, DWORD count, LPDWORD written) {
  SpoolerState& spooler = Spooler();
  Printer* printer = Find(handle);
  const unsigned char* data = static_cast<const unsigned char*>(bytes);
  if (printer && printer->inPage && !printer->pageWritten) {
    printer->pageWritten = true;
    printer->pageStart = reinterpret_cast<uintptr_t>(data);
  }
  const long long offset =
      printer && printer->pageWritten
          ? static_cast<long long>(reinterpret_cast<uintptr_t>(data) - printer->pageStart)
          : -1;
  std::string line =
      "WritePrinter(offset=" + std::to_string(offset) + ",count=" + std::to_string(count) + ")";
  if (!printer) line += " (bad handle)";
  doubles::Record(line);

  const size_t call = spooler.writes++;
  if (Fails(doubles::SpoolerCall::Write)) return FALSE;
  if (!printer || !printer->inPage || !written || (count && !bytes)) return Refuse(ERROR_INVALID_PARAMETER);
  const DWORD reported = call < spooler.writtenCounts.size() ? spooler.writtenCounts[call] : count;
  const DWORD taken = reported < count ? reported : count;
  spooler.jobs[printer->job].append(reinterpret_cast<const char*>(data), taken);
  *written = reported;
  return TRUE;
}

BOOL EndPagePrinter(HANDLE handle) {
  std::string line = "EndPagePrinter";
  Printer* printer = Find(handle, line);
  doubles::Record(line);
  if (Fails(doubles::SpoolerCall::EndPage)) return FALSE;
  if (!printer || !printer->inPage) return Refuse(ERROR_INVALID_PARAMETER);
  printer->inPage = false;
  --Spooler().openPages;
  return TRUE;
}

BOOL EndDocPrinter(HANDLE handle) {
  std::string line = "EndDocPrinter";
  Printer* printer = Find(handle, line);
  doubles::Record(line);
  if (Fails(doubles::SpoolerCall::EndDoc)) return FALSE;
  if (!printer || !printer->inDocument) return Refuse(ERROR_INVALID_PARAMETER);
  printer->inDocument = false;
  --Spooler().openDocuments;
  printer->inPage = false;  // a page left open stays counted in openPages
  return TRUE;
}

BOOL ClosePrinter(HANDLE handle) {
  std::string line = "ClosePrinter";
  Printer* printer = Find(handle, line);
  doubles::Record(line);
  // Like the real spooler, a close that reports failure still gives the handle up.
  if (printer) Spooler().open.erase(handle);
  if (Fails(doubles::SpoolerCall::ClosePrinter)) return FALSE;
  return printer ? TRUE : Refuse(ERROR_INVALID_PARAMETER);
}

}  // extern "C"

namespace doubles {

void AddPrinter(const std::string& name) { Spooler().printers.insert(name); }

void SetDefaultPrinter(const std::string& name) {
  Spooler().printers.insert(name);
  Spooler().defaultPrinter = name;
  Spooler().hasDefault = true;
}

void ReportDefaultSizeInCharacters() { Spooler().sizeInCharacters = true; }

void FailSpoolerCall(SpoolerCall call, DWORD lastError, size_t nth, size_t count) {
  Spooler().failures.insert({call, Failure{lastError, nth, count == 0 ? 0 : nth + count - 1}});
}

void SetWrittenCounts(const std::vector<DWORD>& counts) { Spooler().writtenCounts = counts; }

const std::vector<std::string>& PrintedJobs() { return Spooler().jobs; }

size_t OpenPrinterHandles() { return Spooler().open.size(); }

size_t OpenDocuments() { return Spooler().openDocuments; }

size_t OpenPages() { return Spooler().openPages; }

void ResetSpooler() { Spooler() = SpoolerState(); }

}  // namespace doubles
