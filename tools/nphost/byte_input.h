// The document to print: a file's bytes, or standard input's when the name is "-".
#pragma once

#include <string>

bool ReadAllBytes(const std::string& path, std::string* bytes, std::string* error);
