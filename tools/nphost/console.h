// Standard streams in binary mode: printer names and printed documents pass as bytes (UTF-8 text,
// raw data), never through the C runtime's text translation or the console code page.
#pragma once

#include <stddef.h>

#include <string>

void UseBinaryStreams();
void WriteOut(const std::string& text);
void WriteErr(const std::string& text);
// One "key: value" line on standard output.
void WriteField(const char* key, const std::string& value);
