// One plug-in element on a page, and script calls on its scriptable object.
#include "host/host_internal.h"

namespace host {
namespace {

bool holdReferences = true;

}  // namespace

Instance::Instance(Plugin& plugin, const char* mimeType)
    : plugin_(plugin), mimeType_(mimeType ? mimeType : plugin.FirstMimeType()) {
  npp_.ndata = this;
  const NPPluginFuncs& funcs = plugin_.Funcs();
  created_ = NPERR_INVALID_FUNCTABLE_ERROR;
  // NPP_New takes the MIME type as writable text; the plug-in must not write it, but it gets a copy.
  if (funcs.newp) created_ = funcs.newp(&mimeType_[0], &npp_, NP_EMBED, 0, nullptr, nullptr, nullptr);
  // A browser does not destroy an instance whose creation failed.
  destroyed_ = created_ != NPERR_NO_ERROR;
}

Instance::~Instance() {
  Destroy();
  if (scriptObject_) detail::ReleaseObject(scriptObject_);
}

NPObject* Instance::ScriptObject() {
  if (scriptObject_ || destroyed_ || !plugin_.Funcs().getvalue) return scriptObject_;
  NPObject* object = nullptr;
  if (plugin_.Funcs().getvalue(&npp_, NPPVpluginScriptableNPObject, &object) != NPERR_NO_ERROR) {
    return nullptr;
  }
  // The answer must be an object made through NPN_CreateObject; anything else is not used.
  if (!detail::IsLiveObject(object)) {
    if (object) ++detail::MutableCounters().badObjectUses;
    return nullptr;
  }
  scriptObject_ = object;
  return scriptObject_;
}

void Instance::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (plugin_.Funcs().destroy) plugin_.Funcs().destroy(&npp_, nullptr);
  if (!holdReferences && scriptObject_) {
    NPObject* object = scriptObject_;
    scriptObject_ = nullptr;
    detail::ReleaseObject(object);
  }
}

CallOutcome Instance::Call(const char* method, const std::vector<NPVariant>& args) {
  return CallId(detail::GetStringIdentifier(method), args);
}

CallOutcome Instance::CallId(NPIdentifier name, const std::vector<NPVariant>& args) {
  CallOutcome outcome;
  NPObject* object = ScriptObject();
  if (!object) return outcome;
  // Held for the length of the call, as a browser holds the object a script is calling, so that a
  // nested call that destroys the instance cannot free the object under this one. A browser that
  // holds nothing leaves that to the plug-in; the object is then not touched after invoke.
  const bool hold = holdReferences;
  if (hold) detail::RetainObject(object);
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  {
    detail::ExceptionScope exception;
    outcome.hasMethod = detail::HasMethod(&npp_, object, name);
    if (outcome.hasMethod) {
      outcome.returned = detail::Invoke(&npp_, object, name, args.empty() ? nullptr : args.data(),
                                        static_cast<uint32_t>(args.size()), &result);
    }
    outcome.threw = exception.Collect(&outcome.exception);
  }
  outcome.resultType = result.type;
  if (result.type == NPVariantType_Bool) outcome.resultBool = result.value.boolValue;
  if (result.type == NPVariantType_Int32) outcome.resultInt = result.value.intValue;
  if (result.type == NPVariantType_Double) outcome.resultDouble = result.value.doubleValue;
  outcome.resultText = TextOf(result);
  detail::DisposeVariant(&result);
  if (hold) detail::ReleaseObject(object);
  return outcome;
}

void HoldReferences(bool hold) { holdReferences = hold; }

}  // namespace host
