// Decodes each decoder corpus file the way the print method does (the text after the corpus entry's
// first byte, into a buffer of the text's own length) and prints one line per file:
//   <status> <decoded bytes in hex, or "-">
// scripts/decoder_crosscheck.py compares these lines with Python's own strict decoder.
#include <stdint.h>
#include <stdio.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "printing/base64.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    if (!file) {
      fprintf(stderr, "decode_driver: cannot read %s\n", argv[i]);
      return 2;
    }
    const std::string entry((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string text = entry.empty() ? std::string() : entry.substr(1);
    std::vector<uint8_t> buffer(text.size() + 1);  // never empty, so data() is a real buffer
    uint32_t length = static_cast<uint32_t>(text.size());
    const Base64Status status = DecodeBase64(text.data(), length, buffer.data(), &length);
    printf("%d ", static_cast<int>(status));
    if (status != Base64Ok) {
      printf("-\n");
      continue;
    }
    for (uint32_t k = 0; k < length; ++k) printf("%02x", buffer[k]);
    printf("\n");
  }
  return 0;
}
