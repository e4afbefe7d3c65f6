// Script objects as the browser keeps them: made through their class, reference-counted, deallocated
// when the last reference goes, and every script operation on them dispatched to their class. The
// host knows which objects are alive, so an operation on an object that is already gone is counted
// instead of touching freed memory.
#include <stdlib.h>

#include <unordered_set>

#include "host/host_internal.h"

namespace host {
namespace {

std::unordered_set<const NPObject*>& LiveObjects() {
  static std::unordered_set<const NPObject*>* live = new std::unordered_set<const NPObject*>;
  return *live;
}

// The class of a live object; null (and counted) for an object the host does not know as alive.
const NPClass* ClassOf(const NPObject* object) {
  if (!object) return nullptr;
  if (!detail::IsLiveObject(object)) {
    ++detail::MutableCounters().badObjectUses;
    return nullptr;
  }
  return object->_class;
}

}  // namespace

namespace detail {

bool IsLiveObject(const NPObject* object) { return object && LiveObjects().count(object) != 0; }

NPObject* CreateObject(NPP npp, NPClass* aClass) {
  if (!aClass) return nullptr;
  // A class without allocate gets a plain header; deallocate gives it back the same way.
  NPObject* object = aClass->allocate ? aClass->allocate(npp, aClass)
                                      : static_cast<NPObject*>(malloc(sizeof(NPObject)));
  if (!object) return nullptr;
  object->_class = aClass;
  object->referenceCount = 1;
  LiveObjects().insert(object);
  ++MutableCounters().liveObjects;
  return object;
}

NPObject* RetainObject(NPObject* object) {
  if (ClassOf(object)) ++object->referenceCount;
  return object;
}

void ReleaseObject(NPObject* object) {
  if (!object) return;
  if (!IsLiveObject(object) || object->referenceCount == 0) {
    ++MutableCounters().badObjectReleases;
    return;
  }
  if (--object->referenceCount != 0) return;
  // Forgotten before deallocate runs, which may release other objects in turn.
  LiveObjects().erase(object);
  --MutableCounters().liveObjects;
  if (object->_class && object->_class->deallocate) {
    object->_class->deallocate(object);
  } else {
    free(object);
  }
}

bool Invoke(NPP, NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t argCount,
            NPVariant* result) {
  const NPClass* aClass = ClassOf(object);
  return aClass && aClass->invoke && aClass->invoke(object, name, args, argCount, result);
}

bool InvokeDefault(NPP, NPObject* object, const NPVariant* args, uint32_t argCount, NPVariant* result) {
  const NPClass* aClass = ClassOf(object);
  return aClass && aClass->invokeDefault && aClass->invokeDefault(object, args, argCount, result);
}

bool GetProperty(NPP, NPObject* object, NPIdentifier name, NPVariant* result) {
  const NPClass* aClass = ClassOf(object);
  return aClass && aClass->getProperty && aClass->getProperty(object, name, result);
}

bool SetProperty(NPP, NPObject* object, NPIdentifier name, const NPVariant* value) {
  const NPClass* aClass = ClassOf(object);
  return aClass && aClass->setProperty && aClass->setProperty(object, name, value);
}

bool RemoveProperty(NPP, NPObject* object, NPIdentifier name) {
  const NPClass* aClass = ClassOf(object);
  return aClass && aClass->removeProperty && aClass->removeProperty(object, name);
}

bool HasProperty(NPP, NPObject* object, NPIdentifier name) {
  const NPClass* aClass = ClassOf(object);
  return aClass && aClass->hasProperty && aClass->hasProperty(object, name);
}

bool HasMethod(NPP, NPObject* object, NPIdentifier name) {
  const NPClass* aClass = ClassOf(object);
  return aClass && aClass->hasMethod && aClass->hasMethod(object, name);
}

// The two slots that only later class versions carry.
bool Enumerate(NPP, NPObject* object, NPIdentifier** names, uint32_t* count) {
  const NPClass* aClass = ClassOf(object);
  if (!aClass || !names || !count) return false;
  if (aClass->structVersion < NP_CLASS_STRUCT_VERSION_ENUM || !aClass->enumerate) return false;
  return aClass->enumerate(object, names, count);
}

bool Construct(NPP, NPObject* object, const NPVariant* args, uint32_t argCount, NPVariant* result) {
  const NPClass* aClass = ClassOf(object);
  if (!aClass || aClass->structVersion < NP_CLASS_STRUCT_VERSION_CTOR || !aClass->construct) return false;
  return aClass->construct(object, args, argCount, result);
}

}  // namespace detail

void ReleaseObject(NPObject* object) { detail::ReleaseObject(object); }

uint32_t ReferenceCount(NPObject* object) {
  return detail::IsLiveObject(object) ? object->referenceCount : 0;
}

}  // namespace host
