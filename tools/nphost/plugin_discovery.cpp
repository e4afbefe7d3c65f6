#include "tools/nphost/plugin_discovery.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "tools/nphost/mime_list.h"
#include "tools/nphost/module_machine.h"
#include "tools/nphost/text_encoding.h"
#include "tools/nphost/version_info.h"

namespace {

const wchar_t kPluginsKey[] = L"Software\\MozillaPlugins";

struct Root {
  HKEY key;
  const char* name;
};

// The user's registrations come before the machine's, as in the browsers.
const Root kRoots[] = {
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
};

// An open registry key, closed when it goes.
struct OpenKey {
  HKEY key = nullptr;
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key != nullptr) RegCloseKey(key);
  }
};

// The names of the key's subkeys, in the registry's own order.
std::vector<std::wstring> SubkeyNames(HKEY parent) {
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];  // registry key names are at most 255 characters
    DWORD length = sizeof name / sizeof name[0];
    LONG status = RegEnumKeyExW(parent, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;  // cannot be a key name; skipped
    if (status != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

// The key's Path value (REG_SZ, or REG_EXPAND_SZ with its variables expanded); empty when absent.
std::wstring PathValue(HKEY key) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, L"Path", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
    return std::wstring();
  }
  std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  std::wstring path(text.data());  // up to the first NUL: a stored terminator is not part of it
  if (type == REG_EXPAND_SZ) {
    DWORD needed = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> expanded(needed);
    if (ExpandEnvironmentStringsW(path.c_str(), expanded.data(), needed) == 0) return std::wstring();
    path = expanded.data();
  }
  return path;
}

// The np*.dll files of the folder, in an order that does not depend on the file system.
std::vector<std::wstring> PluginFiles(const std::wstring& folder) {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\np*.dll").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(folder + L"\\" + entry.cFileName);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  std::sort(files.begin(), files.end(),
            [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
  return files;
}

bool Declares(const std::string& path, const std::string& mimeType) {
  std::vector<VersionField> fields;
  std::string ignored;
  return ReadVersionStrings(path, {"MIMEType"}, &fields, &ignored) && fields.size() == 1 && fields[0].present &&
         MimeListHas(fields[0].value, mimeType);
}

bool TakeFromFolder(const std::wstring& folder, const std::string& mimeType, std::string* taken) {
  for (const std::wstring& file : PluginFiles(folder)) {
    std::string path = Utf8FromWide(file.c_str());
    // A module of the other bitness cannot be loaded into this process; the browser passes it by.
    if (ModuleMachine(path) == HostMachine() && Declares(path, mimeType)) {
      *taken = path;
      return true;
    }
  }
  return false;
}

}  // namespace

bool DiscoverPlugin(const std::string& mimeType, DiscoveredPlugin* found) {
  for (const Root& root : kRoots) {
    OpenKey plugins;
    if (RegOpenKeyExW(root.key, kPluginsKey, 0, KEY_READ, &plugins.key) != ERROR_SUCCESS) continue;
    for (const std::wstring& name : SubkeyNames(plugins.key)) {
      OpenKey entry;
      if (RegOpenKeyExW(plugins.key, name.c_str(), 0, KEY_QUERY_VALUE, &entry.key) != ERROR_SUCCESS) continue;
      std::wstring path = PathValue(entry.key);
      size_t slash = path.find_last_of(L"\\/");
      if (slash == std::wstring::npos || slash == 0) continue;
      if (TakeFromFolder(path.substr(0, slash), mimeType, &found->path)) {
        found->key = std::string(root.name) + "\\" + Utf8FromWide(kPluginsKey) + "\\" + Utf8FromWide(name.c_str());
        return true;
      }
    }
  }
  return false;
}

std::string DiscoveryPlaces() {
  return std::string("Software\\MozillaPlugins of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, ") +
         (sizeof(void*) == 8 ? "64-bit" : "32-bit") + " registry view";
}
