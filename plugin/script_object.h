// The scriptable object of an instance, its constant class table, and the dispatch of script calls.
#pragma once

#include "npapi/npapi.h"
#include "plugin/instance.h"

// An NPObject that records the instance that made it. npp is cleared when that instance is destroyed;
// a detached object answers every script call with false and touches nothing else.
struct PrintScriptObject : NPObject {
  NPP npp;
};

extern const NPClass PrintScriptClass;

// True once the instance that made the object is destroyed, or while its NPP holds no record of the
// module's. Script run by any browser call may destroy it, so methods check again after such calls
// before they use npp.
inline bool IsDetached(const PrintScriptObject* object) {
  return object->npp == nullptr || object->npp->pdata == nullptr;
}

// The instance record behind the object, or null once the object is detached from its instance.
InstanceState* InstanceOf(const PrintScriptObject* object);

// Called by NPP_Destroy before it gives up the instance's reference.
void DetachScriptObject(NPObject* object);

// The signature every script method runs with; it returns what invoke hands back to the browser.
typedef bool (*ScriptMethod)(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                             NPVariant* result);
