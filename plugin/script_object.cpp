#include "plugin/script_object.h"

#include "platform/module_heap.h"
#include "plugin/browser_funcs.h"
#include "plugin/fill_array.h"
#include "plugin/info_methods.h"
#include "printing/print_method.h"

namespace {

struct MethodEntry {
  const NPIdentifier* id;  // points into MethodIds, which NP_Initialize fills
  ScriptMethod run;
};

const MethodEntry kMethods[] = {
    {&MethodIds.print, InvokePrint},
    {&MethodIds.getMacAddresses, InvokeGetMacAddresses},
    {&MethodIds.getVersion, InvokeGetVersion},
    {&MethodIds.getPrinters, InvokeGetPrinters},
    {&MethodIds.getLastError, InvokeGetLastError},
};

const MethodEntry* FindMethod(NPIdentifier name) {
  for (const MethodEntry& entry : kMethods) {
    if (*entry.id == name) return &entry;
  }
  return nullptr;
}

PrintScriptObject* AsPrintObject(NPObject* object) { return static_cast<PrintScriptObject*>(object); }

NPObject* Allocate(NPP npp, NPClass*) {
  PrintScriptObject* object = static_cast<PrintScriptObject*>(ModuleAlloc(sizeof(PrintScriptObject)));
  if (!object) return nullptr;
  object->_class = nullptr;  // cleared here; the browser sets both header fields after allocate returns
  object->referenceCount = 0;
  object->npp = npp;
  return object;
}

void Deallocate(NPObject* object) { ModuleFree(object); }

bool HasMethod(NPObject* object, NPIdentifier name) {
  return !IsDetached(AsPrintObject(object)) && name != nullptr && FindMethod(name) != nullptr;
}

bool Invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t argCount,
            NPVariant* result) {
  if (IsDetached(AsPrintObject(object)) || name == nullptr) return false;
  const MethodEntry* method = FindMethod(name);
  if (!method) return false;
  // The method's own reference: page script run inside the call may destroy the instance and drop
  // every other reference, and the method still reports on the object when it ends.
  NPN_RetainObject(object);
  const bool returned = method->run(AsPrintObject(object), args, argCount, result);
  NPN_ReleaseObject(object);
  return returned;
}

bool InvokeDefault(NPObject*, const NPVariant*, uint32_t, NPVariant*) { return false; }

bool HasProperty(NPObject*, NPIdentifier) { return false; }

bool GetProperty(NPObject*, NPIdentifier, NPVariant*) { return false; }

}  // namespace

// structVersion 1: the browser reads the slots through removeProperty only.
const NPClass PrintScriptClass = {
    1,             Allocate,    Deallocate,  nullptr, HasMethod, Invoke, InvokeDefault,
    HasProperty,   GetProperty, nullptr,     nullptr, nullptr,   nullptr,
};

InstanceState* InstanceOf(const PrintScriptObject* object) {
  if (IsDetached(object)) return nullptr;
  return static_cast<InstanceState*>(object->npp->pdata);
}

void DetachScriptObject(NPObject* object) {
  if (object) AsPrintObject(object)->npp = nullptr;
}
