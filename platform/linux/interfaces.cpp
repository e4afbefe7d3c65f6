// IPHLPAPI on Linux: GetIfTable over getifaddrs, one row per interface (its AF_PACKET entry), in the
// kernel's order or by index. Loopback rows carry no address, as Windows lists its loopback.
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <string.h>

#include "platform/windows_api.h"

namespace {

const DWORD kTypeOther = 1;
const DWORD kTypeEthernet = 6;
const DWORD kTypeLoopback = 24;
const DWORD kAdminUp = 1;
const DWORD kAdminDown = 2;
const DWORD kOperational = 5;  // MIB_IF_OPER_STATUS_OPERATIONAL
const DWORD kNonOperational = 0;

bool IsLink(const ifaddrs* entry) {
  return entry->ifa_addr && entry->ifa_addr->sa_family == AF_PACKET && entry->ifa_name;
}

void FillRow(const ifaddrs* entry, MIB_IFROW* row) {
  memset(row, 0, sizeof(*row));
  const sockaddr_ll* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
  const bool loopback = (entry->ifa_flags & IFF_LOOPBACK) || link->sll_hatype == ARPHRD_LOOPBACK;
  const size_t nameLength = strnlen(entry->ifa_name, MAX_INTERFACE_NAME_LEN - 1);
  for (size_t i = 0; i < nameLength; ++i) row->wszName[i] = static_cast<unsigned char>(entry->ifa_name[i]);
  memcpy(row->bDescr, entry->ifa_name, nameLength < MAXLEN_IFDESCR - 1 ? nameLength : MAXLEN_IFDESCR - 1);
  row->dwDescrLen = static_cast<DWORD>(strlen(reinterpret_cast<const char*>(row->bDescr)) + 1);
  row->dwIndex = static_cast<DWORD>(link->sll_ifindex);
  row->dwType = loopback ? kTypeLoopback : link->sll_hatype == ARPHRD_ETHER ? kTypeEthernet : kTypeOther;
  if (!loopback && link->sll_halen <= MAXLEN_PHYSADDR) {
    row->dwPhysAddrLen = link->sll_halen;
    memcpy(row->bPhysAddr, link->sll_addr, link->sll_halen);
  }
  row->dwAdminStatus = (entry->ifa_flags & IFF_UP) ? kAdminUp : kAdminDown;
  row->dwOperStatus = (entry->ifa_flags & IFF_RUNNING) ? kOperational : kNonOperational;
}

// The rows follow the count; the table type declares one, the buffer holds dwNumEntries.
MIB_IFROW* Rows(PMIB_IFTABLE table) {
  return reinterpret_cast<MIB_IFROW*>(reinterpret_cast<BYTE*>(table) + offsetof(MIB_IFTABLE, table));
}

}  // namespace

extern "C" DWORD GetIfTable(PMIB_IFTABLE table, DWORD* size, BOOL order) {
  if (!size) return ERROR_INVALID_PARAMETER;
  ifaddrs* entries = nullptr;
  if (getifaddrs(&entries) != 0) return ERROR_NOT_ENOUGH_MEMORY;
  DWORD rows = 0;
  for (const ifaddrs* entry = entries; entry; entry = entry->ifa_next) rows += IsLink(entry) ? 1 : 0;

  const DWORD needed = static_cast<DWORD>(offsetof(MIB_IFTABLE, table) + rows * sizeof(MIB_IFROW));
  if (!table || *size < needed) {
    *size = needed < sizeof(MIB_IFTABLE) ? static_cast<DWORD>(sizeof(MIB_IFTABLE)) : needed;
    freeifaddrs(entries);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  MIB_IFROW* row = Rows(table);
  table->dwNumEntries = 0;
  for (const ifaddrs* entry = entries; entry; entry = entry->ifa_next) {
    if (IsLink(entry)) FillRow(entry, &row[table->dwNumEntries++]);
  }
  freeifaddrs(entries);
  // Sorted by index when asked: an insertion sort, since a machine has few interfaces.
  for (DWORD i = 1; order && i < table->dwNumEntries; ++i) {
    for (DWORD j = i; j > 0 && row[j - 1].dwIndex > row[j].dwIndex; --j) {
      MIB_IFROW swap;
      memcpy(&swap, &row[j], sizeof(swap));
      memcpy(&row[j], &row[j - 1], sizeof(swap));
      memcpy(&row[j - 1], &swap, sizeof(swap));
    }
  }
  return NO_ERROR;
}
