// A small but real NPAPI browser host.
//
// It implements the browser's function table: interned identifiers compared by pointer, reference-
// counted objects built through their class, script-side objects and arrays, one exception per call,
// and accounting of every NPN_MemAlloc block, object and released variant. The unit tests link it with
// the module's code directly; nphost.exe uses it with a plug-in DLL loaded by LoadLibrary.
//
// The host is single-threaded, as a browser's plug-in thread is; its state is process-wide because the
// browser functions carry no context of their own.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "npapi/npapi.h"

namespace host {

// ---- The browser's function table ----

// A complete table of this build's layout: size = sizeof(NPNetscapeFuncs), version 0.27. Slots the
// host does not implement stay null.
NPNetscapeFuncs BrowserTable();

// ---- The page ----

// The origin the host states for NPNVdocumentOrigin from now on, e.g. "https://shop.example.com";
// null: the host answers nothing, as a browser that does not know the variable.
void SetDocumentOrigin(const char* origin);

// ---- Identifiers ----

NPIdentifier StringId(const char* name);  // the same pointer for equal names, for the process's life
NPIdentifier IntId(int32_t value);

// ---- Accounting ----

struct Counters {
  size_t memAllocBlocks = 0;     // NPN_MemAlloc blocks (and the host's own value copies) not yet freed
  size_t liveObjects = 0;        // objects made through NPN_CreateObject (or the host) not yet deallocated
  size_t variantsReleased = 0;   // NPN_ReleaseVariantValue calls made through the browser table
  size_t badReleases = 0;        // releases of a string block the host does not know (twice, or foreign)
  size_t badObjectReleases = 0;  // NPN_ReleaseObject on an object already deallocated or never made
  size_t memAllocCalls = 0;      // NPN_MemAlloc calls, failed ones included
  size_t badObjectUses = 0;      // retains and script calls on an object that is not alive
  size_t scriptExceptions = 0;   // exceptions thrown by host-side script (Behaviour::Throw)
};
Counters GetCounters();

// Makes the n-th NPN_MemAlloc call from now fail (1 = the next one); 0 turns failing off. Only that
// one call fails. Copies the host makes for itself (values, array elements) are not NPN_MemAlloc calls.
void FailMemAllocAt(size_t n);

// An exception the plug-in set outside any Instance::Call (for instance while a test calls a class
// slot directly), handed out once: true and its text, or false when none is pending.
bool TakeException(std::string* text);

// How the browser holds the plug-in's scriptable objects. Held (the default), as QtWebKit does: it
// keeps the one reference NPP_GetValue gave it, takes no other, and gives it up right after
// NPP_Destroy, or, when the instance is destroyed during a call on the object, as that call returns.
// Not held: it gives its reference up as soon as the instance is destroyed, even inside a call, so
// that there only the plug-in's own references keep the object alive.
void HoldReferences(bool hold);

// ---- Script values ----

// A variant owned by the host side of a test or tool; strings are copied into NPN_MemAlloc blocks.
NPVariant StringValue(const std::string& text);
NPVariant StringValueWithNull(uint32_t length);  // a string variant with a null character pointer
NPVariant ObjectValue(NPObject* object);         // takes one more reference
void Release(NPVariant& value);                  // as NPN_ReleaseVariantValue, not counted as one
std::string TextOf(const NPVariant& value);      // the bytes of a string variant

// The standard Base64 of bytes, "=" padded, without line breaks: the text a page hands to print.
std::string EncodeBase64(const std::string& bytes);

// ---- Script objects ----

// How a property read or a push call behaves. Fail: the call returns false. Throw: script throws; as
// in QtWebKit the browser swallows the exception (it is counted in Counters::scriptExceptions, and
// does not become the exception of the plug-in's own call) and the call returns true: a property
// read with a null value, a push with a void result and nothing appended.
enum class Behaviour { Normal, Fail, Throw };

// A plain script object with properties. Reading a missing property: hasProperty false, getProperty
// writes void and returns false. As in QtWebKit, hasMethod is true for every property whose value is
// not void, and invoking one fails (no property of such an object is a function).
NPObject* NewObject();
void SetProperty(NPObject* object, const char* name, const NPVariant& value);  // copies the value
void SetPropertyBehaviour(NPObject* object, const char* name, Behaviour behaviour);
size_t PropertyReads(NPObject* object);  // getProperty calls made on the object
// Called at the start of every property read of the object, as a getter that runs script would be;
// it may call back into the plug-in.
void OnGetProperty(NPObject* object, std::function<void(NPIdentifier name)> hook);

// A script array with a "push" method that appends one element per argument.
NPObject* NewArray();
size_t ArrayLength(NPObject* array);
const NPVariant& ArrayElement(NPObject* array, size_t index);  // valid until the array changes
// Called on each push before the element is appended; it may call back into the plug-in.
void OnPush(NPObject* array, std::function<Behaviour(const NPVariant* args, uint32_t argCount)> hook);

void ReleaseObject(NPObject* object);  // NPN_ReleaseObject
uint32_t ReferenceCount(NPObject* object);

// What one script call through Instance::Call came to.
struct CallOutcome {
  bool hasMethod = false;  // the object's hasMethod answer
  bool returned = false;   // what the object's invoke returned (false when hasMethod said no)
  bool threw = false;      // an exception was set during the call
  std::string exception;   // its text
  // What page script catches, as QtWebKit raises it: the plug-in's text when invoke returned true
  // with an exception set, the engine's own kGenericCallError whenever invoke returned false (the
  // plug-in's text is dropped then), empty when the call raised nothing.
  std::string scriptError;
  NPVariantType resultType = NPVariantType_Void;  // the result variant after the call (void: unwritten)
  bool resultBool = false;
  int32_t resultInt = 0;
  double resultDouble = 0;
  std::string resultText;  // for a string result
};

// QtWebKit's error for a plug-in method that returned false.
extern const char kGenericCallError[];

// ---- Plug-in ----

struct PluginEntryPoints {
  NP_GetEntryPointsFunc getEntryPoints;
  NP_InitializeFunc initialize;
  NP_ShutdownFunc shutdown;
  NP_GetMIMEDescriptionFunc getMimeDescription;
  NP_GetValueFunc getValue;
};

// A loaded plug-in module, initialised the way a browser does (entry points, then initialise).
class Plugin {
 public:
  explicit Plugin(const PluginEntryPoints& entryPoints);
  ~Plugin();  // NP_Shutdown, if initialised
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  NPError Initialize();  // NP_GetEntryPoints and NP_Initialize with BrowserTable()
  const NPPluginFuncs& Funcs() const { return funcs_; }
  const PluginEntryPoints& EntryPoints() const { return entryPoints_; }
  // The first type NP_GetMIMEDescription declares, or empty text when the plug-in declares none.
  std::string FirstMimeType() const;

 private:
  PluginEntryPoints entryPoints_;
  NPPluginFuncs funcs_{};
  bool initialized_ = false;
};

// One plug-in element on a page: NPP_New on creation; on Destroy() or destruction (as in a browser,
// not after an NPP_New that failed) NPP_SetWindow with no window, then NPP_Destroy, as QtWebKit
// removes an element. The element's type is mimeType, or else the first type the plug-in declares.
class Instance {
 public:
  explicit Instance(Plugin& plugin, const char* mimeType = nullptr);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  NPError created() const { return created_; }
  NPP npp() { return &npp_; }
  // NPP_GetValue(NPPVpluginScriptableNPObject); the reference is the caller's (host) and is kept by
  // the Instance until destruction.
  NPObject* ScriptObject();
  void Destroy();  // NPP_Destroy now; later calls do nothing

  // Calls a method on the scriptable object as a page does: hasProperty, hasMethod, then invoke with
  // the arguments (a valid array even when there are none); the result variant is released after it
  // has been copied into the outcome. The Instance must outlive the call; once destroyed, it finds
  // no method, as the engine's element has none left.
  CallOutcome Call(const char* method, const std::vector<NPVariant>& args = {});
  CallOutcome CallId(NPIdentifier method, const std::vector<NPVariant>& args = {});

 private:
  Plugin& plugin_;
  std::string mimeType_;
  NPP_t npp_{};
  NPError created_ = NPERR_GENERIC_ERROR;
  bool destroyed_ = false;
  NPObject* scriptObject_ = nullptr;
  int callsUnderWay_ = 0;  // calls on the object that have not returned yet
  void GiveUpObject();
};

}  // namespace host
