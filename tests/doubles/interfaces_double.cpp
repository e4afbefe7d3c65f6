// GetIfTable: the count, then the rows, written only within the size offered.
#include "tests/doubles/interfaces_double.h"

#include <string.h>

#include <map>
#include <string>

#include "tests/doubles/doubles.h"

namespace {

struct Answer {
  DWORD result;
  DWORD reportedSize;
};

struct InterfacesState {
  std::vector<doubles::InterfaceRow> rows;
  std::map<size_t, std::vector<doubles::InterfaceRow>> changes;  // absolute call number -> rows
  std::map<size_t, Answer> answers;                              // absolute call number -> answer
  std::vector<DWORD> sizes;
  DWORD overstatedRows = 0;
};

InterfacesState& State() {
  static InterfacesState state;
  return state;
}

}  // namespace

extern "C" DWORD GetIfTable(PMIB_IFTABLE table, DWORD* size, BOOL order) {
  InterfacesState& state = State();
  state.sizes.push_back(size ? *size : 0);
  const size_t call = state.sizes.size();
  doubles::Record("GetIfTable(" + std::to_string(size ? *size : 0) + "," + std::to_string(order) + ")");

  auto change = state.changes.find(call);
  if (change != state.changes.end()) state.rows = change->second;
  auto answer = state.answers.find(call);
  if (answer != state.answers.end()) {
    if (answer->second.result == ERROR_INSUFFICIENT_BUFFER && size) *size = answer->second.reportedSize;
    return answer->second.result;
  }
  if (!size) return ERROR_INVALID_PARAMETER;

  const DWORD needed = doubles::TableSize(state.rows.size());
  if (!table || *size < needed) {
    *size = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  table->dwNumEntries = static_cast<DWORD>(state.rows.size()) + state.overstatedRows;
  MIB_IFROW* rows =
      reinterpret_cast<MIB_IFROW*>(reinterpret_cast<BYTE*>(table) + offsetof(MIB_IFTABLE, table));
  for (size_t i = 0; i < state.rows.size(); ++i) {
    MIB_IFROW row;
    memset(&row, 0, sizeof(row));
    row.dwIndex = static_cast<DWORD>(i + 1);
    row.dwType = state.rows[i].addressLength == 0 ? 24 : 6;  // software loopback, or Ethernet
    row.dwPhysAddrLen = state.rows[i].addressLength;
    memcpy(row.bPhysAddr, state.rows[i].address, sizeof(row.bPhysAddr));
    row.dwAdminStatus = 1;
    row.dwOperStatus = state.rows[i].operStatus;
    memcpy(&rows[i], &row, sizeof(row));
  }
  return NO_ERROR;
}

namespace doubles {

InterfaceRow EthernetRow(const std::vector<uint8_t>& bytes, DWORD length) {
  InterfaceRow row;
  row.addressLength = length;
  for (size_t i = 0; i < bytes.size() && i < sizeof(row.address); ++i) row.address[i] = bytes[i];
  return row;
}

InterfaceRow LoopbackRow() { return InterfaceRow(); }

void SetInterfaces(const std::vector<InterfaceRow>& rows) { State().rows = rows; }

void ChangeInterfacesBeforeCall(size_t call, const std::vector<InterfaceRow>& rows) {
  State().changes[State().sizes.size() + call] = rows;
}

void AnswerGetIfTableAt(size_t call, DWORD result, DWORD reportedSize) {
  State().answers[State().sizes.size() + call] = Answer{result, reportedSize};
}

void OverstateRowCount(DWORD extra) { State().overstatedRows = extra; }

size_t GetIfTableCalls() { return State().sizes.size(); }
const std::vector<DWORD>& GetIfTableSizes() { return State().sizes; }

DWORD TableSize(size_t rows) {
  return static_cast<DWORD>(offsetof(MIB_IFTABLE, table) + rows * sizeof(MIB_IFROW));
}

void ResetInterfaces() { State() = InterfacesState(); }

}  // namespace doubles
