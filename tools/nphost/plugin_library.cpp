#include "tools/nphost/plugin_library.h"

#include "product_version.h"
#include "tools/nphost/text_encoding.h"

namespace {

// GetProcAddress yields a generic function pointer; each export is converted to its declared type.
template <typename Function>
bool FindExport(HMODULE module, const char* name, Function* slot, std::string* error) {
  FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) {
    *error = std::string("the module does not export ") + name;
    return false;
  }
  *slot = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  return true;
}

}  // namespace

// A process loads only a DLL of its own bitness: nptovi32.dll for the 32-bit host, nptovi64.dll for
// the 64-bit one.
std::string DefaultPluginPath() {
  wchar_t exe[MAX_PATH * 2];
  DWORD length = GetModuleFileNameW(nullptr, exe, sizeof exe / sizeof exe[0]);
  std::string path = (length == 0 || length >= sizeof exe / sizeof exe[0]) ? std::string() : Utf8FromWide(exe);
  size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + NPTOVI_MODULE_NAME ".dll";
}

PluginLibrary::~PluginLibrary() {
  if (module != nullptr) FreeLibrary(module);
}

bool LoadPluginLibrary(const std::string& path, PluginLibrary* library, std::string* error) {
  HMODULE module = LoadLibraryW(WideFromUtf8(path).c_str());
  if (module == nullptr) {
    *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  host::PluginEntryPoints found{};
  if (!FindExport(module, "NP_GetEntryPoints", &found.getEntryPoints, error) ||
      !FindExport(module, "NP_Initialize", &found.initialize, error) ||
      !FindExport(module, "NP_Shutdown", &found.shutdown, error) ||
      !FindExport(module, "NP_GetMIMEDescription", &found.getMimeDescription, error) ||
      !FindExport(module, "NP_GetValue", &found.getValue, error)) {
    FreeLibrary(module);
    return false;
  }
  library->module = module;
  library->entryPoints = found;
  return true;
}
