#include "tools/nphost/session.h"

#include "tools/nphost/console.h"

ExitCode EnsureLibrary(Session& session) {
  if (session.library.module != nullptr) return ExitOk;
  std::string error;
  if (!LoadPluginLibrary(session.pluginPath, &session.library, &error)) {
    WriteErr("nphost: " + error + "\n");
    return ExitHostFailed;
  }
  return ExitOk;
}

ExitCode EnsureInstance(Session& session) {
  if (session.instance) return ExitOk;
  ExitCode loaded = EnsureLibrary(session);
  if (loaded != ExitOk) return loaded;
  if (!session.plugin) {
    session.plugin.reset(new host::Plugin(session.library.entryPoints));
    NPError initialized = session.plugin->Initialize();
    if (initialized != NPERR_NO_ERROR) {
      WriteErr("nphost: the plug-in refused to initialise (NPError " + std::to_string(initialized) + ")\n");
      session.plugin.reset();
      return ExitHostFailed;
    }
  }
  session.instance.reset(new host::Instance(*session.plugin));
  if (session.instance->created() != NPERR_NO_ERROR) {
    WriteErr("nphost: the plug-in refused to create an instance (NPError " +
             std::to_string(session.instance->created()) + ")\n");
    session.instance.reset();
    return ExitHostFailed;
  }
  return ExitOk;
}

ExitCode CloseSession(Session& session) {
  bool ran = session.plugin != nullptr;
  session.instance.reset();
  session.plugin.reset();
  if (!ran) return ExitOk;
  host::Counters counters = host::GetCounters();
  std::string problems;
  auto note = [&problems](size_t count, const char* what) {
    if (count != 0) problems += (problems.empty() ? "" : ", ") + std::to_string(count) + " " + what;
  };
  note(counters.memAllocBlocks, "NPN_MemAlloc block(s) not freed");
  note(counters.liveObjects, "object(s) not deallocated");
  note(counters.badReleases, "string release(s) of unknown blocks");
  note(counters.badObjectReleases, "object release(s) past zero");
  if (problems.empty()) return ExitOk;
  WriteErr("nphost: after the plug-in shut down: " + problems + "\n");
  return ExitHostFailed;
}

ExitCode CallResult(const host::CallOutcome& outcome, const char* method) {
  if (!outcome.hasMethod) {
    WriteErr(std::string("nphost: the plug-in offers no method ") + method + "\n");
    return ExitCallFailed;
  }
  if (outcome.threw) {
    WriteErr(outcome.exception + "\n");
    return ExitCallFailed;
  }
  if (!outcome.returned) {
    WriteErr(std::string("nphost: ") + method + " failed without a message\n");
    return ExitCallFailed;
  }
  return ExitOk;
}
