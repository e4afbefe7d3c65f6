#include "printing/listed_printer.h"

#include <string.h>

#include "platform/windows_api.h"
#include "plugin/name_list.h"

namespace {

// The system locale's comparison of two ANSI texts, ignoring case: its code page is the ANSI code
// page the names are written in.
bool SameIgnoringCase(const char* a, const char* b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

}  // namespace

const char* FindListedPrinter(const char* list, const char* name) {
  for (const char* entry = list; *entry != '\0'; entry = NextName(entry)) {
    if (strcmp(entry, name) == 0) return entry;
  }
  for (const char* entry = list; *entry != '\0'; entry = NextName(entry)) {
    if (SameIgnoringCase(entry, name)) return entry;
  }
  return nullptr;
}
