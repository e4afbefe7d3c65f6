// Loading a plug-in DLL and finding its five exports, as a browser's plug-in loader does.
#pragma once

#include <windows.h>

#include <string>

#include "host/host.h"

// The plug-in file a host uses when none is named: the DLL of the host's own bitness in the folder of
// its exe, nptovi32.dll or nptovi64.dll.
std::string DefaultPluginPath();

// A loaded plug-in module; FreeLibrary when it goes.
struct PluginLibrary {
  HMODULE module = nullptr;
  host::PluginEntryPoints entryPoints{};

  PluginLibrary() = default;
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;
  ~PluginLibrary();
};

// Loads the file and looks up every export. On failure the reason is in *error and nothing stays loaded.
bool LoadPluginLibrary(const std::string& path, PluginLibrary* library, std::string* error);
