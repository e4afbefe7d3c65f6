#include "printing/listed_printer.h"

#include <limits.h>
#include <string.h>

#include "platform/module_heap.h"
#include "platform/windows_api.h"
#include "plugin/name_list.h"

namespace {

// An ANSI text with its NUL as UTF-16 in wide (room for `units`); false when it is no valid text of
// the code page, which then equals nothing.
bool Widen(const char* text, WCHAR* wide, size_t units) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide, static_cast<int>(units)) > 0;
}

}  // namespace

ListedPrinterStatus FindListedPrinter(const char* list, const char* name, const char** entry) {
  *entry = nullptr;
  size_t longest = strlen(name);
  for (const char* listed = list; *listed != '\0'; listed = NextName(listed)) {
    if (strcmp(listed, name) == 0) {
      *entry = listed;
      return ListedPrinterFound;
    }
    const size_t length = strlen(listed);
    if (length > longest) longest = length;
  }
  if (*list == '\0') return ListedPrinterMissing;
  // No code page makes more UTF-16 units of a text than it has bytes.
  if (longest >= INT_MAX / sizeof(WCHAR)) return ListedPrinterMissing;
  const size_t units = longest + 1;
  const ModuleBlock<WCHAR> wideName = AllocateModuleBlock<WCHAR>(units * sizeof(WCHAR));
  const ModuleBlock<WCHAR> wideEntry = AllocateModuleBlock<WCHAR>(units * sizeof(WCHAR));
  if (!wideName || !wideEntry) return ListedPrinterNoMemory;
  if (!Widen(name, wideName.get(), units)) return ListedPrinterMissing;
  for (const char* listed = list; *listed != '\0'; listed = NextName(listed)) {
    if (Widen(listed, wideEntry.get(), units) &&
        CompareStringOrdinal(wideEntry.get(), -1, wideName.get(), -1, TRUE) == CSTR_EQUAL) {
      *entry = listed;
      return ListedPrinterFound;
    }
  }
  return ListedPrinterMissing;
}
