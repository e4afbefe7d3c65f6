#include "plugin/origin.h"

#include <string.h>

#include "plugin/ascii_host.h"

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsSchemeCharacter(char c) { return IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII letter case only: origins are compared in ASCII (international names in their xn-- form).
bool SameText(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

uint32_t DefaultPort(const char* scheme, size_t length) {
  if (length == 4 && SameText(scheme, "http", 4)) return 80;
  if (length == 5 && SameText(scheme, "https", 5)) return 443;
  return 0;
}

// The length of a host name at text: labels of letters, digits, '-' and '_', joined by single dots.
// 0 when there is none or a label is empty.
size_t HostNameLength(const char* text) {
  size_t length = 0;
  bool labelStart = true;
  for (;; ++length) {
    const char c = text[length];
    if (c == '.') {
      if (labelStart) return 0;
      labelStart = true;
    } else if (IsAlpha(c) || IsDigit(c) || c == '-' || c == '_') {
      labelStart = false;
    } else {
      break;
    }
  }
  return labelStart ? 0 : length;
}

// The length of a bracketed IPv6 address at text, brackets included; 0 when there is none.
size_t Ipv6Length(const char* text) {
  if (text[0] != '[') return 0;
  size_t length = 1;
  while (IsHex(text[length]) || text[length] == ':' || text[length] == '.') ++length;
  return length > 1 && text[length] == ']' ? length + 1 : 0;
}

}  // namespace

bool ParseOrigin(const char* text, bool pattern, Origin* origin) {
  if (!text || !IsAlpha(text[0])) return false;
  size_t at = 1;
  while (IsSchemeCharacter(text[at])) ++at;
  origin->scheme = text;
  origin->schemeLength = at;
  if (strncmp(text + at, "://", 3) != 0) return false;
  at += 3;

  origin->anySubdomain = pattern && text[at] == '*' && text[at + 1] == '.';
  if (origin->anySubdomain) at += 2;
  size_t hostLength = HostNameLength(text + at);
  if (hostLength == 0 && !origin->anySubdomain) hostLength = Ipv6Length(text + at);
  if (hostLength == 0) return false;
  origin->host = text + at;
  origin->hostLength = hostLength;
  at += hostLength;

  origin->port = DefaultPort(origin->scheme, origin->schemeLength);
  if (text[at] == ':') {
    ++at;
    uint32_t port = 0;
    size_t digits = 0;
    for (; IsDigit(text[at]) && digits < 6; ++at, ++digits) {
      port = port * 10 + static_cast<uint32_t>(text[at] - '0');
    }
    if (digits == 0 || digits > 5 || port == 0 || port > 65535) return false;
    origin->port = port;
  }
  return text[at] == '\0';
}

bool ParsePageOrigin(const char* text, AsciiOrigin* ascii, Origin* origin) {
  if (!text) return false;
  const char* separator = strstr(text, "://");
  if (!separator) return false;
  const char* host = separator + 3;
  size_t hostLength = 0;
  bool international = false;
  for (; host[hostLength] != '\0' && host[hostLength] != ':'; ++hostLength) {
    if (static_cast<unsigned char>(host[hostLength]) >= 0x80) international = true;
  }
  if (!international) return ParseOrigin(text, false, origin);

  const size_t prefixLength = static_cast<size_t>(host - text);  // the scheme and "://"
  const char* rest = host + hostLength;                            // the port, if any
  const size_t restLength = strlen(rest);
  char* out = ascii->text;
  const size_t room = sizeof(ascii->text);
  if (prefixLength >= room) return false;
  memcpy(out, text, prefixLength);
  const size_t converted = HostToAscii(host, hostLength, out + prefixLength, room - prefixLength);
  if (converted == 0 || prefixLength + converted + restLength >= room) return false;
  memcpy(out + prefixLength + converted, rest, restLength + 1);
  return ParseOrigin(out, false, origin);
}

bool OriginAllows(const Origin& pattern, const Origin& page) {
  if (pattern.schemeLength != page.schemeLength ||
      !SameText(pattern.scheme, page.scheme, page.schemeLength) || pattern.port != page.port) {
    return false;
  }
  if (!pattern.anySubdomain) {
    return pattern.hostLength == page.hostLength && SameText(pattern.host, page.host, page.hostLength);
  }
  // At least one label, then a dot, then the pattern's host.
  if (page.hostLength < pattern.hostLength + 2) return false;
  const char* suffix = page.host + page.hostLength - pattern.hostLength;
  return suffix[-1] == '.' && SameText(pattern.host, suffix, pattern.hostLength);
}
