// The printer name list: the spooler's calls, the list's exact layout, growth between the calls,
// failures with any error, and every allocation failing in turn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/module_heap.h"
#include "printing/printer_names.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/enum_printers_double.h"

namespace {

// The bytes of a literal, its embedded NULs included and the compiler's closing NUL left out.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

const char kSizingCall[] = "EnumPrintersA(6,null,4,null,0)";

std::string FillingCall(const std::vector<std::string>& printers) {
  return "EnumPrintersA(6,null,4,buffer," + std::to_string(doubles::EnumerationSize(printers)) + ")";
}

class PrinterNamesTest : public ::testing::Test {
 protected:
  void SetUp() override { doubles::Reset(); }
  void TearDown() override { EXPECT_EQ(doubles::LiveBlocks(), 0u) << "a block was left allocated"; }

  // Runs ListPrinterNames; on success returns the whole block as bytes (its exact allocated size)
  // and frees it.
  int List(std::string* bytes = nullptr) {
    char* list = kUntouched;
    const int code = ListPrinterNames(&list);
    if (code != kPrinterNamesOk) {
      EXPECT_EQ(list, kUntouched) << "the list pointer is written only on success";
      return code;
    }
    EXPECT_TRUE(doubles::IsLiveBlock(list));
    if (bytes) *bytes = std::string(list, doubles::BlockSize(list));
    ModuleFree(list);
    return code;
  }

  char* const kUntouched = reinterpret_cast<char*>(&sentinel_);
  int sentinel_ = 0;
};

}  // namespace

TEST_F(PrinterNamesTest, LocalPrinterAndConnectionMakeElevenBytesInSpoolerOrder) {
  const std::vector<std::string> printers = {"A", "\\\\srv\\L"};  // the connection's name: 7 bytes
  doubles::SetPrinters(printers);
  std::string bytes;
  ASSERT_EQ(List(&bytes), kPrinterNamesOk);
  EXPECT_EQ(bytes, Bytes("A\0\\\\srv\\L\0\0"));
  EXPECT_EQ(bytes.size(), 11u);
  EXPECT_EQ(doubles::Calls(), (std::vector<std::string>{kSizingCall, FillingCall(printers)}));
}

TEST_F(PrinterNamesTest, NamesAreNeitherSortedNorDeduplicatedNorConverted) {
  doubles::SetPrinters({"Zebra", "B\xFCro", "Zebra", "\x80\xFF"});
  std::string bytes;
  ASSERT_EQ(List(&bytes), kPrinterNamesOk);
  EXPECT_EQ(bytes, Bytes("Zebra\0B\xFCro\0Zebra\0\x80\xFF\0\0"));
}

TEST_F(PrinterNamesTest, NothingToEnumerateGivesOneByteListAfterOneCall) {
  std::string bytes;
  ASSERT_EQ(List(&bytes), kPrinterNamesOk);
  EXPECT_EQ(bytes, std::string(1, '\0'));
  EXPECT_EQ(doubles::Calls(), std::vector<std::string>{kSizingCall});
}

TEST_F(PrinterNamesTest, PrintersGoneBeforeTheFillingCallGiveOneByteList) {
  doubles::SetPrinters({"A", "B"});
  doubles::ChangePrintersBeforeCall(2, {});
  std::string bytes;
  ASSERT_EQ(List(&bytes), kPrinterNamesOk);
  EXPECT_EQ(bytes, std::string(1, '\0'));
  EXPECT_EQ(doubles::EnumPrintersCalls(), 2u);
}

TEST_F(PrinterNamesTest, PrinterAddedBetweenCallsIsListedAfterOneMoreCall) {
  const std::vector<std::string> before = {"A"};
  const std::vector<std::string> after = {"A", "Label"};
  doubles::SetPrinters(before);
  doubles::ChangePrintersBeforeCall(2, after);
  std::string bytes;
  ASSERT_EQ(List(&bytes), kPrinterNamesOk);
  EXPECT_EQ(bytes, Bytes("A\0Label\0\0"));
  EXPECT_EQ(doubles::Calls(),
            (std::vector<std::string>{kSizingCall, FillingCall(before), FillingCall(after)}));
}

TEST_F(PrinterNamesTest, ThirdFillingCallMayStillSucceed) {
  doubles::SetPrinters({"A"});
  doubles::ChangePrintersBeforeCall(2, {"A", "B"});
  doubles::ChangePrintersBeforeCall(3, {"A", "B", "C"});
  std::string bytes;
  ASSERT_EQ(List(&bytes), kPrinterNamesOk);
  EXPECT_EQ(bytes, Bytes("A\0B\0C\0\0"));
  EXPECT_EQ(doubles::EnumPrintersCalls(), 4u);
}

TEST_F(PrinterNamesTest, GrowingOnThreeFillingCallsFailsWithNothingLeft) {
  doubles::SetPrinters({"A"});
  doubles::ChangePrintersBeforeCall(2, {"A", "B"});
  doubles::ChangePrintersBeforeCall(3, {"A", "B", "C"});
  doubles::ChangePrintersBeforeCall(4, {"A", "B", "C", "D"});
  EXPECT_EQ(List(), kPrinterNamesFailed);
  EXPECT_EQ(doubles::EnumPrintersCalls(), 4u) << "one sizing and three filling calls, no more";
}

TEST_F(PrinterNamesTest, SizingCallFailingWithAnyOtherErrorAllocatesNothing) {
  for (DWORD error : {0u, 2u, 5u, 8u, 1722u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(error);
    doubles::Reset();
    doubles::SetPrinters({"A"});
    doubles::FailEnumPrintersAt(1, error);
    EXPECT_EQ(List(), kPrinterNamesFailed);
    EXPECT_EQ(doubles::EnumPrintersCalls(), 1u);
    EXPECT_EQ(doubles::AllocCalls(), 0u);
  }
}

TEST_F(PrinterNamesTest, FillingCallFailingWithAnyOtherErrorReleasesItsBuffer) {
  for (size_t call : {2u, 3u}) {
    for (DWORD error : {2u, 5u, 1722u}) {
      SCOPED_TRACE(testing::Message() << "call " << call << " error " << error);
      doubles::Reset();
      doubles::SetPrinters({"A"});
      if (call == 3) doubles::ChangePrintersBeforeCall(2, {"A", "B"});
      doubles::FailEnumPrintersAt(call, error);
      EXPECT_EQ(List(), kPrinterNamesFailed);
      EXPECT_EQ(doubles::EnumPrintersCalls(), call);
      EXPECT_EQ(doubles::LiveBlocks(), 0u);
    }
  }
}

TEST_F(PrinterNamesTest, EveryAllocationFailingInTurnLeavesNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> printers;
    bool grows;  // a printer added before the first filling call
  };
  const Case cases[] = {
      {"nothing to enumerate", {}, false},
      {"two printers", {"A", "B"}, false},
      {"growth", {"A"}, true},
  };
  for (const Case& c : cases) {
    doubles::Reset();
    doubles::SetPrinters(c.printers);
    if (c.grows) doubles::ChangePrintersBeforeCall(2, {"A", "B"});
    ASSERT_EQ(List(), kPrinterNamesOk);
    const size_t allocations = doubles::AllocCalls();
    for (size_t n = 1; n <= allocations; ++n) {
      SCOPED_TRACE(testing::Message() << c.name << ", allocation " << n << " of " << allocations);
      doubles::Reset();
      doubles::SetPrinters(c.printers);
      if (c.grows) doubles::ChangePrintersBeforeCall(2, {"A", "B"});
      doubles::FailAllocAt(n);
      EXPECT_EQ(List(), kPrinterNamesFailed);
      EXPECT_EQ(doubles::LiveBlocks(), 0u);
    }
  }
}

TEST_F(PrinterNamesTest, EmptyNamesAreSkippedSoTheListDoesNotEndEarly) {
  doubles::SetPrinters({"A", "", "B"});
  std::string bytes;
  ASSERT_EQ(List(&bytes), kPrinterNamesOk);
  EXPECT_EQ(bytes, Bytes("A\0B\0\0"));
}

TEST_F(PrinterNamesTest, RecordsTheBufferDoesNotHoldAreRefused) {
  // One more record than written: with long names the count still fits the buffer, and the extra
  // record is made of name bytes, so its name pointer points nowhere in the buffer.
  for (DWORD extra : {1u, 1000u}) {
    SCOPED_TRACE(extra);
    doubles::Reset();
    doubles::SetPrinters({"A", std::string(60, 'x')});
    doubles::OverstateRecordCount(extra);
    EXPECT_EQ(List(), kPrinterNamesFailed);
  }
}
