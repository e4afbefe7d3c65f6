// The decoders DecodeBase64 is measured against. Each decodes `length` characters of text into out
// (room for length / 4 * 3 bytes) and returns the number of bytes written, or -1 when it refuses
// the text.
#pragma once

#include <stddef.h>
#include <stdint.h>

// OpenSSL's EVP_DecodeBlock. Less strict than DecodeBase64: it skips leading whitespace and trailing
// whitespace, line ends and "-", and counts padding as decoded zero bytes.
int DecodeWithOpenSsl(const char* text, size_t length, uint8_t* out);

// The textbook loop: one character at a time, its value found by comparing ranges, bits gathered
// until a byte is complete. As strict as DecodeBase64 about the alphabet and the padding.
int DecodeCharByChar(const char* text, size_t length, uint8_t* out);
