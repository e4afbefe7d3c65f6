#include "plugin/browser_funcs.h"

NPNetscapeFuncs BrowserFuncs;

MethodIdTable MethodIds;

void InternMethodIds() {
  MethodIds.print = NPN_GetStringIdentifier("print");
  MethodIds.getMacAddresses = NPN_GetStringIdentifier("getMacAddresses");
  MethodIds.getVersion = NPN_GetStringIdentifier("getVersion");
  MethodIds.getPrinters = NPN_GetStringIdentifier("getPrinters");
  MethodIds.getLastError = NPN_GetStringIdentifier("getLastError");
  MethodIds.printer = NPN_GetStringIdentifier("printer");
  MethodIds.data = NPN_GetStringIdentifier("data");
  MethodIds.push = NPN_GetStringIdentifier("push");
}
