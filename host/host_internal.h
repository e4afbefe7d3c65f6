// The host's own functions behind the browser table, shared between the host's files. Everything here
// is what the browser table's slots point at, plus the bookkeeping those slots need.
#pragma once

#include <string>

#include "host/host.h"

namespace host {
namespace detail {

// A text the host keeps between calls, or none: the stated origin, the pending exception. Each lives
// in a function's static pointer, made on first use and never destroyed.
struct OptionalText {
  bool set = false;
  std::string text;
};

// ---- Accounting (memory.cpp) ----

Counters& MutableCounters();

// The table's memalloc: counted as a call, and the one that FailMemAllocAt makes fail.
void* MemAlloc(uint32_t size);
// The table's memfree: frees a block the host handed out; anything else counts as a bad release.
void MemFree(void* block);
uint32_t MemFlush(uint32_t size);

// Blocks the host itself hands to script or to the plug-in (copies of strings, identifier names).
// They are accounted like NPN_MemAlloc blocks and freed the same way, but are not NPN_MemAlloc calls,
// so they neither count as calls nor fail on FailMemAllocAt.
void* HostBlock(size_t size);
// Frees a block of MemAlloc or HostBlock; false (nothing freed) for a block the host does not know.
bool FreeBlock(void* block);

// ---- Browser values (browser_values.cpp) ----

// The table's getvalue: NPNVdocumentOrigin when SetDocumentOrigin gave one, else an error.
NPError GetValue(NPP npp, NPNVariable variable, void* value);

// ---- Identifiers (identifiers.cpp) ----

NPIdentifier GetStringIdentifier(const NPUTF8* name);
void GetStringIdentifiers(const NPUTF8** names, int32_t count, NPIdentifier* identifiers);
NPIdentifier GetIntIdentifier(int32_t value);
bool IdentifierIsString(NPIdentifier identifier);
NPUTF8* UTF8FromIdentifier(NPIdentifier identifier);
int32_t IntFromIdentifier(NPIdentifier identifier);

// ---- Objects (objects.cpp) ----

NPObject* CreateObject(NPP npp, NPClass* aClass);
NPObject* RetainObject(NPObject* object);
void ReleaseObject(NPObject* object);
bool IsLiveObject(const NPObject* object);

bool Invoke(NPP npp, NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t argCount,
            NPVariant* result);
bool InvokeDefault(NPP npp, NPObject* object, const NPVariant* args, uint32_t argCount, NPVariant* result);
bool GetProperty(NPP npp, NPObject* object, NPIdentifier name, NPVariant* result);
bool SetProperty(NPP npp, NPObject* object, NPIdentifier name, const NPVariant* value);
bool RemoveProperty(NPP npp, NPObject* object, NPIdentifier name);
bool HasProperty(NPP npp, NPObject* object, NPIdentifier name);
bool HasMethod(NPP npp, NPObject* object, NPIdentifier name);
bool Enumerate(NPP npp, NPObject* object, NPIdentifier** names, uint32_t* count);
bool Construct(NPP npp, NPObject* object, const NPVariant* args, uint32_t argCount, NPVariant* result);

// ---- Variants (variants.cpp) ----

// The table's releasevariantvalue: counted, then DisposeVariant.
void ReleaseVariantValue(NPVariant* value);
// Frees a string variant's block (or counts a bad release), releases an object variant, leaves void.
void DisposeVariant(NPVariant* value);
// A copy the receiver owns: strings in a new host block, objects with one more reference. False, with
// `to` void, when the string's memory cannot be had.
bool CopyVariant(const NPVariant& from, NPVariant* to);

// ---- Exceptions (exceptions.cpp) ----

// The table's setexception: the text becomes the exception of the plug-in call under way.
void SetException(NPObject* object, const NPUTF8* message);

// An exception thrown by script on the host's side (a property read or a push set to Throw). As in
// QtWebKit, the browser clears it where the plug-in's call into script ends; it is counted and goes
// no further.
void ThrowScriptException();

// Brackets one plug-in call: takes the exception state of any call it is nested in out of the way, and
// puts it back after the inner call's exception has been collected.
class ExceptionScope {
 public:
  ExceptionScope();
  ~ExceptionScope();
  ExceptionScope(const ExceptionScope&) = delete;
  ExceptionScope& operator=(const ExceptionScope&) = delete;

  // Whether the plug-in set an exception during the call, and its text; clears it.
  static bool Collect(std::string* text);

 private:
  bool outerSet_;
  std::string outerText_;
};

}  // namespace detail
}  // namespace host
