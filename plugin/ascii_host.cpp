#include "plugin/ascii_host.h"

#include <stdint.h>
#include <string.h>

namespace {

const size_t kMaxLabelLength = 63;
const char kAcePrefix[] = "xn--";
const size_t kAcePrefixLength = 4;

// RFC 3492's parameters for Punycode.
const uint32_t kBase = 36;
const uint32_t kTMin = 1;
const uint32_t kTMax = 26;
const uint32_t kSkew = 38;
const uint32_t kDamp = 700;
const uint32_t kInitialBias = 72;
const uint32_t kInitialN = 0x80;

// Decodes one UTF-8 sequence at s (left bytes remain); returns its length, 0 when it is malformed.
size_t DecodeUtf8(const unsigned char* s, size_t left, uint32_t* point) {
  const unsigned char c = s[0];
  const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (length == 0 || length > left) return 0;
  uint32_t value = length == 1 ? c : c & (0x7Fu >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (s[i] & 0x3Fu);
  }
  static const uint32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kMinimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *point = value;
  return length;
}

char Digit(uint32_t digit) { return static_cast<char>(digit < 26 ? 'a' + digit : '0' + (digit - 26)); }

uint32_t Adapt(uint32_t delta, uint32_t points, bool first) {
  delta = first ? delta / kDamp : delta / 2;
  delta += delta / points;
  uint32_t k = 0;
  while (delta > ((kBase - kTMin) * kTMax) / 2) {
    delta /= kBase - kTMin;
    k += kBase;
  }
  return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

// Appends one character to the label being written; false when the label would grow too long.
bool Put(char* label, size_t* length, char c) {
  if (*length >= kMaxLabelLength) return false;
  label[(*length)++] = c;
  return true;
}

// Writes "xn--" and the Punycode of the label's code points to label (kMaxLabelLength bytes) and
// returns its length, 0 when it would be longer. Every code point is at most 0x10FFFF and a label has
// at most 63, so delta stays far below 2^32.
size_t EncodeLabel(const uint32_t* points, size_t count, char* label) {
  size_t length = kAcePrefixLength;
  memcpy(label, kAcePrefix, kAcePrefixLength);
  size_t basic = 0;
  for (size_t i = 0; i < count; ++i) {
    if (points[i] < 0x80) {
      const char c = static_cast<char>(points[i]);
      if (!Put(label, &length, c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c)) return 0;
      ++basic;
    }
  }
  if (basic > 0 && !Put(label, &length, '-')) return 0;
  uint32_t n = kInitialN;
  uint32_t delta = 0;
  uint32_t bias = kInitialBias;
  for (size_t handled = basic; handled < count;) {
    uint32_t next = UINT32_MAX;
    for (size_t i = 0; i < count; ++i) {
      if (points[i] >= n && points[i] < next) next = points[i];
    }
    delta += (next - n) * static_cast<uint32_t>(handled + 1);
    n = next;
    for (size_t i = 0; i < count; ++i) {
      if (points[i] < n) ++delta;
      if (points[i] != n) continue;
      uint32_t q = delta;
      for (uint32_t k = kBase;; k += kBase) {
        const uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
        if (q < t) break;
        if (!Put(label, &length, Digit(t + (q - t) % (kBase - t)))) return 0;
        q = (q - t) / (kBase - t);
      }
      if (!Put(label, &length, Digit(q))) return 0;
      bias = Adapt(delta, static_cast<uint32_t>(handled + 1), handled == basic);
      delta = 0;
      ++handled;
    }
    ++delta;
    ++n;
  }
  return length;
}

}  // namespace

size_t HostToAscii(const char* host, size_t length, char* out, size_t capacity) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(host);
  size_t written = 0;
  for (size_t start = 0; start <= length;) {
    size_t end = start;
    while (end < length && host[end] != '.') ++end;
    if (end == start) return 0;

    // The label's code points; more than 63 would make more than 63 characters in any form.
    uint32_t points[kMaxLabelLength];
    size_t count = 0;
    bool ascii = true;
    for (size_t at = start; at < end;) {
      uint32_t point = 0;
      const size_t used = DecodeUtf8(bytes + at, end - at, &point);
      if (used == 0 || count == kMaxLabelLength) return 0;
      points[count++] = point;
      ascii = ascii && point < 0x80;
      at += used;
    }
    char label[kMaxLabelLength];
    size_t labelLength = end - start;
    if (ascii) {
      memcpy(label, host + start, labelLength);  // at most 63: one byte a code point
    } else {
      labelLength = EncodeLabel(points, count, label);
      if (labelLength == 0) return 0;
    }

    const size_t dot = start > 0 ? 1 : 0;
    if (written + dot + labelLength > capacity || written + dot + labelLength > kMaxAsciiHostLength) return 0;
    if (dot) out[written++] = '.';
    memcpy(out + written, label, labelLength);
    written += labelLength;
    start = end + 1;
  }
  return written;
}
