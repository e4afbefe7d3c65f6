// libFuzzer target: the Base64 decoder against the plain decoder of reference_base64.h.
//
// Input: one byte choosing how the call is made (the capacity, or which pointer is missing), then the
// text. Text and buffer are heap blocks of exactly their stated sizes, so that AddressSanitizer reports
// any read past the text and any write past the capacity.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "printing/base64.h"
#include "tests/fuzz/reference_base64.h"

namespace {

const uint8_t kUntouched = 0xA5;

[[noreturn]] void Disagree(const char* what, int status, int expected) {
  fprintf(stderr, "decoder_fuzz: %s (status %d, reference %d)\n", what, status, expected);
  abort();
}

// The table is the decoder's published data: every byte's value must be the alphabet's.
void CheckTable() {
  for (int c = 0; c < 256; ++c) {
    const int value = c == '=' ? 0 : reference::SixBits(static_cast<uint8_t>(c));
    if (Base64Table[c] != (value < 0 ? 64 : value)) Disagree("Base64Table entry", Base64Table[c], value);
  }
}

struct Call {
  uint32_t capacity;
  bool hasText = true;
  bool hasSlot = true;
  bool hasBuffer = true;
};

// How the mode byte sets up the call. Most inputs get a capacity near the size the text needs, where
// an off-by-one shows; some get the text's own length, as the print method passes.
Call Arrange(uint8_t mode, uint32_t length) {
  const uint32_t required = length / 4 * 3;
  const uint32_t offset = mode >> 3;  // 0 to 31
  Call call{0};
  switch (mode & 7) {
    case 0: call.capacity = length; break;
    case 1: call.capacity = required; break;
    case 2: call.capacity = required > 0 ? required - 1 : 0; break;
    case 3: call.capacity = required + offset > 16 ? required + offset - 16 : 0; break;
    case 4: call.capacity = offset; break;
    case 5: call.capacity = required, call.hasBuffer = false; break;
    case 6: call.capacity = length, call.hasText = false; break;
    default: call.capacity = length, call.hasSlot = false; break;
  }
  return call;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tableChecked = (CheckTable(), true);
  (void)tableChecked;
  if (size == 0 || size - 1 > UINT32_MAX) return 0;
  const uint32_t length = static_cast<uint32_t>(size - 1);
  const Call call = Arrange(data[0], length);

  std::unique_ptr<uint8_t[]> text(new uint8_t[length]);
  if (length) memcpy(text.get(), data + 1, length);
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[call.capacity]);
  memset(buffer.get(), kUntouched, call.capacity);

  uint32_t slot = call.capacity;
  const Base64Status status =
      DecodeBase64(call.hasText ? reinterpret_cast<const char*>(text.get()) : nullptr, length,
                   call.hasBuffer ? buffer.get() : nullptr, call.hasSlot ? &slot : nullptr);
  const reference::Decoded expected =
      reference::Decode(call.hasText ? text.get() : nullptr, length, call.hasSlot, call.capacity, call.hasBuffer);

  if (status != expected.status) Disagree("status", status, expected.status);
  // Status 3 leaves a count the caller does not use, and may leave earlier groups written.
  if (status == Base64DecodeError) return 0;
  if (call.hasSlot && slot != expected.slot) Disagree("length slot", static_cast<int>(slot), static_cast<int>(expected.slot));
  if (status == Base64Ok) {
    if (memcmp(buffer.get(), expected.bytes.data(), expected.bytes.size()) != 0) Disagree("decoded bytes", 0, 0);
    return 0;
  }
  // Refused before decoding: nothing may have been written.
  for (uint32_t i = 0; i < call.capacity; ++i) {
    if (buffer[i] != kUntouched) Disagree("a refused text wrote to the buffer", status, expected.status);
  }
  return 0;
}
