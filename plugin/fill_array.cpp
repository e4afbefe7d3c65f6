#include "plugin/fill_array.h"

#include <string.h>

#include "adapters/hardware_addresses.h"
#include "platform/module_heap.h"
#include "plugin/browser_funcs.h"
#include "plugin/messages.h"
#include "plugin/name_list.h"
#include "plugin/printer_names_utf8.h"
#include "plugin/site_policy.h"

namespace {

// The array argument, or null when the call has none.
NPObject* ArrayArgument(PrintScriptObject* object, const NPVariant* args, uint32_t argCount) {
  if (argCount == 0 || args[0].type != NPVariantType_Object) return nullptr;
  NPObject* array = args[0].value.objectValue;
  if (!array || !NPN_HasMethod(object->npp, array, MethodIds.push)) return nullptr;
  return array;
}

// Appends one name. The name's bytes stay in the list, so the argument is never released; the push
// result starts void, so that releasing it is valid whatever the call left in it.
void PushName(PrintScriptObject* object, NPObject* array, const char* name) {
  NPVariant argument;
  STRINGN_TO_NPVARIANT(name, static_cast<uint32_t>(strlen(name)), argument);
  NPVariant pushResult;
  VOID_TO_NPVARIANT(pushResult);
  // A push that fails or throws does not stop the others.
  NPN_Invoke(object->npp, array, MethodIds.push, &argument, 1, &pushResult);
  NPN_ReleaseVariantValue(&pushResult);
}

}  // namespace

bool FillArrayFromNameList(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                           NPVariant* result, NameListProducer produce, const char* failureMessage) {
  NPObject* array = ArrayArgument(object, args, argCount);
  if (IsDetached(object)) return false;
  if (!array) {
    ErrorReport(object, kMessageExpectArray);
    return false;
  }

  char* list = nullptr;
  if (produce(&list) != 0) {
    BOOLEAN_TO_NPVARIANT(false, *result);
    ErrorReport(object, failureMessage);
    return false;
  }

  BOOLEAN_TO_NPVARIANT(true, *result);
  for (const char* name = list; *name != '\0'; name = NextName(name)) {
    PushName(object, array, name);
    // The page destroyed the instance from inside push: the names left have nowhere to go, and a
    // list cut short must not look like a success. The object is still alive (invoke holds it).
    if (IsDetached(object) && *NextName(name) != '\0') {
      BOOLEAN_TO_NPVARIANT(false, *result);
      ErrorReport(object, failureMessage);
      break;
    }
  }
  ModuleFree(list);
  return true;
}

namespace {

// A page the site policy refuses: the result as for a failed list, and nothing is enumerated.
bool RefuseList(PrintScriptObject* object, NPVariant* result, const char* message) {
  BOOLEAN_TO_NPVARIANT(false, *result);
  ErrorReport(object, message);
  return false;
}

}  // namespace

bool InvokeGetPrinters(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                       NPVariant* result) {
  if (const char* denied = SiteAccessDenial(object, UsePrinters)) return RefuseList(object, result, denied);
  return FillArrayFromNameList(object, args, argCount, result, ListPrinterNamesUtf8,
                               kMessagePrintersFailed);
}

bool InvokeGetMacAddresses(PrintScriptObject* object, const NPVariant* args, uint32_t argCount,
                           NPVariant* result) {
  if (const char* denied = SiteAccessDenial(object, UseHardwareAddresses)) {
    return RefuseList(object, result, denied);
  }
  return FillArrayFromNameList(object, args, argCount, result, ListHardwareAddresses,
                               kMessageMacAddressesFailed);
}
