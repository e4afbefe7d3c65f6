#include "tools/nphost/text_encoding.h"

#include <windows.h>
#include <shellapi.h>

std::string Utf8FromWide(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);  // the converted NUL
  return out;
}

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
  return out;
}

bool Utf8Arguments(std::string* error, std::vector<std::string>* arguments) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    *error = "cannot read the command line (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  arguments->clear();
  for (int i = 1; i < count; ++i) arguments->push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return true;
}
