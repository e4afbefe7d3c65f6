// GetIfTable for native builds: a scripted interface table that can change between calls, and calls
// made to answer with any result and reported size. Each call is recorded as
// "GetIfTable(size,order)" with the size offered.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "platform/windows_api.h"

namespace doubles {

// One row of the table; only the fields the module may read are scripted.
struct InterfaceRow {
  DWORD addressLength = 0;                // dwPhysAddrLen
  uint8_t address[MAXLEN_PHYSADDR] = {};  // bPhysAddr
  DWORD operStatus = 5;                   // IF_OPER_STATUS_OPERATIONAL; 1 (non-operational): down
};

// A row with a six-byte address (or, with length, any length up to 8 taken from bytes).
InterfaceRow EthernetRow(const std::vector<uint8_t>& bytes, DWORD length = 6);
InterfaceRow LoopbackRow();  // address length 0

// The interfaces from now on, in table order.
void SetInterfaces(const std::vector<InterfaceRow>& rows);

// Just before the call-th GetIfTable call from now (1 = the next), the interfaces become rows.
void ChangeInterfacesBeforeCall(size_t call, const std::vector<InterfaceRow>& rows);

// The call-th GetIfTable call from now answers result without writing the table; with
// ERROR_INSUFFICIENT_BUFFER it reports reportedSize as the size needed.
void AnswerGetIfTableAt(size_t call, DWORD result, DWORD reportedSize = 0);

// Successful calls report this many rows more than they wrote, as a faulty platform might.
void OverstateRowCount(DWORD extra);

// GetIfTable calls since Reset, and the size offered by each.
size_t GetIfTableCalls();
const std::vector<DWORD>& GetIfTableSizes();

// The bytes a table of n rows takes.
DWORD TableSize(size_t rows);

}  // namespace doubles
