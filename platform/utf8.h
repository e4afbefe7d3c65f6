// Reading UTF-8, for the stand-ins of the platform outside Windows (the Linux layer and the test
// doubles) that convert text the way Windows does.
#pragma once

// One code point of UTF-8 at s, of which left bytes remain: its length, with the code point in *out,
// or 0 when the sequence is malformed (overlong, a surrogate, beyond U+10FFFF, cut short).
inline int DecodeUtf8(const unsigned char* s, int left, char32_t* out) {
  const unsigned char c = s[0];
  const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (length == 0 || length > left) return 0;
  char32_t value = length == 1 ? c : c & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (s[i] & 0x3F);
  }
  static const char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *out = value;
  return length;
}
