// The constants the SSSE3 and AVX2 block loops share. Each table is looked up with a byte shuffle,
// which works on 16-byte halves: its 16 entries are there twice, for the two halves of an AVX2
// register (the SSSE3 loop reads the first 16). Whole 32-byte tables in memory let the compiler use
// them as memory operands where registers run short (eight vector registers in 32-bit code).
#pragma once

#include <stdint.h>

namespace base64_vector {

// Which characters are in the alphabet, by nibble: a character is outside it exactly when the
// classes of its high nibble and of its low nibble share a bit. The high nibble's class says which
// low nibbles are missing from that column of the ASCII table:
//   0x01  column 2: all but "+" (B) and "/" (F)      0x02  column 3: A to F (":" to "?", "=" too)
//   0x04  columns 4 and 6: 0 ("@", "`")             0x08  columns 5 and 7: B to F ("[" .. "_", "{" ..)
//   0x10  columns 0, 1 and 8 to F: every low nibble
#define BASE64_HIGH_CLASSES \
  0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10
alignas(32) constexpr uint8_t kHighNibbleClass[32] = {BASE64_HIGH_CLASSES, BASE64_HIGH_CLASSES};
#define BASE64_LOW_CLASSES \
  0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A
alignas(32) constexpr uint8_t kLowNibbleClass[32] = {BASE64_LOW_CLASSES, BASE64_LOW_CLASSES};

// What to add to an alphabet character to get its 6-bit value, by its high nibble; "/" (column 2
// like "+") is looked up one column lower.
#define BASE64_OFFSETS 0, 16, 19, 4, 256 - 65, 256 - 65, 256 - 71, 256 - 71, 0, 0, 0, 0, 0, 0, 0, 0
alignas(32) constexpr uint8_t kSextetOffset[32] = {BASE64_OFFSETS, BASE64_OFFSETS};

// Each group's three bytes, most significant first, from the 32-bit lane that holds its 24 bits;
// the last four bytes of each 16 are left zero.
#define BASE64_GROUP_BYTES 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1
alignas(32) constexpr int8_t kGroupBytes[32] = {BASE64_GROUP_BYTES, BASE64_GROUP_BYTES};

#undef BASE64_HIGH_CLASSES
#undef BASE64_LOW_CLASSES
#undef BASE64_OFFSETS
#undef BASE64_GROUP_BYTES

// One byte value in all 32 places: the low-nibble mask, and "/" to pick out.
struct alignas(32) Repeated {
  uint8_t bytes[32];
};
constexpr Repeated Repeat(uint8_t value) {
  Repeated repeated{};
  for (uint8_t& byte : repeated.bytes) byte = value;
  return repeated;
}
constexpr Repeated kLowNibble = Repeat(0x0F);
constexpr Repeated kSlash = Repeat('/');

// Multipliers that join two 6-bit values into 12 bits (first * 64 + second), then two 12-bit values
// into 24 bits (first * 4096 + second).
constexpr int32_t kJoinSextets = 0x01400140;
constexpr int32_t kJoinHalves = 0x00011000;

}  // namespace base64_vector
