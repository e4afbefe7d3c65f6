// Finding a page's printer name among the printers the spooler lists, so that only a listed printer is
// ever opened: names the spooler does not list (port-monitor handles such as ",XcvPort LPT1:", or
// "\\host\share" of a printer never connected here) are never handed to OpenPrinterA.
#pragma once

enum ListedPrinterStatus {
  ListedPrinterFound = 0,
  ListedPrinterMissing = 1,
  ListedPrinterNoMemory = 2,
};

// The entry of the NameList (plugin/name_list.h) that names the printer `name` names, both in the
// ANSI code page, in *entry: the entry with the same bytes, or else the first that equals it with
// letter case ignored and nothing else: an ordinal comparison of the UTF-16 forms, so that no letter
// stands for two ("Strasse" is not "Straße") and no character is passed over (a soft hyphen counts).
// The entry, not the page's spelling, is what the caller opens.
ListedPrinterStatus FindListedPrinter(const char* list, const char* name, const char** entry);
