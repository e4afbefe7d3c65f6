// nphost: a command-line NPAPI browser host. It loads a plug-in DLL and calls it the way a page does;
// see kUsage in usage.cpp for the commands.
#include <string.h>

#include "tools/nphost/commands.h"
#include "tools/nphost/console.h"
#include "tools/nphost/plugin_discovery.h"
#include "tools/nphost/text_encoding.h"
#include "product_version.h"

namespace {

struct Invocation {
  std::string pluginPath;
  std::string origin;  // the page's origin the host states; empty: none
  bool discover = false;  // the module is found through the registry, as a browser finds it
  bool help = false;
  std::vector<Arguments> commands;  // each: the command name, then its arguments
};

ExitCode ParseInvocation(const Arguments& arguments, Invocation* invocation) {
  size_t i = 0;
  for (; i < arguments.size() && arguments[i].compare(0, 1, "-") == 0; ++i) {
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      invocation->help = true;
    } else if (arguments[i] == "--plugin") {
      if (i + 1 >= arguments.size()) return UsageError("--plugin needs a path");
      invocation->pluginPath = arguments[++i];
    } else if (arguments[i] == "--discover") {
      invocation->discover = true;
    } else if (arguments[i] == "--origin") {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) return UsageError("--origin needs a URL");
      invocation->origin = arguments[++i];
    } else {
      return UsageError("unknown option " + arguments[i]);
    }
  }
  if (invocation->help) return ExitOk;
  if (invocation->discover && !invocation->pluginPath.empty()) return UsageError("--discover and --plugin exclude each other");
  Arguments current;
  for (; i <= arguments.size(); ++i) {
    if (i == arguments.size() || arguments[i] == "+") {
      if (current.empty()) return UsageError(i == arguments.size() ? "no command" : "\"+\" without a command");
      if (FindCommand(current[0]) == nullptr) return UsageError("unknown command " + current[0]);
      invocation->commands.push_back(current);
      current.clear();
    } else {
      current.push_back(arguments[i]);
    }
  }
  return ExitOk;
}

}  // namespace

int wmain() {
  UseBinaryStreams();
  Arguments arguments;
  std::string error;
  if (!Utf8Arguments(&error, &arguments)) {
    WriteErr("nphost: " + error + "\n");
    return ExitHostFailed;
  }
  Invocation invocation;
  ExitCode code = ParseInvocation(arguments, &invocation);
  if (code != ExitOk) return code;
  if (invocation.help) {
    WriteOut(kUsage);
    return ExitOk;
  }

  // Stated for NPNVdocumentOrigin to every instance, as a browser does for a page of that origin.
  if (!invocation.origin.empty()) host::SetDocumentOrigin(invocation.origin.c_str());
  Session session;
  if (invocation.discover) {
    DiscoveredPlugin found;
    if (!DiscoverPlugin(NPTOVI_MIME_TYPE, &found)) {
      WriteErr("nphost: no plug-in for " NPTOVI_MIME_TYPE " is registered (looked in " + DiscoveryPlaces() + ")\n");
      return ExitHostFailed;
    }
    session.pluginPath = found.path;
    session.discoveredKey = found.key;
  } else {
    session.pluginPath = invocation.pluginPath.empty() ? DefaultPluginPath() : invocation.pluginPath;
  }
  // Every command runs, so that a failure can be followed by "+ last-error"; the first failure's code
  // is the result. A usage or host failure ends the run at once.
  ExitCode result = ExitOk;
  for (const Arguments& command : invocation.commands) {
    Arguments rest(command.begin() + 1, command.end());
    code = FindCommand(command[0])->run(session, rest);
    if (result == ExitOk) result = code;
    if (code == ExitUsage || code == ExitHostFailed) break;
  }
  ExitCode closed = CloseSession(session);
  return result != ExitOk ? result : closed;
}
