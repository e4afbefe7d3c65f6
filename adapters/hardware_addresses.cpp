#include "adapters/hardware_addresses.h"

#include "platform/module_heap.h"
#include "platform/windows_api.h"

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

// Reads the interface table into a new buffer that the caller frees. The buffer grows to whatever
// size the platform reports, for as long as it reports a larger one.
int ReadInterfaceTable(MIB_IFTABLE** table, DWORD* tableSize) {
  DWORD size = kFirstTableSize;
  for (;;) {
    MIB_IFTABLE* buffer = static_cast<MIB_IFTABLE*>(ModuleAlloc(size));
    if (!buffer) return kHardwareAddressesFailed;
    DWORD reported = size;
    const DWORD status = GetIfTable(buffer, &reported, FALSE);
    if (status == NO_ERROR) {
      *table = buffer;
      *tableSize = size;
      return kHardwareAddressesOk;
    }
    ModuleFree(buffer);
    // Asking again with a size no larger than the one refused could never succeed.
    if (status != ERROR_INSUFFICIENT_BUFFER || reported <= size) return kHardwareAddressesFailed;
    size = reported;
  }
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
  MIB_IFTABLE* table = nullptr;
  DWORD tableSize = 0;
  if (ReadInterfaceTable(&table, &tableSize) != kHardwareAddressesOk) return kHardwareAddressesFailed;

  // A row count beyond the buffer the platform filled fails the list rather than read past it.
  if (table->dwNumEntries > (tableSize - kRowsOffset) / sizeof(MIB_IFROW)) {
    ModuleFree(table);
    return kHardwareAddressesFailed;
  }
  const DWORD rows = table->dwNumEntries;

  size_t listed = 0;
  for (DWORD i = 0; i < rows; ++i) {
    if (IsListed(RowAt(table, i))) ++listed;
  }

  char* texts = static_cast<char*>(ModuleAlloc(listed * kHardwareAddressTextSize + 1));
  if (!texts) {
    ModuleFree(table);
    return kHardwareAddressesFailed;
  }
  texts[0] = '\0';
  char* position = texts;
  for (DWORD i = 0; i < rows; ++i) {
    const MIB_IFROW& row = RowAt(table, i);
    if (!IsListed(row)) continue;
    FormatHardwareAddress(row.bPhysAddr, position);
    position += kHardwareAddressTextSize;
  }
  *position = '\0';  // the closing empty entry, the block's last byte

  ModuleFree(table);
  *list = texts;
  return kHardwareAddressesOk;
}
