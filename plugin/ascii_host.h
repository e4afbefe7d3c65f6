// The ASCII form of a host name written in UTF-8, as DNS and the administrator's policy write it: each
// label holding a character beyond ASCII becomes "xn--" followed by its Punycode (RFC 3492). The name
// is taken as the browser displays it, already in its normal form (UTS 46 mapping and NFC are the
// browser's work); it is not mapped again, so a name in any other form converts to one that no policy
// line for the real site matches.
#pragma once

#include <stddef.h>

// The longest host name DNS allows, in ASCII.
const size_t kMaxAsciiHostLength = 253;

// Writes the ASCII form of the host's `length` bytes to out (room for `capacity` bytes, no NUL written)
// and returns its length; ASCII letters in a converted label are written in lower case. Returns 0 when
// the host does not convert: malformed UTF-8 (overlong, a surrogate, beyond U+10FFFF, cut short), an
// empty label, a label longer than 63 characters once converted, or a name longer than
// kMaxAsciiHostLength or than capacity. Labels of ASCII alone are copied unchanged; whether their
// characters may stand in a host is left to the origin parser.
size_t HostToAscii(const char* host, size_t length, char* out, size_t capacity);
