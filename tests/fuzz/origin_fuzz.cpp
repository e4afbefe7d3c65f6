// libFuzzer target: the page's origin and the administrator's list of allowed origins.
//
// The input is the page's origin as a browser states it, then the policy's lines, each ended by a
// newline (a NUL byte ends a line too, as in the registry's own list). Each line is parsed and matched
// against the page directly, and the whole list goes through the site policy as the registry double
// holds it (in UTF-16). Whatever the bytes, "allowed" must mean: the same scheme, the same port once
// defaults are filled in, and the same ASCII host, or for a "*." line a host below it by at least one
// label. The page's ASCII host is checked on its own: labels of ASCII alone are kept as they are, and
// every other label is "xn--" and a Punycode that this file's own decoder (RFC 3492) turns back into
// that label's characters. The policy allows nothing through a line that is not printable ASCII, and
// decides alike for the page stated in UTF-8 and in its ASCII form.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "plugin/origin.h"
#include "plugin/site_policy.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/registry_double.h"

namespace {

[[noreturn]] void Violation(const char* what, const std::string& page, const std::string& line = std::string()) {
  fprintf(stderr, "origin_fuzz: %s: page '%s' line '%s'\n", what, page.c_str(), line.c_str());
  abort();
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string text) {
  for (char& c : text) c = Lower(c);
  return text;
}

// An origin's parts, split from its text (one the module parsed) without the module's parser.
struct Parts {
  std::string scheme;  // lower case
  size_t hostStart = 0;
  std::string host;    // as written, "*." kept
  uint32_t port = 0;
};

Parts Split(const std::string& text) {
  Parts parts;
  const size_t separator = text.find("://");
  parts.scheme = Lowered(text.substr(0, separator));
  parts.hostStart = separator + 3;
  const size_t hostEnd = text[parts.hostStart] == '[' ? text.find(']', parts.hostStart) + 1 : parts.hostStart;
  const size_t colon = text.find(':', hostEnd);
  parts.host = text.substr(parts.hostStart, colon == std::string::npos ? std::string::npos : colon - parts.hostStart);
  if (colon != std::string::npos) {
    parts.port = static_cast<uint32_t>(strtoul(text.c_str() + colon + 1, nullptr, 10));
  } else if (parts.scheme == "http") {
    parts.port = 80;
  } else if (parts.scheme == "https") {
    parts.port = 443;
  }
  return parts;
}

std::vector<std::string> Labels(const std::string& host) {
  std::vector<std::string> labels;
  size_t start = 0;
  for (size_t dot; (dot = host.find('.', start)) != std::string::npos; start = dot + 1) {
    labels.push_back(host.substr(start, dot - start));
  }
  labels.push_back(host.substr(start));
  return labels;
}

// UTF-8 to code points; the module accepted the text, so it is well-formed.
std::u32string CodePoints(const std::string& text) {
  std::u32string points;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? c : c & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < text.size(); ++k) point = point << 6 | (text[i + k] & 0x3F);
    points.push_back(point);
    i += length;
  }
  return points;
}

// RFC 3492's decoder; false for a text that is no Punycode.
bool DecodePunycode(const std::string& text, std::u32string* out) {
  const uint64_t base = 36, tmin = 1, tmax = 26, skew = 38, damp = 700;
  const size_t delimiter = text.rfind('-');
  size_t at = 0;
  out->clear();
  if (delimiter != std::string::npos) {
    for (; at < delimiter; ++at) out->push_back(static_cast<unsigned char>(text[at]));
    ++at;
  }
  uint64_t n = 0x80, i = 0, bias = 72;
  while (at < text.size()) {
    const uint64_t old = i;
    uint64_t w = 1;
    for (uint64_t k = base;; k += base) {
      if (at >= text.size()) return false;
      const char c = Lower(text[at++]);
      const uint64_t digit = c >= 'a' && c <= 'z' ? c - 'a' : c >= '0' && c <= '9' ? c - '0' + 26 : base;
      if (digit >= base) return false;
      i += digit * w;
      const uint64_t t = k <= bias ? tmin : k >= bias + tmax ? tmax : k - bias;
      if (digit < t) break;
      w *= base - t;
      if (i > 0x7FFFFFFF || w > 0x7FFFFFFF) return false;
    }
    uint64_t delta = old == 0 ? (i - old) / damp : (i - old) / 2;
    delta += delta / (out->size() + 1);
    uint64_t k = 0;
    for (; delta > ((base - tmin) * tmax) / 2; k += base) delta /= base - tmin;
    bias = k + (base - tmin + 1) * delta / (delta + skew);
    n += i / (out->size() + 1);
    i %= out->size() + 1;
    if (n > 0x10FFFF) return false;
    out->insert(out->begin() + static_cast<ptrdiff_t>(i), static_cast<char32_t>(n));
    ++i;
  }
  return true;
}

// The page's ASCII host, checked label by label against the host as the browser stated it.
void CheckAsciiHost(const std::string& page, const std::string& stated, const std::string& ascii) {
  for (char c : ascii) {
    if (static_cast<unsigned char>(c) >= 0x80) Violation("a host beyond ASCII", page);
  }
  const std::vector<std::string> statedLabels = Labels(stated);
  const std::vector<std::string> asciiLabels = Labels(ascii);
  if (statedLabels.size() != asciiLabels.size()) Violation("labels gained or lost", page);
  for (size_t i = 0; i < statedLabels.size(); ++i) {
    const std::u32string points = CodePoints(statedLabels[i]);
    bool onlyAscii = true;
    for (char32_t p : points) onlyAscii = onlyAscii && p < 0x80;
    if (onlyAscii) {
      if (statedLabels[i] != asciiLabels[i]) Violation("an ASCII label changed", page);
      continue;
    }
    std::u32string decoded;
    if (Lowered(asciiLabels[i].substr(0, 4)) != "xn--" || !DecodePunycode(asciiLabels[i].substr(4), &decoded)) {
      Violation("a converted label is no Punycode", page);
    }
    std::u32string expected = points;
    for (char32_t& p : expected) p = p >= 'A' && p <= 'Z' ? p - 'A' + 'a' : p;
    if (decoded != expected) Violation("a converted label names another host", page);
  }
}

// What "allowed" may mean for the line and the page (whose host is its ASCII form).
bool MayAllow(const std::string& line, const Parts& page) {
  const Parts pattern = Split(line);
  if (pattern.scheme != page.scheme || pattern.port != page.port) return false;
  const std::string host = Lowered(page.host);
  if (pattern.host.compare(0, 2, "*.") != 0) return Lowered(pattern.host) == host;
  const std::string suffix = Lowered(pattern.host.substr(1));  // ".example.com"
  return host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool PrintableAscii(const std::string& line) {
  for (char c : line) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

bool PolicyAllows(const std::vector<std::string>& lines, const char* page) {
  doubles::Reset();
  doubles::SetPolicyValue("AllowedOrigins", REG_MULTI_SZ, doubles::MultiString(lines));
  SiteAccess access{};
  if (!DecideSiteAccess(page, &access)) Violation("the policy could not be read", page);
  return access.siteAllowed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t end = input.find_first_of(std::string("\n\0", 2));
  const std::string page = input.substr(0, end);
  std::vector<std::string> lines;
  for (size_t start = end == std::string::npos ? input.size() : end + 1; start < input.size();) {
    const size_t next = input.find_first_of(std::string("\n\0", 2), start);
    lines.push_back(input.substr(start, next == std::string::npos ? std::string::npos : next - start));
    start = next == std::string::npos ? input.size() : next + 1;
  }

  AsciiOrigin ascii;
  Origin parsed;
  const bool pageKnown = ParsePageOrigin(page.c_str(), &ascii, &parsed);
  Parts pageParts;
  std::string asciiText;
  if (pageKnown) {
    pageParts = Split(page);
    const std::string asciiHost(parsed.host, parsed.hostLength);
    CheckAsciiHost(page, pageParts.host, asciiHost);
    const size_t hostEnd = pageParts.hostStart + pageParts.host.size();
    asciiText = page.substr(0, pageParts.hostStart) + asciiHost + page.substr(hostEnd);
    pageParts.host = asciiHost;
  }

  // Each line on its own.
  for (const std::string& line : lines) {
    Origin pattern;
    if (!pageKnown || !ParseOrigin(line.c_str(), true, &pattern) || !OriginAllows(pattern, parsed)) continue;
    if (!MayAllow(line, pageParts)) Violation("allowed by a line that names another origin", page, line);
  }

  // The list as the policy: up to the first empty line, every line printable ASCII and one that may allow.
  std::vector<std::string> listed;
  for (const std::string& line : lines) {
    if (line.empty()) break;
    listed.push_back(line);
  }
  const bool allowed = PolicyAllows(listed, page.c_str());
  if (allowed) {
    if (!pageKnown) Violation("a page that is no origin allowed", page);
    bool any = false;
    for (const std::string& line : listed) {
      if (!PrintableAscii(line)) Violation("allowed by a list with a line beyond printable ASCII", page, line);
      any = any || MayAllow(line, pageParts);
    }
    if (!any) Violation("allowed by no line", page);
  }
  if (pageKnown && PolicyAllows(listed, asciiText.c_str()) != allowed) {
    Violation("the page's ASCII form decides otherwise", page, asciiText);
  }
  if (doubles::LiveBlocks() != 0) Violation("module heap blocks outstanding", page);
  return 0;
}
