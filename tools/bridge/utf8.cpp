#include "tools/bridge/utf8.h"

#include <stdint.h>
#include <string.h>

namespace bridge {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// The bytes from `at` that form one well-formed sequence, or 0 when none begins there. *cut is set
// to the length of the sequence's well-formed start when it is not complete (at least 1).
size_t SequenceAt(const unsigned char* text, size_t size, size_t at, size_t* cut) {
  const unsigned char lead = text[at];
  *cut = 1;
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the byte after the lead
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= size) return 0;
    const unsigned char next = text[at + i];
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
    *cut = i + 1;
  }
  return length;
}

// The bytes from `at` up to the first that is not ASCII, 8 at a time (a document's Base64 text is
// all ASCII).
size_t AsciiRun(const unsigned char* text, size_t size, size_t at) {
  while (at + 8 <= size) {
    uint64_t word;
    memcpy(&word, text + at, sizeof word);
    if (word & 0x8080808080808080ull) break;
    at += 8;
  }
  while (at < size && text[at] < 0x80) ++at;
  return at;
}

}  // namespace

bool IsUtf8(const char* text, size_t size) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0;
  for (;;) {
    at = AsciiRun(bytes, size, at);
    if (at == size) return true;
    size_t cut = 0;
    const size_t length = SequenceAt(bytes, size, at, &cut);
    if (length == 0) return false;
    at += length;
  }
}

std::string WithReplacements(const std::string& text) {
  if (IsUtf8(text.data(), text.size())) return text;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string mended;
  size_t at = 0;
  while (at < text.size()) {
    size_t cut = 0;
    const size_t length = SequenceAt(bytes, text.size(), at, &cut);
    if (length != 0) {
      mended.append(text, at, length);
      at += length;
    } else {
      mended += kReplacement;
      at += cut;
    }
  }
  return mended;
}

}  // namespace bridge
