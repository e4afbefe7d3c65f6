#include "printing/base64.h"

#include <string.h>

#include "printing/base64_tiers.h"

namespace {

constexpr uint8_t kInvalid = 64;
constexpr uint32_t kGroupChars = 4;
constexpr uint32_t kGroupBytes = 3;

}  // namespace

// clang-format off
constexpr uint8_t Base64Table[256] = {
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

namespace {

// ---- The fast path: every group but the last, four groups at a time ----
//
// Each character position in a group has its own table, giving the character's 6 bits already
// shifted to where they stand in the group's 24 bits, so a group is four look-ups joined by "or".
// A byte outside the alphabet gives kBadGroup instead, a bit that no valid group has; "=" counts as
// outside here, because only the last group may hold padding and the fast path never decodes it.
// A block of four groups is checked with one test of all four joined, and written only when clean;
// otherwise the careful path takes over at that block and finds the exact failing group.

constexpr uint32_t kBadGroup = 0x80000000;
constexpr uint32_t kBlockGroups = 4;
constexpr uint32_t kBlockChars = kBlockGroups * kGroupChars;
constexpr uint32_t kBlockBytes = kBlockGroups * kGroupBytes;

struct PositionTables {
  uint32_t bits[kGroupChars][256];  // [position in the group][byte]
};

constexpr PositionTables MakePositionTables() {
  PositionTables tables{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    const uint32_t sextet = byte == '=' ? kInvalid : Base64Table[byte];
    for (uint32_t position = 0; position < kGroupChars; ++position) {
      tables.bits[position][byte] = sextet == kInvalid ? kBadGroup : sextet << (18 - 6 * position);
    }
  }
  return tables;
}

constexpr PositionTables kPositionTables = MakePositionTables();

// The 24 bits of the group at in, with kBadGroup set if any of its bytes is not an alphabet character.
inline uint32_t GroupBits(const uint8_t* in) {
  return kPositionTables.bits[0][in[0]] | kPositionTables.bits[1][in[1]] |
         kPositionTables.bits[2][in[2]] | kPositionTables.bits[3][in[3]];
}

// Stores a 32-bit word with its most significant byte first, the order in which Base64 lays out its
// bits: one store of the word, byte-swapped first on a CPU that stores the least significant byte
// first. (Compilers fold the byte-order test away and turn the swap into one instruction.)
inline void StoreWord(uint8_t* out, uint32_t word) {
  const uint32_t one = 1;
  uint8_t lowestFirst;
  memcpy(&lowestFirst, &one, 1);
  if (lowestFirst) word = word >> 24 | (word >> 8 & 0xFF00) | (word << 8 & 0xFF0000) | word << 24;
  memcpy(out, &word, sizeof(word));
}

// Decodes whole blocks from the start of the `groups` groups at in for as long as the blocks are
// clean. Returns the number of groups decoded, a multiple of kBlockGroups; nothing is written for
// the block it stopped at.
uint32_t DecodeFastBlocks(const uint8_t* in, uint32_t groups, uint8_t* out) {
  const uint8_t* const start = in;
  const uint8_t* const end = in + groups / kBlockGroups * kBlockChars;
  while (in != end) {
    const uint32_t bits0 = GroupBits(in);
    const uint32_t bits1 = GroupBits(in + kGroupChars);
    const uint32_t bits2 = GroupBits(in + 2 * kGroupChars);
    const uint32_t bits3 = GroupBits(in + 3 * kGroupChars);
    if ((bits0 | bits1 | bits2 | bits3) & kBadGroup) break;
    // Four groups of 24 bits are 12 bytes: three words.
    StoreWord(out, bits0 << 8 | bits1 >> 16);
    StoreWord(out + 4, bits1 << 16 | bits2 >> 8);
    StoreWord(out + 8, bits2 << 24 | bits3);
    in += kBlockChars;
    out += kBlockBytes;
  }
  return static_cast<uint32_t>(in - start) / kGroupChars;
}

// ---- The careful path: one group, with padding ----

// Decodes the group at in into out[0..2]; *yield becomes the number of bytes it stands for. Padding
// may only end the text: groups after it would leave a gap in the decoded bytes.
Base64Status DecodeGroup(const uint8_t* in, bool last, uint8_t* out, uint32_t* yield) {
  const uint8_t s0 = Base64Table[in[0]];
  const uint8_t s1 = Base64Table[in[1]];
  const uint8_t s2 = Base64Table[in[2]];
  const uint8_t s3 = Base64Table[in[3]];
  if ((s0 | s1 | s2 | s3) & kInvalid) return Base64DecodeError;
  if (in[0] == '=' || in[1] == '=') return Base64DecodeError;

  *yield = kGroupBytes;
  if (in[2] == '=') {
    if (in[3] != '=') return Base64DecodeError;
    *yield = 1;
  } else if (in[3] == '=') {
    *yield = 2;
  }
  if (*yield != kGroupBytes && !last) return Base64DecodeError;

  out[0] = static_cast<uint8_t>(s0 << 2 | s1 >> 4);
  out[1] = static_cast<uint8_t>(s1 << 4 | s2 >> 2);
  out[2] = static_cast<uint8_t>(s2 << 6 | s3);
  return Base64Ok;
}

}  // namespace

Base64Status DecodeBase64(const char* text, uint32_t textLength, uint8_t* out, uint32_t* length) {
  if (!text || !length) return Base64InvalidParameter;
  if (textLength < kGroupChars || textLength % kGroupChars != 0) return Base64InvalidLength;

  const uint32_t groups = textLength / kGroupChars;
  const uint32_t required = groups * kGroupBytes;
  if (required > *length) {
    *length = required;
    return Base64BufferTooSmall;
  }
  // A capacity stated for a buffer that is not there would be written through a null pointer.
  if (!out) return Base64InvalidParameter;

  // Every group but the last goes through the CPU's vector tier, then the fast path, while their
  // blocks are clean; the rest, from the first block that is not, group by group. A failing group ends
  // the decoding with the length slot counting the bytes of the groups before it, and nothing written
  // for it or after it.
  const uint8_t* in = reinterpret_cast<const uint8_t*>(text);
  const uint32_t vector = DecodeVectorBlocks(in, groups - 1, out);
  const uint32_t fast = vector + DecodeFastBlocks(in + vector * kGroupChars, groups - 1 - vector,
                                                  out + vector * kGroupBytes);
  *length = fast * kGroupBytes;
  for (uint32_t group = fast; group < groups; ++group) {
    uint32_t yield = 0;
    const Base64Status status =
        DecodeGroup(in + group * kGroupChars, group + 1 == groups, out + group * kGroupBytes, &yield);
    if (status != Base64Ok) return status;
    *length += yield;
  }
  return Base64Ok;
}
