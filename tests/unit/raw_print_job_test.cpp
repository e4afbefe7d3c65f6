#include "printing/raw_print_job.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/spooler_double.h"

namespace {

using doubles::SpoolerCall;
using Calls = std::vector<std::string>;

const char kOpen[] = "OpenPrinterA(Label)";
const char kStartDoc[] = "StartDocPrinterA(level=1,doc=raw document,out=null,type=RAW)";
const char kStartPage[] = "StartPagePrinter";
const char kEndPage[] = "EndPagePrinter";
const char kEndDoc[] = "EndDocPrinter";
const char kClose[] = "ClosePrinter";
const char kSizeQuery[] = "GetDefaultPrinterA(buffer=null,size=0)";
const char kNameQuery[] = "GetDefaultPrinterA(buffer,size=6)";  // "Label" and its NUL
constexpr DWORD kRpcUnavailable = 1722;

class RawPrintJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doubles::Reset();
    doubles::AddPrinter("Label");
  }
  // Whatever the path, the job leaves nothing of its own behind.
  void TearDown() override {
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
    EXPECT_EQ(doubles::OpenPrinterHandles(), 0u);
    EXPECT_EQ(doubles::OpenDocuments(), 0u);
    EXPECT_EQ(doubles::OpenPages(), 0u);
  }
  PrintJobStatus Print(const std::string& bytes, const char* name = "Label") {
    return RawPrintJob(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()),
                       name);
  }
};

TEST_F(RawPrintJobTest, EachOutcomeMakesItsCallsInOrder) {
  const struct {
    const char* outcome;
    SpoolerCall failing;
    bool fails;
    PrintJobStatus status;
    Calls calls;
  } cases[] = {
      {"success",
       SpoolerCall::OpenPrinter,
       false,
       PrintJobOk,
       {kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=3)", kEndPage, kEndDoc, kClose}},
      {"open refused", SpoolerCall::OpenPrinter, true, PrintJobNoPrinter, {kOpen}},
      {"document not started",
       SpoolerCall::StartDoc,
       true,
       PrintJobSpoolerFailed,
       {kOpen, kStartDoc, kClose}},
      {"page not started",
       SpoolerCall::StartPage,
       true,
       PrintJobSpoolerFailed,
       {kOpen, kStartDoc, kStartPage, kEndDoc, kClose}},
      {"write failed",
       SpoolerCall::Write,
       true,
       PrintJobSpoolerFailed,
       {kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=3)", kEndPage, kEndDoc, kClose}},
      // A page or document the spooler did not end is a job it did not commit; the rest still runs.
      {"end page failed",
       SpoolerCall::EndPage,
       true,
       PrintJobSpoolerFailed,
       {kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=3)", kEndPage, kEndDoc, kClose}},
      {"end document failed",
       SpoolerCall::EndDoc,
       true,
       PrintJobSpoolerFailed,
       {kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=3)", kEndPage, kEndDoc, kClose}},
      // The close's result changes nothing.
      {"close failed",
       SpoolerCall::ClosePrinter,
       true,
       PrintJobOk,
       {kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=3)", kEndPage, kEndDoc, kClose}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    doubles::Reset();
    doubles::AddPrinter("Label");
    if (c.fails) doubles::FailSpoolerCall(c.failing, kRpcUnavailable);
    EXPECT_EQ(Print("ABC"), c.status);
    EXPECT_EQ(doubles::Calls(), c.calls);
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
    if (c.failing == SpoolerCall::EndPage || c.failing == SpoolerCall::EndDoc)
      continue;  // left open on purpose
    EXPECT_EQ(doubles::OpenPrinterHandles(), 0u);
    EXPECT_EQ(doubles::OpenDocuments(), 0u);
    EXPECT_EQ(doubles::OpenPages(), 0u);
  }
}

TEST_F(RawPrintJobTest, BytesReachTheJobUnchangedAndAreNotTouched) {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  const std::string copy = bytes;
  EXPECT_EQ(Print(bytes), PrintJobOk);
  EXPECT_EQ(bytes, copy);
  ASSERT_EQ(doubles::PrintedJobs().size(), 1u);
  EXPECT_EQ(doubles::PrintedJobs()[0], bytes);
}

TEST_F(RawPrintJobTest, UnknownNameIsNoPrinter) {
  EXPECT_EQ(Print("ABC", "Other"), PrintJobNoPrinter);
  EXPECT_EQ(doubles::Calls(), Calls({"OpenPrinterA(Other)"}));
  EXPECT_TRUE(doubles::PrintedJobs().empty());
}

TEST_F(RawPrintJobTest, PartialWritesOfferTheRestUntilAllIsTaken) {
  doubles::SetWrittenCounts({2, 0, 3, 1});  // a write that takes nothing, between others, is no failure
  EXPECT_EQ(Print("ABCDEFGH"), PrintJobOk);
  EXPECT_EQ(doubles::Calls(), Calls({kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=8)",
                                     "WritePrinter(offset=2,count=6)", "WritePrinter(offset=2,count=6)",
                                     "WritePrinter(offset=5,count=3)", "WritePrinter(offset=6,count=2)",
                                     kEndPage, kEndDoc, kClose}));
  ASSERT_EQ(doubles::PrintedJobs().size(), 1u);
  EXPECT_EQ(doubles::PrintedJobs()[0], "ABCDEFGH");
}

TEST_F(RawPrintJobTest, FailedWriteAfterPartialWritesKeepsWhatWasTaken) {
  doubles::SetWrittenCounts({2});
  doubles::FailSpoolerCall(SpoolerCall::Write, kRpcUnavailable, 2);
  EXPECT_EQ(Print("ABCDEFGH"), PrintJobSpoolerFailed);
  EXPECT_EQ(doubles::Calls(), Calls({kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=8)",
                                     "WritePrinter(offset=2,count=6)", kEndPage, kEndDoc, kClose}));
  EXPECT_EQ(doubles::PrintedJobs()[0], "AB");
}

TEST_F(RawPrintJobTest, WritesThatTakeNothingEndTheJobAfterTheBound) {
  doubles::SetWrittenCounts({1, 0, 0, 0, 0});
  EXPECT_EQ(Print("ABC"), PrintJobSpoolerFailed);
  Calls expected = {kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=3)"};
  for (int i = 0; i < kIdleWriteLimit; ++i) expected.push_back("WritePrinter(offset=1,count=2)");
  expected.insert(expected.end(), {kEndPage, kEndDoc, kClose});
  EXPECT_EQ(doubles::Calls(), expected);
  EXPECT_EQ(doubles::PrintedJobs()[0], "A");
}

TEST_F(RawPrintJobTest, CountBeyondTheOfferIsAFailedWrite) {
  doubles::SetWrittenCounts({4});
  EXPECT_EQ(Print("ABC"), PrintJobSpoolerFailed);
  EXPECT_EQ(doubles::Calls(), Calls({kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=3)", kEndPage,
                                     kEndDoc, kClose}));
}

TEST_F(RawPrintJobTest, EmptyBlockMakesOneEmptyWrite) {
  EXPECT_EQ(RawPrintJob(nullptr, 0, "Label"), PrintJobOk);
  EXPECT_EQ(doubles::Calls(), Calls({kOpen, kStartDoc, kStartPage, "WritePrinter(offset=0,count=0)", kEndPage,
                                     kEndDoc, kClose}));
}

TEST_F(RawPrintJobTest, DefaultPrinterIsAskedForByName) {
  doubles::SetDefaultPrinter("Label");
  EXPECT_EQ(Print("ABC", nullptr), PrintJobOk);
  EXPECT_EQ(doubles::Calls(), Calls({kSizeQuery, kNameQuery, kOpen, kStartDoc, kStartPage,
                                     "WritePrinter(offset=0,count=3)", kEndPage, kEndDoc, kClose}));
  EXPECT_EQ(doubles::PrintedJobs()[0], "ABC");
}

TEST_F(RawPrintJobTest, NoDefaultPrinterStopsAfterOneQuery) {
  EXPECT_EQ(Print("ABC", nullptr), PrintJobNoPrinter);
  EXPECT_EQ(doubles::Calls(), Calls({kSizeQuery}));
  EXPECT_EQ(doubles::AllocCalls(), 0u);
}

TEST_F(RawPrintJobTest, DefaultNameNotObtainedInThreeAttempts) {
  const struct {
    const char* what;
    SpoolerCall failing;
    DWORD error;
    Calls calls;
  } cases[] = {
      {"name query fails",
       SpoolerCall::DefaultPrinterName,
       ERROR_INSUFFICIENT_BUFFER,
       {kSizeQuery, kNameQuery, kSizeQuery, kNameQuery, kSizeQuery, kNameQuery}},
      // A size query that fails with another error stores no size; the empty buffer gets no name.
      {"size and name queries fail",
       SpoolerCall::DefaultPrinterSize,
       kRpcUnavailable,
       {kSizeQuery, "GetDefaultPrinterA(buffer,size=0)", kSizeQuery, "GetDefaultPrinterA(buffer,size=0)",
        kSizeQuery, "GetDefaultPrinterA(buffer,size=0)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    doubles::Reset();
    doubles::SetDefaultPrinter("Label");
    doubles::FailSpoolerCall(c.failing, c.error, 1, 0);
    doubles::FailSpoolerCall(SpoolerCall::DefaultPrinterName, c.error, 1, 0);
    EXPECT_EQ(Print("ABC", nullptr), PrintJobNoPrinter);
    EXPECT_EQ(doubles::Calls(), c.calls);
    EXPECT_EQ(doubles::AllocCalls(), static_cast<size_t>(kDefaultNameAttempts));
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
  }
}

TEST_F(RawPrintJobTest, DefaultNameObtainedOnTheLastAttempt) {
  doubles::SetDefaultPrinter("Label");
  doubles::FailSpoolerCall(SpoolerCall::DefaultPrinterName, ERROR_INSUFFICIENT_BUFFER, 1, 2);
  EXPECT_EQ(Print("ABC", nullptr), PrintJobOk);
  EXPECT_EQ(doubles::Calls().size(), 6u + 7u);
  EXPECT_EQ(doubles::Calls()[6], kOpen);
}

// On a multibyte code page the size query counts characters; the fill call that fails reports the
// bytes needed, and the next attempt fills at that size without asking again.
TEST_F(RawPrintJobTest, DefaultNameLongerThanTheSizeQuerySaysIsFilledAtTheSizeTheFillReports) {
  const std::string label = "\xE3\x83\xA9\xE3\x83\x99\xE3\x83\xAB";  // ラベル, 3 characters in 9 bytes
  doubles::SetAnsiCodePage(CP_UTF8);
  doubles::SetDefaultPrinter(label);
  doubles::ReportDefaultSizeInCharacters();
  EXPECT_EQ(Print("ABC", nullptr), PrintJobOk);
  EXPECT_EQ(doubles::Calls(), Calls({kSizeQuery, "GetDefaultPrinterA(buffer,size=4)",
                                     "GetDefaultPrinterA(buffer,size=10)", "OpenPrinterA(" + label + ")", kStartDoc,
                                     kStartPage, "WritePrinter(offset=0,count=3)", kEndPage, kEndDoc, kClose}));
  // A size query that fails stores no size: the empty buffer's fill reports it.
  doubles::Reset();
  doubles::SetDefaultPrinter("Label");
  doubles::FailSpoolerCall(SpoolerCall::DefaultPrinterSize, kRpcUnavailable);
  EXPECT_EQ(Print("ABC", nullptr), PrintJobOk);
  EXPECT_EQ(doubles::Calls()[1], "GetDefaultPrinterA(buffer,size=0)");
  EXPECT_EQ(doubles::Calls()[2], kNameQuery);
}

TEST_F(RawPrintJobTest, DefaultNameBufferAllocationFailureCountsAsAnAttempt) {
  doubles::SetDefaultPrinter("Label");
  doubles::FailAllocsFrom(1);
  EXPECT_EQ(Print("ABC", nullptr), PrintJobNoPrinter);
  EXPECT_EQ(doubles::Calls(), Calls({kSizeQuery, kSizeQuery, kSizeQuery}));

  doubles::Reset();
  doubles::SetDefaultPrinter("Label");
  doubles::FailAllocAt(1);  // only the first attempt goes without memory
  EXPECT_EQ(Print("ABC", nullptr), PrintJobOk);
  EXPECT_EQ(doubles::Calls()[0], kSizeQuery);
  EXPECT_EQ(doubles::Calls()[1], kSizeQuery);
  EXPECT_EQ(doubles::Calls()[2], kNameQuery);
}

TEST_F(RawPrintJobTest, DefaultNameIsFreedOnEveryPathAfterItWasObtained) {
  for (SpoolerCall failing : {SpoolerCall::OpenPrinter, SpoolerCall::StartDoc, SpoolerCall::Write}) {
    doubles::Reset();
    doubles::SetDefaultPrinter("Label");
    doubles::FailSpoolerCall(failing, kRpcUnavailable);
    EXPECT_NE(Print("ABC", nullptr), PrintJobOk);
    EXPECT_EQ(doubles::AllocCalls(), 1u);
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
  }
}

}  // namespace
