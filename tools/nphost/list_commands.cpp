// printers and macs: the methods that fill an array the page passes in, one push per entry.
#include "tools/nphost/commands.h"
#include "tools/nphost/console.h"

namespace {

ExitCode ListThroughArray(Session& session, const Arguments& arguments, const char* command,
                          const char* method) {
  ExitCode code = StartWithoutArguments(session, arguments, command);
  if (code != ExitOk) return code;

  NPObject* array = host::NewArray();
  NPVariant argument = host::ObjectValue(array);
  host::CallOutcome outcome = session.instance->Call(method, {argument});
  code = CallResult(outcome, method);
  if (code == ExitOk) {
    std::string lines;
    for (size_t i = 0; i < host::ArrayLength(array); ++i) {
      const NPVariant& element = host::ArrayElement(array, i);
      if (element.type != NPVariantType_String) {
        WriteErr(std::string("nphost: ") + method + " pushed an element that is no string\n");
        code = ExitCallFailed;
        break;
      }
      lines += host::TextOf(element) + "\n";
    }
    if (code == ExitOk) WriteOut(lines);
  }
  host::Release(argument);
  host::ReleaseObject(array);
  return code;
}

}  // namespace

ExitCode RunPrinters(Session& session, const Arguments& arguments) {
  return ListThroughArray(session, arguments, "printers", "getPrinters");
}

ExitCode RunMacs(Session& session, const Arguments& arguments) {
  return ListThroughArray(session, arguments, "macs", "getMacAddresses");
}
