// version and last-error: the two methods that take no argument and answer with a value.
#include "tools/nphost/commands.h"
#include "tools/nphost/console.h"

namespace {

ExitCode NoArguments(const char* command, const Arguments& arguments) {
  if (arguments.empty()) return ExitOk;
  return UsageError(std::string(command) + " takes no arguments");
}

}  // namespace

ExitCode RunVersion(Session& session, const Arguments& arguments) {
  ExitCode code = NoArguments("version", arguments);
  if (code == ExitOk) code = EnsureInstance(session);
  if (code != ExitOk) return code;
  host::CallOutcome outcome = session.instance->Call("getVersion");
  code = CallResult(outcome, "getVersion");
  if (code != ExitOk) return code;
  if (outcome.resultType != NPVariantType_String) {
    WriteErr("nphost: getVersion answered with no string\n");
    return ExitCallFailed;
  }
  WriteOut(outcome.resultText + "\n");
  return ExitOk;
}

ExitCode RunLastError(Session& session, const Arguments& arguments) {
  ExitCode code = NoArguments("last-error", arguments);
  if (code == ExitOk) code = EnsureInstance(session);
  if (code != ExitOk) return code;
  host::CallOutcome outcome = session.instance->Call("getLastError");
  code = CallResult(outcome, "getLastError");
  if (code != ExitOk) return code;
  switch (outcome.resultType) {
    case NPVariantType_String: WriteOut(outcome.resultText + "\n"); return ExitOk;
    case NPVariantType_Null: WriteOut("null\n"); return ExitOk;
    default:
      WriteErr("nphost: getLastError answered with neither a string nor null\n");
      return ExitCallFailed;
  }
}
