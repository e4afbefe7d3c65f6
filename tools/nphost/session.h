// One run of nphost against one plug-in: the loaded module, the initialised plug-in and one instance,
// made on first use and shared by every command of the command line, as one element on one page.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"
#include "tools/nphost/exit_codes.h"
#include "tools/nphost/plugin_library.h"

struct Session {
  std::string pluginPath;
  std::string discoveredKey;  // with --discover: the registry key that named the module
  PluginLibrary library;  // declared first: unloaded last, after the instance and the plug-in are gone
  std::unique_ptr<host::Plugin> plugin;
  std::unique_ptr<host::Instance> instance;
};

// Loads the module (no code of it runs beyond DllMain). Reports on standard error when it cannot.
ExitCode EnsureLibrary(Session& session);
// Loads, initialises (NP_GetEntryPoints, NP_Initialize) and creates the instance (NPP_New).
ExitCode EnsureInstance(Session& session);
// Destroys the instance, shuts the plug-in down and checks the host's books: every NPN_MemAlloc block
// handed to the plug-in freed, every object deallocated, no block or object released twice.
ExitCode CloseSession(Session& session);

// Turns the outcome of a script call into the exit code, writing the plug-in's message (or the reason
// the call did not run) to standard error.
ExitCode CallResult(const host::CallOutcome& outcome, const char* method);
