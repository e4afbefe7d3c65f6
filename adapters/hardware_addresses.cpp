#include "adapters/hardware_addresses.h"

#include <limits.h>

#include "platform/sized_block.h"

namespace {

constexpr DWORD kAddressLength = 6;
constexpr size_t kRowsOffset = offsetof(MIB_IFTABLE, table);
// Room for the count and three rows, so that most machines need one call.
constexpr DWORD kFirstTableSize = 3 * (kRowsOffset + sizeof(MIB_IFROW));
static_assert(kFirstTableSize == 2592, "three one-row tables");

// The rows follow the count; the table type declares one, the buffer holds dwNumEntries.
const MIB_IFROW& RowAt(const MIB_IFTABLE* table, DWORD index) {
  const BYTE* rows = reinterpret_cast<const BYTE*>(table) + kRowsOffset;
  return reinterpret_cast<const MIB_IFROW*>(rows)[index];
}

bool IsListed(const MIB_IFROW& row) { return row.dwPhysAddrLen == kAddressLength; }

// Reads the interface table into a new buffer. The buffer grows to whatever size the platform
// reports, for as long as it reports a larger one.
ModuleBlock<MIB_IFTABLE> ReadInterfaceTable(DWORD* tableSize) {
  DWORD size = kFirstTableSize;
  return FillSizedBlock<MIB_IFTABLE>(
      INT_MAX,
      [&](DWORD* bytes) {
        *bytes = size;
        return true;
      },
      [&](MIB_IFTABLE* table, DWORD capacity) {
        if (!table) return FillStop;
        DWORD reported = capacity;
        const DWORD status = GetIfTable(table, &reported, FALSE);
        if (status == NO_ERROR) return FillKept;
        // Asking again with a size no larger than the one refused could never succeed.
        if (status != ERROR_INSUFFICIENT_BUFFER || reported <= capacity) return FillStop;
        size = reported;
        return FillRetry;
      },
      tableSize);
}

}  // namespace

void FormatHardwareAddress(const uint8_t* address, char* text) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (DWORD i = 0; i < kAddressLength; ++i) {
    text[3 * i] = kDigits[address[i] >> 4];
    text[3 * i + 1] = kDigits[address[i] & 0x0F];
    text[3 * i + 2] = i + 1 < kAddressLength ? ':' : '\0';
  }
}

int ListHardwareAddresses(char** list) {
  DWORD tableSize = 0;
  const ModuleBlock<MIB_IFTABLE> table = ReadInterfaceTable(&tableSize);
  if (!table) return kHardwareAddressesFailed;

  // A row count beyond the buffer the platform filled fails the list rather than read past it.
  if (table->dwNumEntries > (tableSize - kRowsOffset) / sizeof(MIB_IFROW)) return kHardwareAddressesFailed;
  const DWORD rows = table->dwNumEntries;

  size_t listed = 0;
  for (DWORD i = 0; i < rows; ++i) {
    if (IsListed(RowAt(table.get(), i))) ++listed;
  }

  char* texts = static_cast<char*>(ModuleAlloc(listed * kHardwareAddressTextSize + 1));
  if (!texts) return kHardwareAddressesFailed;
  texts[0] = '\0';
  char* position = texts;
  for (DWORD i = 0; i < rows; ++i) {
    const MIB_IFROW& row = RowAt(table.get(), i);
    if (!IsListed(row)) continue;
    FormatHardwareAddress(row.bPhysAddr, position);
    position += kHardwareAddressTextSize;
  }
  *position = '\0';  // the closing empty entry, the block's last byte
  *list = texts;
  return kHardwareAddressesOk;
}
