#include "printing/base64.h"

#include <string.h>

#include <string>

#include "gtest/gtest.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr uint32_t kUntouched = 0xDEADBEEF;

struct Decoded {
  Base64Status status;
  uint32_t length;
  std::string bytes;  // the first `length` output bytes on success
  size_t guardsHit;   // output bytes changed, counted over the whole buffer
};

// Decodes into a guarded buffer of `capacity` bytes that claims exactly that capacity.
Decoded Decode(const std::string& text, uint32_t capacity) {
  uint8_t buffer[64];
  memset(buffer, kGuard, sizeof(buffer));
  uint32_t length = capacity;
  Decoded result;
  result.status = DecodeBase64(text.data(), static_cast<uint32_t>(text.size()), buffer, &length);
  result.length = length;
  if (result.status == Base64Ok) result.bytes.assign(reinterpret_cast<char*>(buffer), length);
  result.guardsHit = 0;
  for (uint8_t byte : buffer) result.guardsHit += byte != kGuard;
  // Nothing is ever written past the stated capacity.
  for (size_t i = capacity; i < sizeof(buffer); ++i) EXPECT_EQ(buffer[i], kGuard) << text << " at " << i;
  return result;
}

Decoded Decode(const std::string& text) { return Decode(text, 48); }

TEST(Base64, DecodesVectors) {
  const struct {
    std::string text;
    std::string bytes;
  } cases[] = {
      // RFC 4648, section 10 (the empty text is refused: see InvalidLength)
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"Zm9vYg==", "foob"},
      {"Zm9vYmE=", "fooba"},
      {"Zm9vYmFy", "foobar"},
      // the document's own vectors; QR== has non-zero leftover bits, which are dropped
      {"QUJD", "ABC"},
      {"QUI=", "AB"},
      {"QQ==", "A"},
      {"QUJDRA==", "ABCD"},
      {"QR==", "A"},
      // every alphabet character, high and low bit patterns
      {"+/+/", "\xFB\xFF\xBF"},
      {"AAAA", std::string(3, '\0')},
      {"////", "\xFF\xFF\xFF"},
  };
  for (const auto& c : cases) {
    Decoded d = Decode(c.text);
    EXPECT_EQ(d.status, Base64Ok) << c.text;
    EXPECT_EQ(d.length, c.bytes.size()) << c.text;
    EXPECT_EQ(d.bytes, c.bytes) << c.text;
  }
}

TEST(Base64, DecodesWholeAlphabet) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  // The alphabet in order is the sextets 0 to 63; each group packs four of them into three bytes.
  Decoded d = Decode(alphabet);
  ASSERT_EQ(d.status, Base64Ok);
  ASSERT_EQ(d.length, 48u);
  for (int i = 0; i < 16; ++i) {  // sextets 4i .. 4i+3 packed into three bytes
    const unsigned s0 = 4 * i, s1 = 4 * i + 1, s2 = 4 * i + 2, s3 = 4 * i + 3;
    EXPECT_EQ(static_cast<uint8_t>(d.bytes[3 * i]), static_cast<uint8_t>(s0 << 2 | s1 >> 4));
    EXPECT_EQ(static_cast<uint8_t>(d.bytes[3 * i + 1]), static_cast<uint8_t>(s1 << 4 | s2 >> 2));
    EXPECT_EQ(static_cast<uint8_t>(d.bytes[3 * i + 2]), static_cast<uint8_t>(s2 << 6 | s3));
  }
}

TEST(Base64, InvalidParameterLeavesLengthSlot) {
  uint8_t out[8];
  uint32_t length = kUntouched;
  EXPECT_EQ(DecodeBase64(nullptr, 4, out, &length), Base64InvalidParameter);
  EXPECT_EQ(DecodeBase64(nullptr, 3, out, &length), Base64InvalidParameter);  // before the length check
  EXPECT_EQ(DecodeBase64(nullptr, 0, out, &length), Base64InvalidParameter);
  EXPECT_EQ(length, kUntouched);
  EXPECT_EQ(DecodeBase64("QUJD", 4, out, nullptr), Base64InvalidParameter);
  // A stated capacity without a buffer is refused instead of written through a null pointer...
  length = 8;
  EXPECT_EQ(DecodeBase64("QUJD", 4, nullptr, &length), Base64InvalidParameter);
  EXPECT_EQ(length, 8u);
  // ...while a capacity too small still answers the size needed without touching the buffer.
  length = 0;
  EXPECT_EQ(DecodeBase64("QUJD", 4, nullptr, &length), Base64BufferTooSmall);
  EXPECT_EQ(length, 3u);
}

TEST(Base64, InvalidLengthLeavesLengthSlotAndBuffer) {
  for (const char* text : {"", "Q", "QUJ", "QUJDRA", "QUJDR", "QUJD\r\n", "QUJDQUJDQ"}) {
    Decoded d = Decode(text, 0);  // the length is checked before the capacity
    EXPECT_EQ(d.status, Base64InvalidLength) << text;
    EXPECT_EQ(d.length, 0u) << text;
    d = Decode(text, 40);
    EXPECT_EQ(d.status, Base64InvalidLength) << text;
    EXPECT_EQ(d.length, 40u) << text;
    EXPECT_EQ(d.guardsHit, 0u) << text;
  }
  // An empty text with a pointer that must not be read.
  uint32_t length = 5;
  EXPECT_EQ(DecodeBase64(reinterpret_cast<const char*>(1), 0, nullptr, &length), Base64InvalidLength);
  EXPECT_EQ(length, 5u);
}

TEST(Base64, RefusesBadCharactersAndMisplacedPadding) {
  const char* cases[] = {
      "Q===",       "=QUJ", "QU=D", "====", "QUJ=QUJD", "QQ==QUJD", "QUI=QQ==",  // padding not at the end
      "QUJD\r\nQQ",                                                              // a line break inside
      "QUJ-",       "QUJ_", "QUJ ", "QUJ.", "QUJ\x80",  "QUJ\xFF",
  };
  for (const char* text : cases) {
    EXPECT_EQ(Decode(text).status, Base64DecodeError) << text;
  }
  EXPECT_EQ(Decode(std::string("QU\0D", 4)).status, Base64DecodeError);
  // Every byte outside the alphabet and "=", in each of the four positions.
  const std::string allowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
  for (int value = 0; value < 256; ++value) {
    if (value != 0 && allowed.find(static_cast<char>(value)) != std::string::npos) continue;
    for (int position = 0; position < 4; ++position) {
      std::string text = "QUJD";
      text[position] = static_cast<char>(value);
      EXPECT_EQ(Decode(text).status, Base64DecodeError) << value << "@" << position;
    }
  }
}

TEST(Base64, CapacityIsCheckedBeforeAnyWrite) {
  const struct {
    const char* text;
    uint32_t capacity;
    Base64Status status;
    uint32_t length;
  } cases[] = {
      {"QUJD", 2, Base64BufferTooSmall, 3},
      {"QUJD", 0, Base64BufferTooSmall, 3},
      {"QUJD", 3, Base64Ok, 3},
      {"QUJD", 4, Base64Ok, 3},
      {"QQ==", 2, Base64BufferTooSmall, 3},  // padding does not lower the size the length promises
      {"QUJDRA==", 5, Base64BufferTooSmall, 6},
      {"QUJDRA==", 6, Base64Ok, 4},
      {"QUJ-", 2, Base64BufferTooSmall, 3},  // the capacity comes before the characters
  };
  for (const auto& c : cases) {
    Decoded d = Decode(c.text, c.capacity);
    EXPECT_EQ(d.status, c.status) << c.text << " " << c.capacity;
    EXPECT_EQ(d.length, c.length) << c.text << " " << c.capacity;
    if (c.status == Base64BufferTooSmall) {
      EXPECT_EQ(d.guardsHit, 0u) << c.text;
    }
  }
}

TEST(Base64, LargestLengthDoesNotOverflowRequiredSize) {
  uint32_t length = 0;
  EXPECT_EQ(DecodeBase64("QUJD", 0xFFFFFFFCu, nullptr, &length), Base64BufferTooSmall);
  EXPECT_EQ(length, 0xFFFFFFFCu / 4 * 3);
}

}  // namespace
