// The hardware address list: text format, selection by address length, the table's growth, failures
// with any code, and every allocation failing in turn.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "adapters/hardware_addresses.h"
#include "platform/module_heap.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/interfaces_double.h"

namespace {

// The bytes of a literal, its embedded NULs included and the compiler's closing NUL left out.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

using doubles::EthernetRow;
using doubles::InterfaceRow;
using doubles::LoopbackRow;

const std::vector<uint8_t> kAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

InterfaceRow DownRow(const std::vector<uint8_t>& bytes) {
  InterfaceRow row = EthernetRow(bytes);
  row.operStatus = 1;
  return row;
}

class HardwareAddressesTest : public ::testing::Test {
 protected:
  void SetUp() override { doubles::Reset(); }
  void TearDown() override { EXPECT_EQ(doubles::LiveBlocks(), 0u) << "a block was left allocated"; }

  // Runs ListHardwareAddresses; on success returns the whole block (its exact allocated size) and
  // frees it.
  int List(std::string* bytes = nullptr) {
    char sentinel = 0;
    char* list = &sentinel;
    const int code = ListHardwareAddresses(&list);
    if (code != kHardwareAddressesOk) {
      EXPECT_EQ(list, &sentinel) << "the list pointer is written only on success";
      return code;
    }
    EXPECT_TRUE(doubles::IsLiveBlock(list));
    if (bytes) *bytes = std::string(list, doubles::BlockSize(list));
    ModuleFree(list);
    return code;
  }
};

}  // namespace

TEST(FormatHardwareAddressTest, TwoUpperCaseDigitsPerByteAndExactlyEighteenBytes) {
  struct Case {
    std::vector<uint8_t> address;
    const char* text;
  };
  const Case cases[] = {
      {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, "00:1A:2B:3C:4D:5E"},
      {{0xAB, 0x0F, 0x00, 0xFF, 0x10, 0x01}, "AB:0F:00:FF:10:01"},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "FF:FF:FF:FF:FF:FF"},
  };
  for (const Case& c : cases) {
    char text[kHardwareAddressTextSize + 2];
    memset(text, '#', sizeof(text));
    FormatHardwareAddress(c.address.data(), text);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(text[kHardwareAddressTextSize], '#') << "written past the 18 bytes";
  }
}

TEST_F(HardwareAddressesTest, LoopbackAndOneEthernetRowMakeNineteenBytesFromOneCall) {
  doubles::SetInterfaces({LoopbackRow(), EthernetRow(kAddress)});
  std::string bytes;
  ASSERT_EQ(List(&bytes), kHardwareAddressesOk);
  EXPECT_EQ(bytes, Bytes("00:1A:2B:3C:4D:5E\0\0"));
  EXPECT_EQ(bytes.size(), 19u);
  EXPECT_EQ(doubles::Calls(), std::vector<std::string>{"GetIfTable(2592,0)"});
}

TEST_F(HardwareAddressesTest, SelectionIsByAddressLengthAloneInTableOrder) {
  const std::vector<uint8_t> eightBytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  doubles::SetInterfaces({
      EthernetRow(kAddress),
      LoopbackRow(),
      EthernetRow(eightBytes, 8),  // first six bytes set, but eight long
      EthernetRow(eightBytes, 0),  // bytes set, no length
      EthernetRow(eightBytes, 5),
      DownRow({0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45}),
      EthernetRow(kAddress),  // the same address again
  });
  std::string bytes;
  ASSERT_EQ(List(&bytes), kHardwareAddressesOk);
  EXPECT_EQ(bytes, Bytes("00:1A:2B:3C:4D:5E\0"
                         "AB:CD:EF:01:23:45\0"
                         "00:1A:2B:3C:4D:5E\0\0"));
}

TEST_F(HardwareAddressesTest, NoSixByteAddressGivesOneByteList) {
  const struct {
    const char* name;
    std::vector<InterfaceRow> rows;
  } cases[] = {
      {"no rows", {}},
      {"loopback only", {LoopbackRow()}},
      {"eight-byte address", {EthernetRow({1, 2, 3, 4, 5, 6, 7, 8}, 8)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    doubles::Reset();
    doubles::SetInterfaces(c.rows);
    std::string bytes;
    ASSERT_EQ(List(&bytes), kHardwareAddressesOk);
    EXPECT_EQ(bytes, std::string(1, '\0'));
  }
}

TEST_F(HardwareAddressesTest, MoreThanThreeRowsTakeASecondCallWithTheReportedSize) {
  std::vector<InterfaceRow> rows;
  std::string expected;
  for (uint8_t i = 0; i < 5; ++i) {
    rows.push_back(EthernetRow({0x02, 0, 0, 0, 0, i}));
    expected += "02:00:00:00:00:0" + std::to_string(i) + std::string(1, '\0');
  }
  expected += '\0';
  doubles::SetInterfaces(rows);
  std::string bytes;
  ASSERT_EQ(List(&bytes), kHardwareAddressesOk);
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(doubles::GetIfTableSizes(), (std::vector<DWORD>{2592, doubles::TableSize(5)}));
}

TEST_F(HardwareAddressesTest, TableGrowingOnEveryCallIsFollowedWithoutABound) {
  // Interfaces appear between the calls six times over; each time the call is made again.
  std::vector<InterfaceRow> rows(3, EthernetRow(kAddress));
  doubles::SetInterfaces(rows);
  for (size_t call = 1; call <= 6; ++call) {
    rows.push_back(EthernetRow(kAddress));
    doubles::ChangeInterfacesBeforeCall(call, rows);
  }
  std::string bytes;
  ASSERT_EQ(List(&bytes), kHardwareAddressesOk);
  EXPECT_EQ(bytes.size(), 9 * kHardwareAddressTextSize + 1);
  EXPECT_EQ(doubles::GetIfTableCalls(), 7u);
}

TEST_F(HardwareAddressesTest, FailureWithAnyOtherCodeGivesNoList) {
  for (size_t call : {1u, 2u}) {
    for (DWORD code : {1u, 50u, 87u, 232u, 1168u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(testing::Message() << "call " << call << " code " << code);
      doubles::Reset();
      doubles::SetInterfaces(std::vector<InterfaceRow>(4, EthernetRow(kAddress)));  // needs two calls
      doubles::AnswerGetIfTableAt(call, code);
      EXPECT_EQ(List(), kHardwareAddressesFailed);
      EXPECT_EQ(doubles::GetIfTableCalls(), call);
      EXPECT_EQ(doubles::LiveBlocks(), 0u);
    }
  }
}

TEST_F(HardwareAddressesTest, TooSmallAnswerWithoutALargerSizeEndsInsteadOfLooping) {
  for (DWORD reported : {0u, 100u, 2592u}) {
    SCOPED_TRACE(reported);
    doubles::Reset();
    doubles::SetInterfaces({EthernetRow(kAddress)});
    doubles::AnswerGetIfTableAt(1, ERROR_INSUFFICIENT_BUFFER, reported);
    EXPECT_EQ(List(), kHardwareAddressesFailed);
    EXPECT_EQ(doubles::GetIfTableCalls(), 1u);
  }
}

TEST_F(HardwareAddressesTest, RowCountBeyondTheBufferIsRefused) {
  // The first buffer holds three rows; one written and three more claimed is one too many.
  for (DWORD extra : {3u, 1000u}) {
    SCOPED_TRACE(extra);
    doubles::Reset();
    doubles::SetInterfaces({EthernetRow(kAddress)});
    doubles::OverstateRowCount(extra);
    EXPECT_EQ(List(), kHardwareAddressesFailed);
  }
}

TEST_F(HardwareAddressesTest, EveryAllocationFailingInTurnLeavesNothing) {
  // The first table, the larger one after growth, and the list.
  const std::vector<InterfaceRow> rows(4, EthernetRow(kAddress));
  doubles::SetInterfaces(rows);
  ASSERT_EQ(List(), kHardwareAddressesOk);
  ASSERT_EQ(doubles::AllocCalls(), 3u);
  for (size_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    doubles::Reset();
    doubles::SetInterfaces(rows);
    doubles::FailAllocAt(n);
    EXPECT_EQ(List(), kHardwareAddressesFailed);
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
  }
}
