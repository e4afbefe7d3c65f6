// A deliberately plain Base64 decoder that the fuzz targets hold the module's decoder against. It
// follows the decoder's contract without sharing its method: characters are looked up by searching
// the alphabet, padding is counted from the end of the text, and the bytes come out of a bit
// accumulator rather than from groups of four.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

namespace reference {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The character's 6-bit value, or -1 for a byte outside the alphabet ("=" included).
inline int SixBits(uint8_t c) {
  for (int value = 0; value < 64; ++value) {
    if (static_cast<uint8_t>(kAlphabet[value]) == c) return value;
  }
  return -1;
}

struct Decoded {
  int status;           // 0 decoded, 1 no text or slot (or no buffer), 2 bad length, 3 bad text, 4 too small
  uint32_t slot;        // the length slot afterwards (status 0: the byte count; 4: the size required)
  std::string bytes;    // status 0: the document
};

// What the decoder answers for text (null: no text), length, and a length slot that holds capacity
// (no slot when hasSlot is false) in front of a buffer that is there or not (hasBuffer).
inline Decoded Decode(const uint8_t* text, uint32_t length, bool hasSlot, uint32_t capacity, bool hasBuffer) {
  Decoded result{0, capacity, std::string()};
  if (!text || !hasSlot) return result.status = 1, result;
  if (length < 4 || length % 4 != 0) return result.status = 2, result;
  const uint32_t required = length / 4 * 3;
  if (required > capacity) {
    result.slot = required;
    return result.status = 4, result;
  }
  if (!hasBuffer) return result.status = 1, result;

  // "=" may only close the text, once or twice.
  uint32_t padding = 0;
  while (padding < length && text[length - 1 - padding] == '=') ++padding;
  if (padding > 2) return result.status = 3, result;

  uint32_t bits = 0;
  int held = 0;
  for (uint32_t i = 0; i < length - padding; ++i) {
    const int value = SixBits(text[i]);
    if (value < 0) return result.status = 3, result;
    bits = (bits << 6 | static_cast<uint32_t>(value)) & 0xFFFFFF;
    held += 6;
    if (held >= 8) {
      held -= 8;
      result.bytes += static_cast<char>((bits >> held) & 0xFF);
    }
  }
  // Bits that padding leaves over are dropped, whatever they hold.
  result.slot = static_cast<uint32_t>(result.bytes.size());
  return result;
}

inline Decoded Decode(const std::string& text) {
  return Decode(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), true,
                static_cast<uint32_t>(text.size()), true);
}

}  // namespace reference
