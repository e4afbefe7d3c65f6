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

// Room for a page's origin rewritten with its host in ASCII form: a scheme, "://", the longest host
// DNS allows and a port.
struct AsciiOrigin {
  char text[320];
};

// Parses a page's origin as a browser states it. Browsers of the Mozilla family write an international
// host as they display it, in UTF-8: such an origin is rewritten into *ascii with its host in ASCII
// form (plugin/ascii_host.h), and the record then points into *ascii, which must outlive it. A host
// that does not convert makes no origin. An origin stated in ASCII is parsed as it stands.
bool ParsePageOrigin(const char* text, AsciiOrigin* ascii, Origin* origin);

// True when the pattern admits the page: the same scheme and host (letter case aside), or a host
// below the pattern's for "*.", and the same port once default ports are filled in.
bool OriginAllows(const Origin& pattern, const Origin& page);
