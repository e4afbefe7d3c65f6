// version and last-error: the two methods that take no argument and answer with a value.
#include "tools/nphost/commands.h"
#include "tools/nphost/console.h"

ExitCode StartWithoutArguments(Session& session, const Arguments& arguments, const char* command) {
  if (!arguments.empty()) return UsageError(std::string(command) + " takes no arguments");
  return EnsureInstance(session);
}

namespace {

// Calls a method that takes no argument on the session's instance; ExitOk when it answered.
ExitCode CallWithoutArguments(Session& session, const Arguments& arguments, const char* command,
                              const char* method, host::CallOutcome* outcome) {
  ExitCode code = StartWithoutArguments(session, arguments, command);
  if (code != ExitOk) return code;
  *outcome = session.instance->Call(method);
  return CallResult(*outcome, method);
}

}  // namespace

ExitCode RunVersion(Session& session, const Arguments& arguments) {
  host::CallOutcome outcome;
  ExitCode code = CallWithoutArguments(session, arguments, "version", "getVersion", &outcome);
  if (code != ExitOk) return code;
  if (outcome.resultType != NPVariantType_String) {
    WriteErr("nphost: getVersion answered with no string\n");
    return ExitCallFailed;
  }
  WriteOut(outcome.resultText + "\n");
  return ExitOk;
}

ExitCode RunLastError(Session& session, const Arguments& arguments) {
  host::CallOutcome outcome;
  ExitCode code = CallWithoutArguments(session, arguments, "last-error", "getLastError", &outcome);
  if (code != ExitOk) return code;
  switch (outcome.resultType) {
    case NPVariantType_String: WriteOut(outcome.resultText + "\n"); return ExitOk;
    case NPVariantType_Null: WriteOut("null\n"); return ExitOk;
    default:
      WriteErr("nphost: getLastError answered with neither a string nor null\n");
      return ExitCallFailed;
  }
}
