#include "printing/printer_names.h"

#include <stdint.h>
#include <string.h>

#include "platform/sized_block.h"

namespace {

const DWORD kEnumFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
const DWORD kInfoLevel = 4;
// The sizing call tells the size; a printer added meanwhile makes a filling call ask for more.
const int kFillingCalls = 3;

// The spooler writes the names into the buffer after the records. A name pointer elsewhere, or a
// name without its NUL inside the buffer, is not followed.
bool NameLength(const char* name, const BYTE* buffer, DWORD bufferSize, size_t* length) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(buffer);
  const uintptr_t at = reinterpret_cast<uintptr_t>(name);
  if (at < start || at >= start + bufferSize) return false;
  const void* end = memchr(name, '\0', start + bufferSize - at);
  if (!end) return false;
  *length = static_cast<size_t>(static_cast<const char*>(end) - name);
  return true;
}

// Fills a new enumeration buffer. On success *buffer holds *count records (null and 0 when the
// spooler has nothing to enumerate).
int EnumeratePrinters(ModuleBlock<BYTE>* buffer, DWORD* bufferSize, DWORD* count) {
  DWORD needed = 0;
  DWORD returned = 0;
  *count = 0;
  *bufferSize = 0;
  if (EnumPrintersA(kEnumFlags, nullptr, kInfoLevel, nullptr, 0, &needed, &returned)) return kPrinterNamesOk;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return kPrinterNamesFailed;

  *buffer = FillSizedBlock<BYTE>(
      kFillingCalls,
      [&](DWORD* bytes) {
        *bytes = needed;
        return true;
      },
      [&](BYTE* block, DWORD size) {
        if (!block) return FillStop;
        if (!EnumPrintersA(kEnumFlags, nullptr, kInfoLevel, block, size, &needed, &returned)) {
          return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? FillRetry : FillStop;
        }
        // A record count beyond the buffer the spooler was given fails the list rather than read past it.
        return returned > size / sizeof(PRINTER_INFO_4A) ? FillStop : FillKept;
      },
      bufferSize);
  if (!*buffer) return kPrinterNamesFailed;
  *count = returned;
  return kPrinterNamesOk;
}

}  // namespace

int ListPrinterNames(char** list) {
  ModuleBlock<BYTE> buffer;
  DWORD bufferSize = 0;
  DWORD count = 0;
  if (EnumeratePrinters(&buffer, &bufferSize, &count) != kPrinterNamesOk) return kPrinterNamesFailed;
  const PRINTER_INFO_4A* records = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.get());

  // Measure first, so that the list is allocated once at its exact size. An empty name would end the
  // list early, so it is left out; a name the buffer does not hold fails the enumeration.
  size_t listSize = 1;
  for (DWORD i = 0; i < count; ++i) {
    size_t length = 0;
    if (!NameLength(records[i].pPrinterName, buffer.get(), bufferSize, &length)) return kPrinterNamesFailed;
    if (length == 0) continue;
    // Records sharing one long name could add up past the largest size.
    if (length >= SIZE_MAX - listSize) return kPrinterNamesFailed;
    listSize += length + 1;
  }

  char* names = static_cast<char*>(ModuleAlloc(listSize));
  if (!names) return kPrinterNamesFailed;
  names[0] = '\0';
  size_t offset = 0;
  for (DWORD i = 0; i < count; ++i) {
    const char* name = records[i].pPrinterName;
    const size_t entrySize = strlen(name) + 1;
    if (entrySize == 1) continue;
    if (entrySize > listSize - 1 - offset) break;  // never past the closing NUL
    memcpy(names + offset, name, entrySize);
    offset += entrySize;
  }
  names[offset] = '\0';  // the closing empty entry, the block's last byte
  *list = names;
  return kPrinterNamesOk;
}
