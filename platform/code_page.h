// Conversions between the UTF-8 text of web pages and the system's ANSI code page, the character set
// of the spooler's narrow-character functions. Both go through UTF-16 with the Windows conversion
// functions; where the ANSI code page is UTF-8 itself the bytes pass unchanged.
#pragma once

#include <stdint.h>

enum CodePageStatus {
  CodePageOk = 0,
  CodePageUnmappable = 1,  // not valid in the source encoding, or not representable in the target
  CodePageNoMemory = 2,
};

// On success *out is a NUL-terminated ModuleAlloc block that the caller frees, and *outLength (when
// given) its length without the NUL. On failure *out is null and nothing is left allocated. The text
// may hold NUL characters; they are converted like any other.
CodePageStatus Utf8ToAnsi(const char* text, uint32_t length, char** out, uint32_t* outLength);
CodePageStatus AnsiToUtf8(const char* text, uint32_t length, char** out, uint32_t* outLength);
