// libFuzzer target: the Base64 decoder against the plain decoder of reference_base64.h, and each
// vector tier the CPU has against the scalar code (forced in turn), which must agree on the status,
// the length slot and every byte of the buffer, on failures too.
//
// Input: one byte choosing how the call is made (the capacity, or which pointer is missing), then the
// text. The text is checked as it is and mapped into the alphabet (all but a few bytes become alphabet
// characters), so that long clean runs, where the vector loops work, are common. Text and buffer are
// heap blocks of exactly their stated sizes, so that AddressSanitizer reports any read past the text
// and any write past the capacity.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "printing/base64.h"
#include "printing/base64_tiers.h"
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

struct Outcome {
  Base64Status status;
  uint32_t slot;
  std::vector<uint8_t> buffer;
};

// One decode as `call` arranges it, into a fresh buffer of exactly the capacity.
Outcome Run(const uint8_t* text, uint32_t length, const Call& call) {
  std::unique_ptr<uint8_t[]> textBlock(new uint8_t[length]);
  if (length) memcpy(textBlock.get(), text, length);
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[call.capacity]);
  memset(buffer.get(), kUntouched, call.capacity);
  uint32_t slot = call.capacity;
  const Base64Status status =
      DecodeBase64(call.hasText ? reinterpret_cast<const char*>(textBlock.get()) : nullptr, length,
                   call.hasBuffer ? buffer.get() : nullptr, call.hasSlot ? &slot : nullptr);
  return {status, slot, std::vector<uint8_t>(buffer.get(), buffer.get() + call.capacity)};
}

void CheckAgainstReference(const uint8_t* text, uint32_t length, const Call& call, const Outcome& outcome) {
  const reference::Decoded expected =
      reference::Decode(call.hasText ? text : nullptr, length, call.hasSlot, call.capacity, call.hasBuffer);
  if (outcome.status != expected.status) Disagree("status", outcome.status, expected.status);
  // Status 3 leaves a count the caller does not use, and may leave earlier groups written.
  if (outcome.status == Base64DecodeError) return;
  if (call.hasSlot && outcome.slot != expected.slot) {
    Disagree("length slot", static_cast<int>(outcome.slot), static_cast<int>(expected.slot));
  }
  if (outcome.status == Base64Ok) {
    if (memcmp(outcome.buffer.data(), expected.bytes.data(), expected.bytes.size()) != 0) {
      Disagree("decoded bytes", 0, 0);
    }
    return;
  }
  // Refused before decoding: nothing may have been written.
  for (uint8_t byte : outcome.buffer) {
    if (byte != kUntouched) Disagree("a refused text wrote to the buffer", outcome.status, expected.status);
  }
}

// Every vector tier against the scalar code, and the scalar code against the reference when asked
// (the reference is slow on long clean texts, and the mapped text adds nothing it needs).
void Check(const uint8_t* text, uint32_t length, const Call& call, bool withReference) {
  ForceBase64Tier(Base64TierScalar);
  const Outcome scalar = Run(text, length, call);
  if (withReference) CheckAgainstReference(text, length, call, scalar);
  for (Base64Tier tier : {Base64TierSsse3, Base64TierAvx2}) {
    if (!ForceBase64Tier(tier)) continue;
    const Outcome outcome = Run(text, length, call);
    if (outcome.status != scalar.status) Disagree("tier's status", outcome.status, scalar.status);
    if (outcome.slot != scalar.slot) Disagree("tier's length slot", outcome.slot, scalar.slot);
    if (outcome.buffer != scalar.buffer) Disagree("tier's buffer", tier, Base64TierScalar);
  }
  ForceBase64Tier(BestBase64Tier());
}

// Bytes below 0xF0 become alphabet characters; the rest, bytes that are not (padding among them).
std::vector<uint8_t> MapIntoAlphabet(const uint8_t* text, uint32_t length) {
  static const char kOutside[] = "=-_ \n\r\0.@[`{:\x7F\x80\xFF";
  std::vector<uint8_t> mapped(text, text + length);
  for (uint8_t& byte : mapped) {
    byte = static_cast<uint8_t>(byte < 0xF0 ? reference::kAlphabet[byte & 63] : kOutside[byte & 15]);
  }
  return mapped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tableChecked = (CheckTable(), true);
  (void)tableChecked;
  if (size == 0 || size - 1 > UINT32_MAX) return 0;
  const uint32_t length = static_cast<uint32_t>(size - 1);
  const Call call = Arrange(data[0], length);
  Check(data + 1, length, call, true);
  const std::vector<uint8_t> mapped = MapIntoAlphabet(data + 1, length);
  Check(mapped.data(), length, call, false);
  return 0;
}
