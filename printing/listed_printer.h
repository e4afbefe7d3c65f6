// Finding a page's printer name among the printers the spooler lists, so that only a listed printer is
// ever opened: names the spooler does not list (port-monitor handles such as ",XcvPort LPT1:", or
// "\\host\share" of a printer never connected here) are never handed to OpenPrinterA.
#pragma once

// The entry of the NameList (plugin/name_list.h) that names the printer `name` names, both in the
// ANSI code page: the entry with the same bytes, or else the first that Windows' comparison of
// printer names, which ignores case, finds equal. Null when none does. The entry, not the page's
// spelling, is what the caller opens.
const char* FindListedPrinter(const char* list, const char* name);
