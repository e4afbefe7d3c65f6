#include "bench/base64_text.h"

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

std::string EncodeBase64(const std::string& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t at = 0; at < bytes.size(); at += 3) {
    const size_t taken = bytes.size() - at < 3 ? bytes.size() - at : 3;
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < taken ? static_cast<uint8_t>(bytes[at + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) text += k <= taken ? kAlphabet[group >> (18 - 6 * k) & 63] : '=';
  }
  return text;
}

std::string Base64Text(size_t characters, uint32_t seed) {
  return EncodeBase64(RandomBytes(characters / 4 * 3 - 1, seed));
}
