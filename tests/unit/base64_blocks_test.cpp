// The decoder on texts long enough for its block loops (every group but the last: the vector tier's
// steps of four or eight groups, then the scalar blocks of four) to run: the hand-over to the
// group-by-group tail at every length, a bad byte at every position of the blocks, padding in every
// group, and the exact length slot and buffer contents on each outcome. Every case runs on each tier
// this CPU has (a tier it lacks is skipped).
#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "printing/base64.h"
#include "printing/base64_tiers.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Bytes that are no alphabet character, "=" included (only the last group may hold padding).
const char kBadBytes[] = {'=', '-', '_', ' ', '\n', '\0', '*', '@', '[', '`', '{', '\x7F', '\x80', '\xFF'};

// A text of `groups` whole groups cycling through the alphabet from `offset`, so every character
// appears in every position of a group across the cases.
std::string AlphabetText(size_t groups, size_t offset = 0) {
  std::string text;
  for (size_t i = 0; i < groups * 4; ++i) text += kAlphabet[(i * 7 + offset) % 64];
  return text;
}

// What a group-by-group decoder independent of the module makes of a clean text (no padding).
std::string Expected(const std::string& text) {
  std::string bytes;
  for (size_t at = 0; at < text.size(); at += 4) {
    uint32_t bits = 0;
    for (size_t k = 0; k < 4; ++k) bits = bits << 6 | static_cast<uint32_t>(kAlphabet.find(text[at + k]));
    bytes += static_cast<char>(bits >> 16);
    bytes += static_cast<char>(bits >> 8);
    bytes += static_cast<char>(bits);
  }
  return bytes;
}

struct Outcome {
  Base64Status status;
  uint32_t length;
  std::vector<uint8_t> buffer;  // capacity bytes, then a guard region
};

// Decodes into a buffer of exactly the capacity the text needs, followed by guard bytes that must
// stay untouched whatever the outcome.
Outcome Decode(const std::string& text) {
  const uint32_t capacity = static_cast<uint32_t>(text.size() / 4 * 3);
  Outcome outcome;
  outcome.buffer.assign(capacity + 16, kGuard);
  outcome.length = capacity;
  outcome.status =
      DecodeBase64(text.data(), static_cast<uint32_t>(text.size()), outcome.buffer.data(), &outcome.length);
  for (size_t i = capacity; i < outcome.buffer.size(); ++i) {
    EXPECT_EQ(outcome.buffer[i], kGuard) << "written past the capacity at " << i;
  }
  return outcome;
}

// The buffer holds `bytes` at its start and nothing was written after them.
void ExpectWrittenExactly(const Outcome& outcome, const std::string& bytes, const std::string& label) {
  ASSERT_LE(bytes.size(), outcome.buffer.size()) << label;
  EXPECT_EQ(0, memcmp(outcome.buffer.data(), bytes.data(), bytes.size())) << label;
  size_t touched = 0;
  for (size_t i = bytes.size(); i < outcome.buffer.size(); ++i) touched += outcome.buffer[i] != kGuard;
  EXPECT_EQ(touched, 0u) << label << ": bytes written for or after the failing group";
}

class Base64Blocks : public testing::TestWithParam<Base64Tier> {
 protected:
  void SetUp() override {
    if (!ForceBase64Tier(GetParam())) GTEST_SKIP() << "this CPU lacks the tier";
  }
  void TearDown() override { ForceBase64Tier(BestBase64Tier()); }
};

std::string TierName(const testing::TestParamInfo<Base64Tier>& info) {
  const char* const names[] = {"Scalar", "Ssse3", "Avx2"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Tiers, Base64Blocks,
                         testing::Values(Base64TierScalar, Base64TierSsse3, Base64TierAvx2), TierName);

TEST_P(Base64Blocks, CleanTextsOfEveryLengthAcrossTheBlockBoundaries) {
  // 1 to 3 groups never reach a block; from 5 on, blocks run: up to five AVX2 steps, each followed by
  // an SSSE3 step or scalar blocks, and the groups left over plus the last.
  for (size_t groups = 1; groups <= 44; ++groups) {
    for (size_t offset : {0, 13, 40}) {
      const std::string text = AlphabetText(groups, offset);
      Outcome outcome = Decode(text);
      const std::string label = std::to_string(groups) + " groups, offset " + std::to_string(offset);
      ASSERT_EQ(outcome.status, Base64Ok) << label;
      EXPECT_EQ(outcome.length, groups * 3) << label;
      ExpectWrittenExactly(outcome, Expected(text), label);
    }
  }
}

TEST_P(Base64Blocks, PaddedLastGroupAfterBlocks) {
  for (size_t groups = 1; groups <= 26; ++groups) {
    const std::string body = AlphabetText(groups - 1, groups);
    const std::string head = Expected(body);
    const struct {
      std::string last;
      std::string bytes;  // what the last group yields
    } endings[] = {{"QUJD", "ABC"}, {"QUI=", "AB"}, {"QQ==", "A"}, {"QR==", "A"}};
    for (const auto& ending : endings) {
      const std::string label = std::to_string(groups) + " groups ending " + ending.last;
      Outcome outcome = Decode(body + ending.last);
      ASSERT_EQ(outcome.status, Base64Ok) << label;
      EXPECT_EQ(outcome.length, head.size() + ending.bytes.size()) << label;
      EXPECT_EQ(0, memcmp(outcome.buffer.data(), (head + ending.bytes).data(), outcome.length)) << label;
    }
  }
}

TEST_P(Base64Blocks, BadByteAtEveryPosition) {
  // 29 groups: three AVX2 steps (or seven SSSE3 steps, or scalar blocks), then the last group alone;
  // a fault in the third step comes after two that were stored and one that waits to be.
  const std::string clean = AlphabetText(29, 5);
  const std::string bytes = Expected(clean);
  for (size_t position = 0; position < clean.size(); ++position) {
    for (char bad : kBadBytes) {
      const bool lastGroup = position >= clean.size() - 4;
      // "=" ending the last group is padding, and valid there ("=" before a non-"=" is not).
      if (bad == '=' && lastGroup && position % 4 == 3) continue;
      std::string text = clean;
      text[position] = bad;
      const size_t failing = position / 4;
      const std::string label = "byte " + std::to_string(static_cast<uint8_t>(bad)) + " at " +
                                std::to_string(position);
      Outcome outcome = Decode(text);
      EXPECT_EQ(outcome.status, Base64DecodeError) << label;
      EXPECT_EQ(outcome.length, failing * 3) << label;
      ExpectWrittenExactly(outcome, bytes.substr(0, failing * 3), label);
    }
  }
}

TEST_P(Base64Blocks, PaddingBeforeTheLastGroupFails) {
  const std::string clean = AlphabetText(20, 3);
  const std::string bytes = Expected(clean);
  for (size_t group = 0; group + 1 < 20; ++group) {
    for (const char* padding : {"=", "=="}) {
      std::string text = clean;
      text.replace(group * 4 + 4 - strlen(padding), strlen(padding), padding);
      const std::string label = std::string(padding) + " ending group " + std::to_string(group);
      Outcome outcome = Decode(text);
      EXPECT_EQ(outcome.status, Base64DecodeError) << label;
      EXPECT_EQ(outcome.length, group * 3) << label;
      ExpectWrittenExactly(outcome, bytes.substr(0, group * 3), label);
    }
  }
  // Only the first fault counts: a bad byte in a later block changes nothing about an earlier one.
  std::string text = clean;
  text[9] = '-';
  text[30] = '-';
  Outcome outcome = Decode(text);
  EXPECT_EQ(outcome.status, Base64DecodeError);
  EXPECT_EQ(outcome.length, 6u);
  ExpectWrittenExactly(outcome, bytes.substr(0, 6), "two faults");
}

TEST_P(Base64Blocks, LargeTextMatchesGroupByGroupDecoding) {
  // Every sextet value at every position: 64 characters cycled with steps that do not divide 64.
  std::string text;
  for (size_t i = 0; i < 4 * 4099; ++i) text += kAlphabet[(i * 37 + i / 64) % 64];
  Outcome outcome = Decode(text);
  ASSERT_EQ(outcome.status, Base64Ok);
  ASSERT_EQ(outcome.length, 4099u * 3);
  ExpectWrittenExactly(outcome, Expected(text), "4099 groups");
}

TEST_P(Base64Blocks, CapacityTooSmallWritesNothingWhateverTheLength) {
  for (size_t groups : {5, 8, 9, 17}) {
    const std::string text = AlphabetText(groups);
    std::vector<uint8_t> buffer(groups * 3 + 8, kGuard);
    uint32_t length = static_cast<uint32_t>(groups * 3 - 1);
    EXPECT_EQ(DecodeBase64(text.data(), static_cast<uint32_t>(text.size()), buffer.data(), &length),
              Base64BufferTooSmall);
    EXPECT_EQ(length, groups * 3);
    for (uint8_t byte : buffer) EXPECT_EQ(byte, kGuard) << groups;
  }
}

}  // namespace
