#include "bench/peer_decoders.h"

#include <openssl/evp.h>

int DecodeWithOpenSsl(const char* text, size_t length, uint8_t* out) {
  return EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(text), static_cast<int>(length));
}

namespace {

constexpr uint8_t kBad = 0xFF;

struct SextetTable {
  uint8_t value[256];
};

constexpr SextetTable MakeSextetTable() {
  SextetTable table{};
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (uint8_t& value : table.value) value = kBad;
  for (int i = 0; i < 64; ++i) table.value[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
  return table;
}

constexpr SextetTable kSextets = MakeSextetTable();

}  // namespace

int DecodeWithTable(const char* text, size_t length, uint8_t* out) {
  if (length == 0 || length % 4 != 0) return -1;
  const uint8_t* in = reinterpret_cast<const uint8_t*>(text);
  // Up to two "=" may end the last group.
  size_t padding = 0;
  while (padding < 2 && in[length - 1 - padding] == '=') ++padding;
  const size_t whole = (length - 4) / 4;  // groups before the last
  uint8_t* const start = out;
  for (size_t group = 0; group < whole; ++group, in += 4) {
    const uint32_t a = kSextets.value[in[0]], b = kSextets.value[in[1]];
    const uint32_t c = kSextets.value[in[2]], d = kSextets.value[in[3]];
    if ((a | b | c | d) & 0xC0) return -1;  // kBad has these bits, no sextet does
    const uint32_t bits = a << 18 | b << 12 | c << 6 | d;
    out[0] = static_cast<uint8_t>(bits >> 16);
    out[1] = static_cast<uint8_t>(bits >> 8);
    out[2] = static_cast<uint8_t>(bits);
    out += 3;
  }
  // The last group: 4 - padding characters, at least two.
  uint32_t bits = 0;
  for (size_t k = 0; k < 4; ++k) {
    const uint32_t value = k < 4 - padding ? kSextets.value[in[k]] : 0;
    if (value == kBad) return -1;
    bits = bits << 6 | value;
  }
  for (size_t k = 0; k < 3 - padding; ++k) *out++ = static_cast<uint8_t>(bits >> (16 - 8 * k));
  return static_cast<int>(out - start);
}
