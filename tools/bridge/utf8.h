// UTF-8 as the protocol needs it: requests are refused unless their text is well-formed, and replies
// carry U+FFFD in place of the bytes of text (a printer name, a module message) that are not.
#pragma once

#include <stddef.h>

#include <string>

namespace bridge {

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const char* text, size_t size);

// The text with each ill-formed sequence replaced by one U+FFFD: a bad lead byte alone, a sequence
// cut by a byte that cannot continue it (that byte is then read again), or one cut by the end.
std::string WithReplacements(const std::string& text);

}  // namespace bridge
