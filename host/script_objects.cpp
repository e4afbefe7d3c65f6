// The script side of a page: plain objects with properties and arrays with a "push" method, made
// through NPN_CreateObject like any other object. Values they keep are their own copies (strings in
// host blocks, objects with a reference), given up when the object is deallocated.
#include <new>
#include <utility>

#include "host/host_internal.h"

namespace host {
namespace {

struct Property {
  NPIdentifier name;
  bool hasValue;
  NPVariant value;  // void unless hasValue
  Behaviour behaviour;
};

struct ScriptObject : NPObject {
  bool isArray = false;
  std::vector<Property> properties;
  size_t propertyReads = 0;
  std::vector<NPVariant> elements;
  std::function<Behaviour(const NPVariant* args, uint32_t argCount)> onPush;
  std::function<void(NPIdentifier name)> onGet;
};

NPIdentifier PushId() { return detail::GetStringIdentifier("push"); }
NPIdentifier LengthId() { return detail::GetStringIdentifier("length"); }

ScriptObject* AsScript(NPObject* object) { return static_cast<ScriptObject*>(object); }

Property* FindProperty(ScriptObject* object, NPIdentifier name) {
  for (Property& property : object->properties) {
    if (property.name == name) return &property;
  }
  return nullptr;
}

Property& PropertyFor(ScriptObject* object, NPIdentifier name) {
  if (Property* property = FindProperty(object, name)) return *property;
  Property property{name, false, {}, Behaviour::Normal};
  VOID_TO_NPVARIANT(property.value);
  object->properties.push_back(property);
  return object->properties.back();
}

// A property exists when it holds a value or has a getter that fails or throws.
bool Exists(const Property& property) { return property.hasValue || property.behaviour != Behaviour::Normal; }

// The element index an integer identifier names, or -1.
int64_t ElementIndex(ScriptObject* object, NPIdentifier name) {
  if (!object->isArray || !name || detail::IdentifierIsString(name)) return -1;
  int32_t index = detail::IntFromIdentifier(name);
  return index >= 0 && size_t(index) < object->elements.size() ? index : -1;
}

NPObject* AllocatePlain(NPP, NPClass*) { return new (std::nothrow) ScriptObject; }

NPObject* AllocateArray(NPP, NPClass*) {
  ScriptObject* object = new (std::nothrow) ScriptObject;
  if (object) object->isArray = true;
  return object;
}

void Deallocate(NPObject* npObject) {
  ScriptObject* object = AsScript(npObject);
  for (Property& property : object->properties) detail::DisposeVariant(&property.value);
  for (NPVariant& element : object->elements) detail::DisposeVariant(&element);
  delete object;
}

// As QtWebKit answers: a name is a method when its value is not undefined, function or not.
bool HasMethod(NPObject* npObject, NPIdentifier name) {
  ScriptObject* object = AsScript(npObject);
  if (object->isArray && name == PushId()) return true;
  const Property* property = FindProperty(object, name);
  return property && property->hasValue && property->value.type != NPVariantType_Void;
}

// push appends a copy of each argument and answers the new length. The page's hook runs first and
// may call back into the plug-in, or make the call fail or throw, in which case nothing is appended.
bool Push(ScriptObject* array, const NPVariant* args, uint32_t argCount, NPVariant* result) {
  if (argCount != 0 && !args) return false;
  // Script run by the hook may drop every other reference to the array; it lives to the end of its call.
  detail::RetainObject(array);
  // Copied because the hook may replace itself.
  auto hook = array->onPush;
  Behaviour behaviour = hook ? hook(args, argCount) : Behaviour::Normal;
  bool appended = behaviour == Behaviour::Normal;
  if (behaviour == Behaviour::Throw) {
    // The engine swallows the exception: the call succeeds with no value.
    detail::ThrowScriptException();
    detail::ReleaseObject(array);
    return true;
  }
  if (appended) {
    for (uint32_t i = 0; i < argCount && appended; ++i) {
      NPVariant copy;
      appended = detail::CopyVariant(args[i], &copy);
      if (appended) array->elements.push_back(copy);
    }
  }
  if (appended) INT32_TO_NPVARIANT(static_cast<int32_t>(array->elements.size()), *result);
  detail::ReleaseObject(array);
  return appended;
}

bool Invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t argCount,
            NPVariant* result) {
  if (!result) return false;
  VOID_TO_NPVARIANT(*result);
  // Of the host's objects only an array's push can be called.
  if (!AsScript(object)->isArray || name != PushId()) return false;
  return Push(AsScript(object), args, argCount, result);
}

bool InvokeDefault(NPObject*, const NPVariant*, uint32_t, NPVariant* result) {
  if (result) VOID_TO_NPVARIANT(*result);
  return false;
}

bool HasProperty(NPObject* npObject, NPIdentifier name) {
  ScriptObject* object = AsScript(npObject);
  if (const Property* property = FindProperty(object, name)) {
    if (Exists(*property)) return true;
  }
  return (object->isArray && name == LengthId()) || ElementIndex(object, name) >= 0;
}

bool ReadProperty(ScriptObject* object, NPIdentifier name, NPVariant* result);

bool GetProperty(NPObject* npObject, NPIdentifier name, NPVariant* result) {
  if (!result) return false;
  VOID_TO_NPVARIANT(*result);
  ScriptObject* object = AsScript(npObject);
  ++object->propertyReads;
  if (object->onGet) {
    // A getter runs script, which may drop every other reference to the object.
    detail::RetainObject(object);
    auto hook = object->onGet;
    hook(name);
    bool read = ReadProperty(object, name, result);
    detail::ReleaseObject(object);
    return read;
  }
  return ReadProperty(object, name, result);
}

bool ReadProperty(ScriptObject* object, NPIdentifier name, NPVariant* result) {
  if (const Property* property = FindProperty(object, name)) {
    if (property->behaviour == Behaviour::Fail) return false;
    if (property->behaviour == Behaviour::Throw) {
      // The engine swallows the getter's exception and answers the read with null.
      detail::ThrowScriptException();
      NULL_TO_NPVARIANT(*result);
      return true;
    }
    if (property->hasValue) return detail::CopyVariant(property->value, result);
  }
  if (object->isArray && name == LengthId()) {
    INT32_TO_NPVARIANT(static_cast<int32_t>(object->elements.size()), *result);
    return true;
  }
  int64_t index = ElementIndex(object, name);
  return index >= 0 && detail::CopyVariant(object->elements[size_t(index)], result);
}

bool StoreProperty(ScriptObject* object, NPIdentifier name, const NPVariant& value) {
  NPVariant copy;
  if (!detail::CopyVariant(value, &copy)) return false;
  Property& property = PropertyFor(object, name);
  NPVariant old = property.value;
  property.value = copy;
  property.hasValue = true;
  // Given up last: the old value may be the only reference to something the new one refers to.
  detail::DisposeVariant(&old);
  return true;
}

bool SetPropertySlot(NPObject* object, NPIdentifier name, const NPVariant* value) {
  return name && value && StoreProperty(AsScript(object), name, *value);
}

bool RemovePropertySlot(NPObject* npObject, NPIdentifier name) {
  ScriptObject* object = AsScript(npObject);
  for (size_t i = 0; i < object->properties.size(); ++i) {
    if (object->properties[i].name != name) continue;
    NPVariant old = object->properties[i].value;
    object->properties.erase(object->properties.begin() + long(i));
    detail::DisposeVariant(&old);
    break;
  }
  return true;
}

// The names are a block of the caller's, to be given back with NPN_MemFree.
bool Enumerate(NPObject* npObject, NPIdentifier** names, uint32_t* count) {
  ScriptObject* object = AsScript(npObject);
  uint32_t existing = 0;
  for (const Property& property : object->properties) existing += Exists(property) ? 1 : 0;
  NPIdentifier* list = static_cast<NPIdentifier*>(detail::HostBlock(sizeof(NPIdentifier) * existing));
  if (!list) return false;
  uint32_t n = 0;
  for (const Property& property : object->properties) {
    if (Exists(property)) list[n++] = property.name;
  }
  *names = list;
  *count = n;
  return true;
}

// structVersion 2: the slots through enumerate; neither invalidate nor construct.
const NPClass kPlainClass = {
    NP_CLASS_STRUCT_VERSION_ENUM, AllocatePlain, Deallocate,  nullptr,          HasMethod,
    Invoke,                       InvokeDefault, HasProperty, GetProperty,      SetPropertySlot,
    RemovePropertySlot,           Enumerate,     nullptr,
};

const NPClass kArrayClass = {
    NP_CLASS_STRUCT_VERSION_ENUM, AllocateArray, Deallocate,  nullptr,          HasMethod,
    Invoke,                       InvokeDefault, HasProperty, GetProperty,      SetPropertySlot,
    RemovePropertySlot,           Enumerate,     nullptr,
};

// The host's own object behind an NPObject, or null for any other object.
ScriptObject* HostObject(NPObject* object) {
  if (!detail::IsLiveObject(object)) return nullptr;
  if (object->_class != &kPlainClass && object->_class != &kArrayClass) return nullptr;
  return AsScript(object);
}

}  // namespace

NPObject* NewObject() { return detail::CreateObject(nullptr, const_cast<NPClass*>(&kPlainClass)); }

NPObject* NewArray() { return detail::CreateObject(nullptr, const_cast<NPClass*>(&kArrayClass)); }

void SetProperty(NPObject* object, const char* name, const NPVariant& value) {
  detail::SetProperty(nullptr, object, detail::GetStringIdentifier(name), &value);
}

void SetPropertyBehaviour(NPObject* object, const char* name, Behaviour behaviour) {
  ScriptObject* script = HostObject(object);
  if (script && name) PropertyFor(script, detail::GetStringIdentifier(name)).behaviour = behaviour;
}

size_t PropertyReads(NPObject* object) {
  ScriptObject* script = HostObject(object);
  return script ? script->propertyReads : 0;
}

size_t ArrayLength(NPObject* array) {
  ScriptObject* script = HostObject(array);
  return script ? script->elements.size() : 0;
}

const NPVariant& ArrayElement(NPObject* array, size_t index) {
  static const NPVariant kVoid = {NPVariantType_Void, {false}};
  ScriptObject* script = HostObject(array);
  return script && index < script->elements.size() ? script->elements[index] : kVoid;
}

void OnGetProperty(NPObject* object, std::function<void(NPIdentifier name)> hook) {
  if (ScriptObject* script = HostObject(object)) script->onGet = std::move(hook);
}

void OnPush(NPObject* array, std::function<Behaviour(const NPVariant* args, uint32_t argCount)> hook) {
  if (ScriptObject* script = HostObject(array)) script->onPush = std::move(hook);
}

}  // namespace host
