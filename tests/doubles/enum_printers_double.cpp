// EnumPrintersA, level 4: records first, then the name strings they point to, as the spooler lays
// them out. Only the buffer size offered is written, so a module that lies about it shows under ASan.
#include "tests/doubles/enum_printers_double.h"

#include <string.h>

#include <map>

#include "tests/doubles/doubles.h"

namespace {

struct PrinterListState {
  std::vector<std::string> printers;
  std::map<size_t, std::vector<std::string>> changes;  // absolute call number -> printers from then
  std::map<size_t, DWORD> failures;                    // absolute call number -> error
  DWORD overstatedRecords = 0;
  size_t calls = 0;
};

PrinterListState& State() {
  static PrinterListState state;
  return state;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" BOOL EnumPrintersA(DWORD flags, LPSTR serverName, DWORD level, LPBYTE buffer,
                              DWORD bufferSize, LPDWORD needed, LPDWORD returned) {
  PrinterListState& state = State();
  const size_t call = ++state.calls;
  doubles::Record("EnumPrintersA(" + std::to_string(flags) + "," +
                  (serverName ? std::string(serverName) : "null") + "," + std::to_string(level) + "," +
                  (buffer ? "buffer" : "null") + "," + std::to_string(bufferSize) + ")");

  auto change = state.changes.find(call);
  if (change != state.changes.end()) state.printers = change->second;
  auto failure = state.failures.find(call);
  if (failure != state.failures.end()) return Fail(failure->second);
  if (level != 4 || !needed || !returned) return Fail(ERROR_INVALID_PARAMETER);

  const DWORD size = doubles::EnumerationSize(state.printers);
  *needed = size;
  *returned = 0;
  if (bufferSize < size) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (size == 0) return TRUE;  // nothing to enumerate

  PRINTER_INFO_4A* records = reinterpret_cast<PRINTER_INFO_4A*>(buffer);
  char* strings = reinterpret_cast<char*>(buffer + state.printers.size() * sizeof(PRINTER_INFO_4A));
  for (size_t i = 0; i < state.printers.size(); ++i) {
    const std::string& name = state.printers[i];
    memcpy(strings, name.c_str(), name.size() + 1);
    records[i].pPrinterName = strings;
    records[i].pServerName = nullptr;
    records[i].Attributes = 0x40;  // PRINTER_ATTRIBUTE_LOCAL
    strings += name.size() + 1;
  }
  *returned = static_cast<DWORD>(state.printers.size()) + state.overstatedRecords;
  return TRUE;
}

namespace doubles {

void SetPrinters(const std::vector<std::string>& names) { State().printers = names; }

void ChangePrintersBeforeCall(size_t call, const std::vector<std::string>& names) {
  State().changes[State().calls + call] = names;
}

void FailEnumPrintersAt(size_t call, DWORD error) { State().failures[State().calls + call] = error; }

void OverstateRecordCount(DWORD extra) { State().overstatedRecords = extra; }

size_t EnumPrintersCalls() { return State().calls; }

DWORD EnumerationSize(const std::vector<std::string>& names) {
  size_t size = 0;
  for (const std::string& name : names) size += sizeof(PRINTER_INFO_4A) + name.size() + 1;
  return static_cast<DWORD>(size);
}

void ResetPrinterList() { State() = PrinterListState(); }

}  // namespace doubles
