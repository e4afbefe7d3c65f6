// Finding the plug-in the way a Mozilla-family browser of this process's bitness does: the keys under
// Software\MozillaPlugins, first of HKEY_CURRENT_USER, then of HKEY_LOCAL_MACHINE, in this process's
// own registry view; each key's Path names a file, whose folder is scanned for np*.dll; a module is
// taken when it is built for this process's machine and its version resource's MIMEType lists the type.
#pragma once

#include <string>

struct DiscoveredPlugin {
  std::string key;   // the registry key that led to it, e.g. HKEY_CURRENT_USER\Software\MozillaPlugins\...
  std::string path;  // the module file taken
};

// The first module taken, or false when none is.
bool DiscoverPlugin(const std::string& mimeType, DiscoveredPlugin* found);
// Where DiscoverPlugin looks, for messages: the registry view and the key.
std::string DiscoveryPlaces();
