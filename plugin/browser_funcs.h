// The module's kept copy of the browser's function table, the calls the module makes through it, and
// the identifiers of the names the module compares, interned through it.
#pragma once

#include "npapi/npapi.h"

// Filled by NP_Initialize (zeroed, then the browser's first min(size, table) bytes); read everywhere else.
extern NPNetscapeFuncs BrowserFuncs;

// The browser's table must reach at least this far: the last slot the module calls is setexception.
constexpr size_t kBrowserTableSizeNeeded =
    offsetof(NPNetscapeFuncs, setexception) + sizeof(NPN_SetExceptionProcPtr);
static_assert(offsetof(NPNetscapeFuncs, memfree) < kBrowserTableSizeNeeded &&
                  offsetof(NPNetscapeFuncs, getvalue) < kBrowserTableSizeNeeded,
              "every slot the module calls lies within the size it requires");

inline void* NPN_MemAlloc(uint32_t size) { return BrowserFuncs.memalloc(size); }
inline void NPN_MemFree(void* block) { BrowserFuncs.memfree(block); }
inline NPError NPN_GetValue(NPP npp, NPNVariable variable, void* value) {
  return BrowserFuncs.getvalue(npp, variable, value);
}
inline NPIdentifier NPN_GetStringIdentifier(const NPUTF8* name) {
  return BrowserFuncs.getstringidentifier(name);
}
inline NPObject* NPN_CreateObject(NPP npp, NPClass* aClass) { return BrowserFuncs.createobject(npp, aClass); }
inline NPObject* NPN_RetainObject(NPObject* object) { return BrowserFuncs.retainobject(object); }
inline void NPN_ReleaseObject(NPObject* object) { BrowserFuncs.releaseobject(object); }
inline void NPN_SetException(NPObject* object, const NPUTF8* message) {
  BrowserFuncs.setexception(object, message);
}
inline bool NPN_HasProperty(NPP npp, NPObject* object, NPIdentifier name) {
  return BrowserFuncs.hasproperty(npp, object, name);
}
inline bool NPN_GetProperty(NPP npp, NPObject* object, NPIdentifier name, NPVariant* value) {
  return BrowserFuncs.getproperty(npp, object, name, value);
}
inline bool NPN_HasMethod(NPP npp, NPObject* object, NPIdentifier name) {
  return BrowserFuncs.hasmethod(npp, object, name);
}
inline bool NPN_Invoke(NPP npp, NPObject* object, NPIdentifier name, const NPVariant* args,
                       uint32_t argCount, NPVariant* result) {
  return BrowserFuncs.invoke(npp, object, name, args, argCount, result);
}
inline void NPN_ReleaseVariantValue(NPVariant* value) { BrowserFuncs.releasevariantvalue(value); }

// Identifiers of every name the module compares: the five script methods, the two properties of the
// print argument and the array method it calls. Names are compared by identifier value only.
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
