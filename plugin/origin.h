// Web origins, "scheme://host[:port]": the page's origin as the browser states it, and the patterns
// of the administrator's list of allowed origins.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A parsed origin. The texts point into the parsed string, which must outlive the record.
struct Origin {
  const char* scheme;
  size_t schemeLength;
  const char* host;  // for a pattern "scheme://*.example.com", "example.com"
  size_t hostLength;
  uint32_t port;      // as written, else the scheme's default (80 http, 443 https), else 0
  bool anySubdomain;  // a pattern whose host began with "*.": every host below it, not itself
};

// Parses NUL-terminated text that must be exactly an origin: a scheme (a letter, then letters,
// digits, '+', '-', '.'), "://", a host (letters, digits, '-', '_' and dots between labels, or an IPv6
// address in brackets) and an optional port from 1 to 65535; nothing else, no path, no blanks.
// Patterns may begin the host with "*."; a page's origin may not. False when the text is no origin.
bool ParseOrigin(const char* text, bool pattern, Origin* origin);

// True when the pattern admits the page: the same scheme and host (letter case aside), or a host
// below the pattern's for "*.", and the same port once default ports are filled in.
bool OriginAllows(const Origin& pattern, const Origin& page);
