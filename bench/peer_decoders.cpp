#include "bench/peer_decoders.h"

#include <openssl/evp.h>

int DecodeWithOpenSsl(const char* text, size_t length, uint8_t* out) {
  return EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(text), static_cast<int>(length));
}

namespace {

// The 6-bit value of an alphabet character, or -1.
int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

int DecodeCharByChar(const char* text, size_t length, uint8_t* out) {
  if (length == 0 || length % 4 != 0) return -1;
  // Up to two "=" may end the text, after at least two characters of the last group.
  size_t padding = 0;
  while (padding < 2 && text[length - 1 - padding] == '=') ++padding;
  const size_t characters = length - padding;

  uint32_t bits = 0;
  int bitCount = 0;
  int written = 0;
  for (size_t i = 0; i < characters; ++i) {
    const int sextet = SextetOf(text[i]);
    if (sextet < 0) return -1;
    bits = bits << 6 | static_cast<uint32_t>(sextet);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out[written++] = static_cast<uint8_t>(bits >> bitCount);
    }
  }
  return written;
}
