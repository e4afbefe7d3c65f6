#include "plugin/printer_names_utf8.h"

#include <stdint.h>

#include "platform/code_page.h"
#include "platform/module_heap.h"
#include "plugin/name_list.h"
#include "printing/printer_names.h"

int ListPrinterNamesUtf8(char** list) {
  char* ansi = nullptr;
  if (ListPrinterNames(&ansi) != kPrinterNamesOk) return kPrinterNamesFailed;

  // The whole list converts in one go: a NUL byte is a character of its own in every ANSI code page
  // (never part of a multi-byte one) and becomes a NUL in UTF-8, so the entries keep their borders,
  // and the NUL that the conversion appends closes the converted list at its exact size.
  const size_t entriesSize = NameListSize(ansi) - 1;
  char* utf8 = nullptr;
  // The conversion takes a 32-bit length and refuses far smaller texts already.
  const CodePageStatus status =
      entriesSize > INT32_MAX ? CodePageUnmappable
                              : AnsiToUtf8(ansi, static_cast<uint32_t>(entriesSize), &utf8, nullptr);
  ModuleFree(ansi);
  if (status != CodePageOk) return kPrinterNamesFailed;
  *list = utf8;
  return kPrinterNamesOk;
}
