// The names of the printers the spooler offers, local printers and connections alike, as a NameList
// (see plugin/name_list.h) in the system's ANSI code page, exactly as the spooler gives them.
#pragma once

enum : int {
  kPrinterNamesOk = 0,
  kPrinterNamesFailed = 3,  // the enumeration failed, or memory could not be had
};

// On kPrinterNamesOk *list is a ModuleAlloc block that the caller frees: the names in the spooler's
// order, each with its NUL, then one more NUL, at exactly that size. On failure *list is not written
// and nothing is left allocated.
int ListPrinterNames(char** list);
