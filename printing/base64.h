// Strict Base64 decoding of the document a page hands to print: the standard alphabet with "="
// padding, whole groups of four characters, nothing else anywhere (no whitespace, no line breaks).
#pragma once

#include <stdint.h>

enum Base64Status {
  Base64Ok = 0,
  Base64InvalidParameter = 1,  // the text pointer or the length slot is null
  Base64InvalidLength = 2,     // shorter than 4 bytes, or not a multiple of 4
  Base64DecodeError = 3,       // an invalid character or misplaced padding
  Base64BufferTooSmall = 4,    // the capacity is below the size the length promises
};

// The 6-bit value of each byte, or 64 for a byte outside the alphabet. "=" maps to 0 so that padding
// passes the character test and adds zero bits; where it may stand is checked separately.
extern const uint8_t Base64Table[256];

// Decodes textLength bytes of text into out. *length holds out's capacity on entry; on return it
// holds the decoded size (Base64Ok), the capacity needed (Base64BufferTooSmall), or is unchanged
// (Base64InvalidParameter, Base64InvalidLength). The capacity is checked before anything is written.
// Padding may only end the text: a padded group followed by further groups is a decode error. On a
// decode error only the groups before the failing one have been written, and *length counts their
// bytes.
Base64Status DecodeBase64(const char* text, uint32_t textLength, uint8_t* out, uint32_t* length);
