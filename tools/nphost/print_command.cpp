// print: hands a document to the plug-in's print method inside an object, as a page does:
// { data: <Base64 text>, printer: <name> } with printer left out for the default printer.
#include <stdint.h>
#include <stdio.h>

#include <chrono>

#include "tools/nphost/byte_input.h"
#include "tools/nphost/commands.h"
#include "tools/nphost/console.h"

namespace {

struct PrintRequest {
  bool hasPrinter = false;
  std::string printer;
  bool hasBase64 = false;  // --base64 TEXT: the text goes to the plug-in as it stands
  std::string base64;
  bool hasFile = false;
  std::string file;
  bool times = false;  // --times: report the file's reading and encoding and the call's duration
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

ExitCode ParsePrintArguments(const Arguments& arguments, PrintRequest* request) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    bool takesValue = argument == "--printer" || argument == "--base64";
    if (takesValue && i + 1 >= arguments.size()) return UsageError(argument + " needs a value");
    if (argument == "--printer") {
      if (request->hasPrinter) return UsageError("--printer given twice");
      request->hasPrinter = true;
      request->printer = arguments[++i];
    } else if (argument == "--base64") {
      if (request->hasBase64) return UsageError("--base64 given twice");
      request->hasBase64 = true;
      request->base64 = arguments[++i];
    } else if (argument == "--times") {
      request->times = true;
    } else if (argument.size() > 1 && argument[0] == '-' && argument[1] == '-') {
      return UsageError("print has no option " + argument);
    } else {
      if (request->hasFile) return UsageError("print takes one file");
      request->hasFile = true;
      request->file = argument;
    }
  }
  if (request->hasFile == request->hasBase64) return UsageError("print needs either FILE or --base64 TEXT");
  return ExitOk;
}

}  // namespace

ExitCode RunPrint(Session& session, const Arguments& arguments) {
  PrintRequest request;
  ExitCode code = ParsePrintArguments(arguments, &request);
  if (code != ExitOk) return code;

  std::string data = request.base64;
  size_t documentBytes = 0;
  const auto readStarted = std::chrono::steady_clock::now();
  if (request.hasFile) {
    std::string bytes, error;
    if (!ReadAllBytes(request.file, &bytes, &error)) {
      WriteErr("nphost: " + error + "\n");
      return ExitHostFailed;
    }
    documentBytes = bytes.size();
    data = host::EncodeBase64(bytes);
  }
  const double readSeconds = SecondsSince(readStarted);
  // A script string's length is 32 bits: a longer text could only be handed over cut short.
  if (data.size() > UINT32_MAX) {
    WriteErr("nphost: the document is too large for one print call (its Base64 text exceeds 4 GiB)\n");
    return ExitHostFailed;
  }
  code = EnsureInstance(session);
  if (code != ExitOk) return code;

  NPObject* argumentObject = host::NewObject();
  NPVariant dataValue = host::StringValue(data);
  host::SetProperty(argumentObject, "data", dataValue);
  host::Release(dataValue);
  if (request.hasPrinter) {
    NPVariant printerValue = host::StringValue(request.printer);
    host::SetProperty(argumentObject, "printer", printerValue);
    host::Release(printerValue);
  }
  data.clear();
  data.shrink_to_fit();  // a large document need not be held three times during the call

  NPVariant argument = host::ObjectValue(argumentObject);
  const auto callStarted = std::chrono::steady_clock::now();
  host::CallOutcome outcome = session.instance->Call("print", {argument});
  const double callSeconds = SecondsSince(callStarted);
  host::Release(argument);
  host::ReleaseObject(argumentObject);
  if (request.times) {
    char line[128];
    snprintf(line, sizeof line, "nphost: times: read and encode %.6f s, print call %.6f s\n", readSeconds,
             callSeconds);
    WriteErr(line);
  }

  code = CallResult(outcome, "print");
  if (code != ExitOk) return code;
  WriteField("printer", request.hasPrinter ? request.printer : std::string("(default)"));
  if (request.hasFile) {
    WriteField("bytes", std::to_string(documentBytes));
  } else {
    WriteField("base64", std::to_string(request.base64.size()) + " characters");
  }
  WriteField("status", "printed");
  return ExitOk;
}
