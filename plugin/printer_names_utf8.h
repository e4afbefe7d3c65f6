// The printer names as a page receives them: the spooler's names converted from the system's ANSI
// code page to UTF-8, so that a name with national characters reaches script intact.
#pragma once

// Same contract and codes as ListPrinterNames (printing/printer_names.h): on kPrinterNamesOk *list is
// a NameList of the names in UTF-8 that the caller frees; on kPrinterNamesFailed nothing is left
// allocated. A name that the code page cannot convert fails the whole list rather than reach the
// page altered.
int ListPrinterNamesUtf8(char** list);
