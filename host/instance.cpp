// One plug-in element on a page, and script calls on its scriptable object.
#include "host/host_internal.h"

namespace host {
namespace {

bool holdReferences = true;

}  // namespace

const char kGenericCallError[] = "Error calling method on NPObject.";

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
  GiveUpObject();
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

void Instance::GiveUpObject() {
  NPObject* object = scriptObject_;
  scriptObject_ = nullptr;
  if (object) detail::ReleaseObject(object);
}

void Instance::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // The engine takes the window away first, then destroys the instance.
  NPWindow window{};
  if (plugin_.Funcs().setwindow) plugin_.Funcs().setwindow(&npp_, &window);
  if (plugin_.Funcs().destroy) plugin_.Funcs().destroy(&npp_, nullptr);
  // A held reference lasts to the end of the calls on the object that are under way.
  if (!holdReferences || callsUnderWay_ == 0) GiveUpObject();
}

CallOutcome Instance::Call(const char* method, const std::vector<NPVariant>& args) {
  return CallId(detail::GetStringIdentifier(method), args);
}

CallOutcome Instance::CallId(NPIdentifier name, const std::vector<NPVariant>& args) {
  CallOutcome outcome;
  NPObject* object = ScriptObject();
  if (!object) return outcome;
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  // The engine hands over an array even for no arguments.
  NPVariant none;
  VOID_TO_NPVARIANT(none);
  ++callsUnderWay_;
  {
    detail::ExceptionScope exception;
    // The element asks whether the name is a property first, then whether it is a method.
    detail::HasProperty(&npp_, object, name);
    outcome.hasMethod = detail::HasMethod(&npp_, object, name);
    if (outcome.hasMethod) {
      outcome.returned = detail::Invoke(&npp_, object, name, args.empty() ? &none : args.data(),
                                        static_cast<uint32_t>(args.size()), &result);
    }
    outcome.threw = exception.Collect(&outcome.exception);
  }
  --callsUnderWay_;
  if (outcome.hasMethod && !outcome.returned) {
    outcome.scriptError = kGenericCallError;
  } else if (outcome.threw) {
    outcome.scriptError = outcome.exception;
  }
  outcome.resultType = result.type;
  if (result.type == NPVariantType_Bool) outcome.resultBool = result.value.boolValue;
  if (result.type == NPVariantType_Int32) outcome.resultInt = result.value.intValue;
  if (result.type == NPVariantType_Double) outcome.resultDouble = result.value.doubleValue;
  outcome.resultText = TextOf(result);
  detail::DisposeVariant(&result);
  // The object is not touched after invoke: without a held reference it may be gone.
  if (destroyed_ && callsUnderWay_ == 0) GiveUpObject();
  return outcome;
}

void HoldReferences(bool hold) { holdReferences = hold; }

}  // namespace host
