// The decoders DecodeBase64 is measured against. Each decodes `length` characters of text into out
// (room for length / 4 * 3 bytes) and returns the number of bytes written, or -1 when it refuses
// the text.
#pragma once

#include <stddef.h>
#include <stdint.h>

// OpenSSL's EVP_DecodeBlock. Not strict, so a speed reference rather than a drop-in: it takes "="
// anywhere, skips leading whitespace and a trailing line end, and counts padding as decoded zero bytes.
int DecodeWithOpenSsl(const char* text, size_t length, uint8_t* out);

// The plain table-driven loop most projects write: a group of four characters at a time, each looked
// up in one 256-entry table, three bytes out. As strict as DecodeBase64 about the alphabet and padding.
int DecodeWithTable(const char* text, size_t length, uint8_t* out);
