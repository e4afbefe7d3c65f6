// The version resource of a module file, read through the Windows version API the way a browser's
// plug-in scanner reads it: without running any of the module's code, whatever its bitness.
#pragma once

#include <string>
#include <vector>

struct VersionField {
  std::string key;
  std::string value;
  bool present = false;
};

// Reads the given string keys from the file's first translation. On failure *error says why.
bool ReadVersionStrings(const std::string& path, const std::vector<std::string>& keys,
                        std::vector<VersionField>* fields, std::string* error);
