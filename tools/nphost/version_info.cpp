#include "tools/nphost/version_info.h"

#include <stdio.h>
#include <windows.h>

#include "tools/nphost/text_encoding.h"

namespace {

// The language and code page of the string block to read: the first Translation entry, or US English
// in the Windows Latin-1 code page when the resource lists none.
std::wstring StringBlockName(const void* block) {
  unsigned language = 0x0409, codePage = 0x04E4;
  void* translation = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block, L"\\VarFileInfo\\Translation", &translation, &length) && length >= 4) {
    const WORD* words = static_cast<const WORD*>(translation);
    language = words[0];
    codePage = words[1];
  }
  wchar_t name[16];
  swprintf(name, sizeof name / sizeof name[0], L"%04x%04x", language, codePage);
  return name;
}

}  // namespace

bool ReadVersionStrings(const std::string& path, const std::vector<std::string>& keys,
                        std::vector<VersionField>* fields, std::string* error) {
  std::wstring widePath = WideFromUtf8(path);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
  if (size == 0) {
    *error = "no version resource in " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(widePath.c_str(), 0, size, block.data())) {
    *error = "cannot read the version resource of " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  std::wstring prefix = L"\\StringFileInfo\\" + StringBlockName(block.data()) + L"\\";
  fields->clear();
  for (const std::string& key : keys) {
    VersionField field;
    field.key = key;
    void* value = nullptr;
    UINT length = 0;
    std::wstring query = prefix + WideFromUtf8(key);
    if (VerQueryValueW(block.data(), query.c_str(), &value, &length)) {
      field.present = true;
      // An empty value comes back with a length of 0 and may point at no terminated text.
      if (length > 0) field.value = Utf8FromWide(static_cast<const wchar_t*>(value));
    }
    fields->push_back(field);
  }
  return true;
}
