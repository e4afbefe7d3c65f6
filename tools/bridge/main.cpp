// tovi-bridge: the native-messaging host through which a browser extension reaches the plug-in. The
// browser starts it and exchanges frames with it on standard input and output; it loads the plug-in
// of its own bitness (nptovi32.dll or nptovi64.dll) from its own folder and calls it as a page in an
// NPAPI browser would.
//
//   tovi-bridge.exe            serve frames until the input ends (exit 0), or until a frame cannot be
//                              answered (exit 1); the browser passes arguments of its own, ignored here
//   tovi-bridge.exe --status   whether the module loads, its version and whether a site policy is set
#include <stdio.h>

#include <new>

#include "product_version.h"
#include "tools/bridge/bridge.h"
#include "tools/nphost/console.h"
#include "tools/nphost/module_machine.h"
#include "tools/nphost/plugin_library.h"
#include "tools/nphost/text_encoding.h"

namespace {

const char kUsage[] =
    "usage: tovi-bridge.exe [--status]\n"
    "\n"
    "The native-messaging host " NPTOVI_PRODUCT_NAME " serves to browser extensions: the browser starts\n"
    "it and talks to it in frames on standard input and output. --status prints whether the plug-in\n"
    "beside it loads, its version, and whether an administrator's site policy is set (exit 0: loaded).\n";

size_t ReadStandardInput(void*, char* buffer, size_t size) { return fread(buffer, 1, size, stdin); }

bool WriteStandardOutput(void*, const std::string& frame) {
  return fwrite(frame.data(), 1, frame.size(), stdout) == frame.size() && fflush(stdout) == 0;
}

// Loads the module beside the exe, once, for as long as *library lives.
bridge::ModuleLoader LoaderOf(PluginLibrary* library) {
  return [library](host::PluginEntryPoints* entryPoints, std::string* error) {
    if (library->module == nullptr) {
      const std::string path = DefaultPluginPath();
      const uint16_t machine = ModuleMachine(path);
      if (machine == 0) {
        *error = "cannot read " + path;
        return false;
      }
      if (machine != HostMachine()) {
        *error = path + " is a " + MachineName(machine) + " module, the host " + MachineName(HostMachine());
        return false;
      }
      if (!LoadPluginLibrary(path, library, error)) return false;
    }
    *entryPoints = library->entryPoints;
    return true;
  };
}

int ShowStatus(bridge::Bridge& bridge) {
  const bridge::ModuleStatus status = bridge.Status(std::string());
  WriteField("module", status.loaded ? "loaded (" + DefaultPluginPath() + ")" : "missing (" + status.problem + ")");
  WriteField("version", status.version.empty() ? std::string("(unknown)") : status.version);
  WriteField("policy", status.policy ? "set" : "not set");
  WriteField("host", NPTOVI_VERSION_TEXT);
  return status.loaded ? 0 : 1;
}

int Serve(bridge::Bridge& bridge) {
  std::string problem;
  const int code = bridge::Serve(bridge, bridge::ByteSource{ReadStandardInput, nullptr},
                                 bridge::FrameSink{WriteStandardOutput, nullptr}, &problem);
  if (code != 0) WriteErr("tovi-bridge: " + problem + "\n");
  return code;
}

}  // namespace

int wmain() {
  UseBinaryStreams();
  std::vector<std::string> arguments;
  std::string error;
  if (!Utf8Arguments(&error, &arguments)) arguments.clear();  // the browser's arguments are not needed
  const std::string first = arguments.empty() ? std::string() : arguments[0];
  if (first == "--help" || first == "-h") {
    WriteOut(kUsage);
    return 0;
  }
  PluginLibrary library;  // outlives the bridge, which shuts the plug-in down before it is unloaded
  try {
    bridge::Bridge bridge(LoaderOf(&library));
    return first == "--status" ? ShowStatus(bridge) : Serve(bridge);
  } catch (const std::bad_alloc&) {
    WriteErr("tovi-bridge: out of memory\n");
    return 1;
  }
}
