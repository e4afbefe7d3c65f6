#include "bench/base64_text.h"

#include "host/host.h"

std::string RandomBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed ? seed : 1;
  for (char& byte : bytes) {
    // xorshift32: cheap, and every byte value appears, so every alphabet character does too.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string Base64Text(size_t characters, uint32_t seed) {
  return host::EncodeBase64(RandomBytes(characters / 4 * 3 - 1, seed));
}
