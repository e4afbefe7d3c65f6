// UTF-8 <-> UTF-16 for the host's own text: the wide command line, paths and version-resource values.
#pragma once

#include <string>
#include <vector>

std::string Utf8FromWide(const wchar_t* text);
std::wstring WideFromUtf8(const std::string& text);

// The program's arguments from the wide command line, as UTF-8 (argv[0] excluded). The narrow argv
// that the C runtime builds is in the ANSI code page and loses characters such as the "ü" of "Büro".
bool Utf8Arguments(std::string* error, std::vector<std::string>* arguments);
