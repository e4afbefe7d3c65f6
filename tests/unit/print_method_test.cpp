#include <ctype.h>

#include <string>
#include <vector>

#include "plugin/messages.h"
#include "printing/raw_print_job.h"
#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/spooler_double.h"
#include "tests/unit/host_fixture.h"

namespace {

using doubles::SpoolerCall;

// How a property of the print argument is set up.
struct Property {
  enum Kind { Absent, String, NullCharacters, Void, Null, Number, Object, Fails, Throws } kind;
  std::string text;  // String: the bytes; NullCharacters: the length
};
const Property kAbsent = {Property::Absent, ""};
Property Text(const std::string& text) { return {Property::String, text}; }
Property Of(Property::Kind kind) { return {kind, ""}; }
Property NoCharacters(const char* length) { return {Property::NullCharacters, length}; }

const char* const kUnlistedButOpened[] = {",XcvMonitor Local Port", ",XcvPort LPT1:", "\\\\127.0.0.1\\x"};

class PrintMethodTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    doubles::AddPrinter("Label");
    doubles::SetDefaultPrinter("Default");
    doubles::SetPrinters({"Label", "Default"});
    // Names the spooler opens but does not list, as Wine's does: port-monitor handles, a share.
    for (const char* name : kUnlistedButOpened) doubles::AddPrinter(name);
    page_ = &NewInstance();
    ASSERT_EQ(page_->created(), NPERR_NO_ERROR);
  }

  // A script object with the two properties as described.
  NPObject* Argument(const Property& data, const Property& printer = kAbsent) {
    NPObject* object = NewObject();
    Set(object, "data", data);
    Set(object, "printer", printer);
    return object;
  }

  void Set(NPObject* object, const char* name, const Property& property) {
    NPVariant value;
    switch (property.kind) {
      case Property::Absent: return;
      case Property::Fails: return host::SetPropertyBehaviour(object, name, host::Behaviour::Fail);
      case Property::Throws: return host::SetPropertyBehaviour(object, name, host::Behaviour::Throw);
      case Property::String: value = host::StringValue(property.text); break;
      case Property::NullCharacters:
        value = host::StringValueWithNull(static_cast<uint32_t>(std::stoul(property.text)));
        break;
      case Property::Void: VOID_TO_NPVARIANT(value); break;
      case Property::Null: NULL_TO_NPVARIANT(value); break;
      case Property::Number: DOUBLE_TO_NPVARIANT(1.5, value); break;
      case Property::Object: value = host::ObjectValue(NewObject()); break;
    }
    host::SetProperty(object, name, value);
    host::Release(value);
  }

  // Calls print with the arguments (released afterwards) and counts the variants the module released.
  host::CallOutcome Print(std::vector<NPVariant> args) {
    const size_t released = host::GetCounters().variantsReleased;
    host::CallOutcome outcome = page_->Call("print", args);
    releases_ = host::GetCounters().variantsReleased - released;
    for (NPVariant& arg : args) host::Release(arg);
    return outcome;
  }
  host::CallOutcome Print(NPObject* argument) { return Print({host::ObjectValue(argument)}); }

  bool Opened() const {
    for (const std::string& call : doubles::Calls()) {
      if (call.rfind("OpenPrinterA(", 0) == 0) return true;
    }
    return false;
  }

  // getLastError's answer: the kept message, or "null".
  std::string LastError() {
    host::CallOutcome outcome = page_->Call("getLastError");
    return outcome.resultType == NPVariantType_Null ? "null" : outcome.resultText;
  }

  host::Instance* page_ = nullptr;
  size_t releases_ = 0;
};

// Every failure: the message as exception and last error, true returned, no result, the browser's
// variants released exactly once on the exits that read them, nothing left allocated (the fixture).
struct FailureCase {
  const char* what;
  int arguments;  // 0: none; 1: the object; 2: a string instead; 3: the object and a string after it
  Property data;
  Property printer;
  const char* message;
  size_t releases;
  bool opened;  // whether the spooler was asked to open a printer
  SpoolerCall failing = SpoolerCall::OpenPrinter;
  bool spoolerFails = false;
  size_t allocFailAt = 0;  // module-heap call that fails, counted from the print call
  UINT codePage = 1252;
  bool noDefault = false;
  bool listFails = false;  // the spooler's printer list cannot be read
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.what; }

class PrintFailureTest : public PrintMethodTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PrintFailureTest, ReportsAndReleases) {
  const FailureCase& c = GetParam();
  doubles::SetAnsiCodePage(c.codePage);
  if (c.noDefault) doubles::ResetSpooler();
  if (c.spoolerFails) doubles::FailSpoolerCall(c.failing, 1722);
  if (c.listFails) doubles::FailEnumPrintersAt(1, 1722);
  NPObject* argument = Argument(c.data, c.printer);
  std::vector<NPVariant> args;
  if (c.arguments == 1 || c.arguments == 3) args.push_back(host::ObjectValue(argument));
  if (c.arguments == 2) args.push_back(host::StringValue("QUJD"));
  if (c.arguments == 3) args.push_back(host::StringValue("ignored"));
  if (c.allocFailAt) doubles::FailAllocAt(c.allocFailAt);

  host::CallOutcome outcome = Print(args);
  EXPECT_TRUE(outcome.hasMethod);
  EXPECT_TRUE(outcome.returned);
  EXPECT_TRUE(outcome.threw);
  EXPECT_EQ(outcome.exception, c.message);
  EXPECT_EQ(outcome.scriptError, c.message) << "the method returns true, so script sees its text";
  EXPECT_EQ(outcome.resultType, NPVariantType_Void);
  EXPECT_EQ(releases_, c.releases);
  EXPECT_EQ(Opened(), c.opened);
  EXPECT_EQ(doubles::LiveBlocks(), 2u);  // the instance record and its script object only
  EXPECT_EQ(doubles::OpenPrinterHandles(), 0u);
  EXPECT_EQ(LastError(), c.message);
  EXPECT_EQ(LastError(), "null");
}

const std::string kUtf8Buero = "B\xC3\xBCro";
const std::string kUtf8Chinese = "\xE6\x89\x93\xE5\x8D\xB0\xE6\x9C\xBA";  // 打印机

const FailureCase kFailures[] = {
    {"no argument", 0, Text("QUJD"), kAbsent, kMessageExpectPrintObject, 0, false},
    {"string argument", 2, Text("QUJD"), kAbsent, kMessageExpectPrintObject, 0, false},
    {"object without data", 1, kAbsent, Text("Label"), kMessageExpectPrintObject, 0, false},
    {"data unreadable", 1, Of(Property::Fails), kAbsent, kMessageDataUnreadable, 0, false},
    // The engine swallows a getter's exception and reads the property as null.
    {"data getter throws", 1, Of(Property::Throws), kAbsent, kMessageDataNotString, 2, false},
    {"data a number", 1, Of(Property::Number), kAbsent, kMessageDataNotString, 2, false},
    {"data null", 1, Of(Property::Null), kAbsent, kMessageDataNotString, 2, false},
    {"data an object", 1, Of(Property::Object), kAbsent, kMessageDataNotString, 2, false},
    {"printer unreadable", 1, Text("QUJD"), Of(Property::Fails), kMessagePrinterUnreadable, 2, false},
    {"printer null", 1, Text("QUJD"), Of(Property::Null), kMessagePrinterNotString, 2, false},
    {"printer a number", 1, Text("QUJD"), Of(Property::Number), kMessagePrinterNotString, 2, false},
    {"printer an object", 1, Text("QUJD"), Of(Property::Object), kMessagePrinterNotString, 2, false},
    {"data empty, no characters", 1, NoCharacters("0"), kAbsent, kMessageBase64Parameter, 2, false},
    {"data with no characters", 1, NoCharacters("8"), kAbsent, kMessageBase64Parameter, 2, false},
    // A length no buffer could be had for: refused as a text without characters, not as ?413.
    {"data of no characters and a huge length", 1, NoCharacters("4294967292"), kAbsent,
     kMessageBase64Parameter, 2, false},
    {"data empty", 1, Text(""), kAbsent, kMessageBase64Length, 2, false},
    {"data of 3 bytes", 1, Text("QUJ"), kAbsent, kMessageBase64Length, 2, false},
    {"data ending in a line break", 1, Text("QUJD\r\n"), kAbsent, kMessageBase64Length, 2, false},
    {"data broken into lines", 1, Text("QUJD\r\nQQ"), kAbsent, kMessageBase64Decode, 2, false},
    {"data padded in the middle", 1, Text("QQ==QUJD"), Text("Label"), kMessageBase64Decode, 2, false},
    {"URL-safe alphabet", 1, Text("QU-_"), kAbsent, kMessageBase64Decode, 2, false},
    {"no default printer", 1, Text("QUJD"), kAbsent, kMessageNoSuchPrinter, 2, false,
     SpoolerCall::OpenPrinter, false, 0, 1252, true},
    // Only a printer the spooler lists is opened.
    {"unknown printer", 1, Text("QUJD"), Text("Nope"), kMessageNoSuchPrinter, 2, false},
    {"empty printer name", 1, Text("QUJD"), Text(""), kMessageNoSuchPrinter, 2, false},
    {"port monitor", 1, Text("QUJD"), Text(kUnlistedButOpened[0]), kMessageNoSuchPrinter, 2, false},
    {"port", 1, Text("QUJD"), Text(kUnlistedButOpened[1]), kMessageNoSuchPrinter, 2, false},
    {"share not connected", 1, Text("QUJD"), Text(kUnlistedButOpened[2]), kMessageNoSuchPrinter, 2, false},
    {"printer list unreadable", 1, Text("QUJD"), Text("Label"), kMessagePrintFailed, 2, false,
     SpoolerCall::OpenPrinter, false, 0, 1252, false, true},
    {"NUL inside the name", 1, Text("QUJD"), Text(std::string("Label\0X", 7)), kMessageNoSuchPrinter, 2,
     false},
    {"NUL ending the name", 1, Text("QUJD"), Text(std::string("Label\0", 6)), kMessageNoSuchPrinter, 2,
     false},
    {"name with no characters", 1, Text("QUJD"), NoCharacters("5"), kMessageNoSuchPrinter, 2, false},
    {"name not UTF-8", 1, Text("QUJD"), Text("B\xFCro"), kMessageNoSuchPrinter, 2, false},
    {"name outside the code page", 1, Text("QUJD"), Text(kUtf8Chinese), kMessageNoSuchPrinter, 2, false},
    {"document not started", 1, Text("QUJD"), Text("Label"), kMessagePrintFailed, 2, true,
     SpoolerCall::StartDoc, true},
    {"document not ended", 1, Text("QUJD"), kAbsent, kMessagePrintFailed, 2, true, SpoolerCall::EndDoc, true},
    {"write failed", 1, Text("QUJD"), kAbsent, kMessagePrintFailed, 2, true, SpoolerCall::Write, true},
    {"extra arguments ignored", 3, Text("QUJD"), Text("Label"), kMessagePrintFailed, 2, true,
     SpoolerCall::StartPage, true},
    {"no memory to decode", 1, Text("QUJD"), Text("Label"), kMessagePrintFailed, 2, false,
     SpoolerCall::OpenPrinter, false, 1},
    {"no memory to convert the name", 1, Text("QUJD"), Text(kUtf8Buero), kMessagePrintFailed, 2, false,
     SpoolerCall::OpenPrinter, false, 2},
    {"no memory for the converted name", 1, Text("QUJD"), Text(kUtf8Buero), kMessagePrintFailed, 2, false,
     SpoolerCall::OpenPrinter, false, 3},
    {"no memory for the name copy", 1, Text("QUJD"), Text("Label"), kMessagePrintFailed, 2, false,
     SpoolerCall::OpenPrinter, false, 2, CP_UTF8},
};

INSTANTIATE_TEST_SUITE_P(Print, PrintFailureTest, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                           std::string name;
                           for (const char* p = info.param.what; *p; ++p) name += isalnum(*p) ? *p : '_';
                           return name;
                         });

TEST_F(PrintMethodTest, PrintsOnTheDefaultPrinterWithoutAPrinterProperty) {
  for (const Property& printer : {kAbsent, Of(Property::Void)}) {
    const size_t jobs = doubles::PrintedJobs().size();
    host::CallOutcome outcome = Print(Argument(Text("QUJD"), printer));
    EXPECT_TRUE(outcome.returned);
    EXPECT_FALSE(outcome.threw) << outcome.exception;
    EXPECT_EQ(outcome.resultType, NPVariantType_Void);
    EXPECT_EQ(releases_, 2u);
    ASSERT_EQ(doubles::PrintedJobs().size(), jobs + 1);
    EXPECT_EQ(doubles::PrintedJobs().back(), "ABC");
  }
  const std::vector<std::string> oneJob = {"GetDefaultPrinterA(buffer=null,size=0)",
                                           "GetDefaultPrinterA(buffer,size=8)",
                                           "OpenPrinterA(Default)",
                                           "StartDocPrinterA(level=1,doc=raw document,out=null,type=RAW)",
                                           "StartPagePrinter",
                                           "WritePrinter(offset=0,count=3)",
                                           "EndPagePrinter",
                                           "EndDocPrinter",
                                           "ClosePrinter"};
  std::vector<std::string> twoJobs = oneJob;
  twoJobs.insert(twoJobs.end(), oneJob.begin(), oneJob.end());
  EXPECT_EQ(doubles::Calls(), twoJobs);
  EXPECT_EQ(LastError(), "null");
}

TEST_F(PrintMethodTest, PrintsEveryByteValueOnTheNamedPrinter) {
  std::string document;
  for (int round = 0; round < 3; ++round) {
    for (int value = 0; value < 256; ++value) document += static_cast<char>(value);
  }
  for (size_t length : {size_t(1), size_t(2), size_t(3), document.size() - 1, document.size()}) {
    const std::string bytes = document.substr(0, length);
    host::CallOutcome outcome = Print(Argument(Text(host::EncodeBase64(bytes)), Text("Label")));
    EXPECT_FALSE(outcome.threw) << length << ": " << outcome.exception;
    EXPECT_EQ(doubles::PrintedJobs().back(), bytes) << length;
  }
  EXPECT_EQ(doubles::Calls()[2], "OpenPrinterA(Label)");  // after the printer list's two calls
}

// The page's name is looked up among the listed names in the ANSI code page, ignoring letter case
// only (an ordinal comparison: no letter stands for two, no character is ignored), and the spooler is
// handed its own spelling; an exact match wins over one that ignores case. opened "": refused, ?412.
TEST_F(PrintMethodTest, PrinterNameReachesTheSpoolerAsListedInTheAnsiCodePage) {
  const struct {
    UINT codePage;
    std::vector<std::string> listed;
    std::string pageName;
    std::string opened;
  } cases[] = {
      {1252, {"Stra\xDF" "e"}, "Strasse", ""},
      {1252, {"Stra\xDF" "e"}, "STRA\xC3\x9F" "E", "Stra\xDF" "e"},  // ß has no upper case of its own
      {CP_UTF8, {"Stra\xC3\x9F" "e"}, "STRASSE", ""},
      {1252, {"Label"}, "La\xC2\xAD" "bel", ""},  // a soft hyphen is a character of the name
      {1252, {"\xC6gir"}, "Aegir", ""},
      {1252, {"\xC6gir"}, "\xC3\xA6GIR", "\xC6gir"},
      {1252, {"Label"}, "label", "Label"},
      {1252, {"Tokyo"}, "T\xC5\x8Dky\xC5\x8D", ""},  // no look-alike ("best fit") for a letter 1252 lacks
      {1252, {"\x42\xFC\x72\x6F"}, kUtf8Buero, "\x42\xFC\x72\x6F"},  // ü is 0xFC in Windows-1252
      {CP_UTF8, {kUtf8Buero}, kUtf8Buero, kUtf8Buero},                // UTF-8 takes the page's bytes as they are
      {1252, {"\x42\xFC\x72\x6F"}, "b\xC3\x9CRO", "\x42\xFC\x72\x6F"},  // bÜRO
      {1252, {"Label"}, "LABEL", "Label"},
      {1252, {"label", "Label"}, "Label", "Label"},
      {1252, {"label", "Label"}, "LABEL", "label"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pageName);
    doubles::SetAnsiCodePage(c.codePage);
    doubles::SetPrinters(c.listed);
    for (const std::string& name : c.listed) doubles::AddPrinter(name);
    const size_t calls = doubles::Calls().size();
    host::CallOutcome outcome = Print(Argument(Text("QUJD"), Text(c.pageName)));
    if (c.opened.empty()) {
      EXPECT_EQ(outcome.exception, kMessageNoSuchPrinter);
      EXPECT_LE(doubles::Calls().size(), calls + 2) << "more than the list's two calls";
      continue;
    }
    EXPECT_FALSE(outcome.threw) << outcome.exception;
    ASSERT_GT(doubles::Calls().size(), calls + 2);
    EXPECT_EQ(doubles::Calls()[calls + 2], "OpenPrinterA(" + c.opened + ")");  // after the list's two calls
  }
}

TEST_F(PrintMethodTest, SuccessKeepsAnEarlierFailureForGetLastError) {
  host::CallOutcome failed = Print(Argument(Text("QUJD"), Text("Nope")));
  EXPECT_EQ(failed.exception, kMessageNoSuchPrinter);
  host::CallOutcome printed = Print(Argument(Text("QUJD"), Text("Label")));
  EXPECT_FALSE(printed.threw);
  EXPECT_EQ(LastError(), kMessageNoSuchPrinter);
  EXPECT_EQ(LastError(), "null");
}

TEST_F(PrintMethodTest, LaterFailureReplacesTheKeptMessage) {
  Print(std::vector<NPVariant>{});
  Print(Argument(Text("QUJ")));
  EXPECT_EQ(LastError(), kMessageBase64Length);
}

}  // namespace

// A property getter runs page script, which may remove the element: the print stops there with ?413,
// raised on the object (which the method holds even when the browser holds no reference of its own),
// nothing more is asked in the gone instance's name, nothing is printed and the values read are released.
TEST_F(PrintMethodTest, PageDestroyingTheElementFromAGetterFailsThePrint) {
  for (const bool hold : {true, false}) {
    for (const char* destroyedAt : {"data", "printer"}) {
      SCOPED_TRACE(testing::Message() << destroyedAt << (hold ? "" : ", browser holding no reference"));
      host::HoldReferences(hold);
      host::Instance& page = NewInstance();
      ASSERT_EQ(page.created(), NPERR_NO_ERROR);
      NPObject* argument = Argument(Text("QUJD"), Text("Label"));
      const NPIdentifier trigger = host::StringId(destroyedAt);
      host::OnGetProperty(argument, [&page, trigger](NPIdentifier name) {
        if (name == trigger) page.Destroy();
      });
      const size_t released = host::GetCounters().variantsReleased;
      NPVariant arg = host::ObjectValue(argument);
      host::CallOutcome outcome = page.Call("print", {arg});
      host::Release(arg);
      EXPECT_TRUE(outcome.returned);
      EXPECT_EQ(outcome.exception, kMessagePrintFailed);
      EXPECT_EQ(host::GetCounters().variantsReleased - released, 2u);
      EXPECT_FALSE(Opened());
    }
  }
}

TEST_F(PrintMethodTest, AnObjectArgumentWithoutAnObjectIsRefused) {
  NPVariant nothing;
  nothing.type = NPVariantType_Object;
  nothing.value.objectValue = nullptr;
  host::CallOutcome outcome = page_->Call("print", {nothing});
  EXPECT_TRUE(outcome.returned);
  EXPECT_EQ(outcome.exception, kMessageExpectPrintObject);
  EXPECT_FALSE(Opened());
}
