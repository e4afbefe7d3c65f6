// Base64 as a page writes it for print: the standard alphabet, "=" padding, no line breaks.
#include "host/host.h"

namespace host {

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

}  // namespace host
