// info: what a browser learns about a plug-in before it uses it. The version resource is read through
// the version API, so this works for a module of either bitness; a module of nphost's own bitness is
// also loaded and asked through NP_GetMIMEDescription and NP_GetValue, as a browser asks it.
#include "tools/nphost/commands.h"
#include "tools/nphost/console.h"
#include "tools/nphost/module_machine.h"
#include "tools/nphost/version_info.h"

namespace {

const char* const kScannedKeys[] = {
    "MIMEType", "FileExtents", "FileOpenName", "FileDescription", "ProductName", "FileVersion", "ProductVersion",
};

struct NamedVariable {
  const char* key;
  NPPVariable variable;
};

const NamedVariable kPluginVariables[] = {
    {"NP_GetValue(NPPVpluginNameString)", NPPVpluginNameString},
    {"NP_GetValue(NPPVpluginDescriptionString)", NPPVpluginDescriptionString},
};

std::string TextOrNull(const char* text) { return text == nullptr ? std::string("(null)") : std::string(text); }

ExitCode ShowEntryPointAnswers(Session& session) {
  ExitCode code = EnsureLibrary(session);
  if (code != ExitOk) return code;
  const host::PluginEntryPoints& entry = session.library.entryPoints;
  WriteField("loaded", "yes");
  WriteField("NP_GetMIMEDescription", TextOrNull(entry.getMimeDescription()));
  for (const NamedVariable& named : kPluginVariables) {
    const char* text = nullptr;
    NPError error = entry.getValue(nullptr, named.variable, &text);
    WriteField(named.key, error == NPERR_NO_ERROR ? TextOrNull(text) : "NPError " + std::to_string(error));
  }
  return ExitOk;
}

}  // namespace

ExitCode RunInfo(Session& session, const Arguments& arguments) {
  if (!arguments.empty()) return UsageError("info takes no arguments; name the module with --plugin PATH");
  uint16_t machine = ModuleMachine(session.pluginPath);
  if (!session.discoveredKey.empty()) WriteField("registry key", session.discoveredKey);
  WriteField("file", session.pluginPath);
  WriteField("machine", MachineName(machine));

  std::vector<std::string> keys(std::begin(kScannedKeys), std::end(kScannedKeys));
  std::vector<VersionField> fields;
  std::string error;
  if (!ReadVersionStrings(session.pluginPath, keys, &fields, &error)) {
    WriteErr("nphost: " + error + "\n");
    return ExitHostFailed;
  }
  for (const VersionField& field : fields) {
    WriteField(field.key.c_str(), field.present ? field.value : std::string("(missing)"));
  }
  if (machine != HostMachine()) {
    WriteField("loaded", "no (" + MachineName(machine) + " module, " + MachineName(HostMachine()) + " host)");
    return ExitOk;
  }
  return ShowEntryPointAnswers(session);
}
