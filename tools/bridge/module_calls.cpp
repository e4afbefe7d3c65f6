#include "tools/bridge/module_calls.h"

namespace bridge {
namespace {

// The code of a module message "?412 print failed - ...", or 0 when it has none.
int MessageCode(const std::string& message) {
  if (message.size() < 4 || message[0] != '?') return 0;
  int code = 0;
  for (size_t i = 1; i < 4; ++i) {
    if (message[i] < '0' || message[i] > '9') return 0;
    code = code * 10 + (message[i] - '0');
  }
  return code;
}

// False with *failure set when the call did not answer: the module's own message and code when it
// raised one, else a failure of the bridge's saying what went wrong.
bool Answered(const host::CallOutcome& outcome, const char* method, Failure* failure) {
  if (outcome.threw) {
    const int code = MessageCode(outcome.exception);
    if (code == 0) {
      *failure = BridgeFailure(kPluginNotLoadable, std::string(method) + " raised an unnumbered message: " +
                                                       outcome.exception.substr(0, 200));
    } else {
      failure->code = code;
      failure->message = outcome.exception;
    }
    return false;
  }
  if (!outcome.hasMethod || !outcome.returned) {
    *failure = BridgeFailure(kPluginNotLoadable, std::string(method) +
                                                     (outcome.hasMethod ? " failed without a message"
                                                                        : " is not offered by the plug-in"));
    return false;
  }
  return true;
}

}  // namespace

bool CallPrint(host::Instance& instance, std::string* data, const std::string* printer, Result* result,
               Failure* failure) {
  NPObject* argumentObject = host::NewObject();
  NPVariant dataValue = host::StringValue(*data);
  data->clear();
  data->shrink_to_fit();
  host::SetProperty(argumentObject, "data", dataValue);
  host::Release(dataValue);
  if (printer != nullptr) {
    NPVariant printerValue = host::StringValue(*printer);
    host::SetProperty(argumentObject, "printer", printerValue);
    host::Release(printerValue);
  }
  NPVariant argument = host::ObjectValue(argumentObject);
  const host::CallOutcome outcome = instance.Call("print", {argument});
  host::Release(argument);
  host::ReleaseObject(argumentObject);
  if (!Answered(outcome, "print", failure)) return false;
  result->kind = Result::True;
  return true;
}

bool CallList(host::Instance& instance, const char* method, Result* result, Failure* failure) {
  NPObject* array = host::NewArray();
  NPVariant argument = host::ObjectValue(array);
  const host::CallOutcome outcome = instance.Call(method, {argument});
  bool ok = Answered(outcome, method, failure);
  if (ok) {
    *result = Result();
    result->kind = Result::Texts;
    for (size_t i = 0; ok && i < host::ArrayLength(array); ++i) {
      const NPVariant& element = host::ArrayElement(array, i);
      ok = element.type == NPVariantType_String;
      if (ok) result->texts.push_back(host::TextOf(element));
    }
    if (!ok) *failure = BridgeFailure(kPluginNotLoadable, std::string(method) + " pushed an element that is no string");
  }
  host::Release(argument);
  host::ReleaseObject(array);
  return ok;
}

bool CallValue(host::Instance& instance, const char* method, Result* result, Failure* failure) {
  const host::CallOutcome outcome = instance.Call(method);
  if (!Answered(outcome, method, failure)) return false;
  if (outcome.resultType == NPVariantType_String) {
    result->kind = Result::Text;
    result->text = outcome.resultText;
  } else if (outcome.resultType == NPVariantType_Null) {
    result->kind = Result::Null;
  } else {
    *failure = BridgeFailure(kPluginNotLoadable, std::string(method) + " answered with neither text nor null");
    return false;
  }
  return true;
}

}  // namespace bridge
