// Identifiers of every name the module compares: the five script methods, the two properties of the
// print argument and the array method it calls. Names are compared by identifier value only.
#pragma once

#include "npapi/npapi.h"

struct MethodIdTable {
  NPIdentifier print;
  NPIdentifier getMacAddresses;
  NPIdentifier getVersion;
  NPIdentifier getPrinters;
  NPIdentifier getLastError;
  NPIdentifier printer;
  NPIdentifier data;
  NPIdentifier push;
};

extern MethodIdTable MethodIds;

// Interns all eight names through the browser, in the order of the table.
void InternMethodIds();
