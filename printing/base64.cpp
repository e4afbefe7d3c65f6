#include "printing/base64.h"

namespace {

constexpr uint8_t kInvalid = 64;
constexpr uint32_t kGroupChars = 4;
constexpr uint32_t kGroupBytes = 3;

}  // namespace

// clang-format off
const uint8_t Base64Table[256] = {
    // 0x00 - 0x2F: only "+" (0x2B) and "/" (0x2F)
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 62, 64, 64, 64, 63,
    // 0x30 - 0x3F: "0" to "9", and "=" (0x3D) as 0
    52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 64, 64, 64,  0, 64, 64,
    // 0x40 - 0x5F: "A" to "Z"
    64,  0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 64, 64, 64, 64, 64,
    // 0x60 - 0x7F: "a" to "z"
    64, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
    41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 64, 64, 64, 64, 64,
    // 0x80 - 0xFF: never part of the alphabet
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64,
};
// clang-format on

Base64Status DecodeBase64(const char* text, uint32_t textLength, uint8_t* out, uint32_t* length) {
  if (!text || !length) return Base64InvalidParameter;
  if (textLength < kGroupChars || textLength % kGroupChars != 0) return Base64InvalidLength;

  const uint32_t required = textLength / kGroupChars * kGroupBytes;
  if (required > *length) {
    *length = required;
    return Base64BufferTooSmall;
  }
  // A capacity stated for a buffer that is not there would be written through a null pointer.
  if (!out) return Base64InvalidParameter;

  *length = 0;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(text);
  for (uint32_t at = 0; at < textLength; at += kGroupChars, out += kGroupBytes) {
    const uint8_t s0 = Base64Table[in[at]];
    const uint8_t s1 = Base64Table[in[at + 1]];
    const uint8_t s2 = Base64Table[in[at + 2]];
    const uint8_t s3 = Base64Table[in[at + 3]];
    if ((s0 | s1 | s2 | s3) & kInvalid) return Base64DecodeError;
    if (in[at] == '=' || in[at + 1] == '=') return Base64DecodeError;

    uint32_t yield = kGroupBytes;
    if (in[at + 2] == '=') {
      if (in[at + 3] != '=') return Base64DecodeError;
      yield = 1;
    } else if (in[at + 3] == '=') {
      yield = 2;
    }
    // Padding ends the text; groups after it would leave a gap in the decoded bytes.
    if (yield != kGroupBytes && at + kGroupChars != textLength) return Base64DecodeError;

    out[0] = static_cast<uint8_t>(s0 << 2 | s1 >> 4);
    out[1] = static_cast<uint8_t>(s1 << 4 | s2 >> 2);
    out[2] = static_cast<uint8_t>(s2 << 6 | s3);
    *length += yield;
  }
  return Base64Ok;
}
