// getPrinters and getMacAddresses through a real host: the argument check, the producers' outcomes,
// what reaches the page's array, pushes that fail or throw, script re-entering from inside push, and
// every allocation failing in turn. The fixture proves after each test that nothing was left behind.
#include <functional>
#include <string>
#include <vector>

#include "plugin/messages.h"
#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/interfaces_double.h"
#include "tests/unit/host_fixture.h"

namespace {

using host::Behaviour;
using host::CallOutcome;

const char* const kListMethods[] = {"getPrinters", "getMacAddresses"};

// The arguments of one call; the host's references and copies are given back afterwards.
class Args {
 public:
  Args() = default;
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;
  ~Args() {
    for (NPVariant& value : values_) host::Release(value);
  }
  Args& Object(NPObject* object) { return Add(host::ObjectValue(object)); }
  Args& String(const std::string& text) { return Add(host::StringValue(text)); }
  Args& Add(const NPVariant& value) {
    values_.push_back(value);
    return *this;
  }
  const std::vector<NPVariant>& values() const { return values_; }

 private:
  std::vector<NPVariant> values_;
};

// Variants of the kinds that are no object.
NPVariant Scalar(NPVariantType type) {
  NPVariant value;
  VOID_TO_NPVARIANT(value);
  if (type == NPVariantType_Null) NULL_TO_NPVARIANT(value);
  if (type == NPVariantType_Bool) BOOLEAN_TO_NPVARIANT(true, value);
  if (type == NPVariantType_Int32) INT32_TO_NPVARIANT(3, value);
  if (type == NPVariantType_Double) DOUBLE_TO_NPVARIANT(1.5, value);
  return value;
}

std::vector<std::string> Elements(NPObject* array) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < host::ArrayLength(array); ++i) {
    texts.push_back(host::TextOf(host::ArrayElement(array, i)));
  }
  return texts;
}

class FillArrayTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    page_ = &NewInstance();
    ASSERT_NE(page_->ScriptObject(), nullptr);
  }

  CallOutcome CallWithArray(const char* method, NPObject* array) {
    Args args;
    args.Object(array);
    return page_->Call(method, args.values());
  }

  // What getLastError yields now: the message, or "null".
  std::string LastError() {
    CallOutcome outcome = page_->Call("getLastError");
    return outcome.resultType == NPVariantType_Null ? "null" : outcome.resultText;
  }

  // Counts the pushes made on array, leaving each to behave as behaviour(argument text) says.
  void CountPushes(NPObject* array, std::function<Behaviour(const std::string&)> behaviour = nullptr) {
    host::OnPush(array, [this, behaviour](const NPVariant* args, uint32_t argCount) {
      ++pushes_;
      EXPECT_EQ(argCount, 1u);
      EXPECT_EQ(args[0].type, NPVariantType_String);
      return behaviour ? behaviour(host::TextOf(args[0])) : Behaviour::Normal;
    });
  }

  size_t VariantsReleasedSinceStart() const {
    return host::GetCounters().variantsReleased - CountersBefore().variantsReleased;
  }

  host::Instance* page_ = nullptr;
  size_t pushes_ = 0;
};

void ExpectFilled(const CallOutcome& outcome) {
  EXPECT_TRUE(outcome.returned);
  EXPECT_FALSE(outcome.threw) << outcome.exception;
  EXPECT_EQ(outcome.resultType, NPVariantType_Bool);
  EXPECT_TRUE(outcome.resultBool);
}

}  // namespace

TEST_F(FillArrayTest, AnythingButAnObjectWithPushIsRefusedBeforeAnythingIsListed) {
  doubles::SetPrinters({"A"});
  doubles::SetInterfaces({doubles::EthernetRow({1, 2, 3, 4, 5, 6})});
  NPObject* plain = NewObject();
  struct Case {
    const char* name;
    std::function<void(Args&)> build;
  };
  const Case cases[] = {
      {"no argument", [](Args&) {}},
      {"a string", [](Args& a) { a.String("[]"); }},
      {"an integer", [](Args& a) { a.Add(Scalar(NPVariantType_Int32)); }},
      {"a double", [](Args& a) { a.Add(Scalar(NPVariantType_Double)); }},
      {"a bool", [](Args& a) { a.Add(Scalar(NPVariantType_Bool)); }},
      {"null", [](Args& a) { a.Add(Scalar(NPVariantType_Null)); }},
      {"void", [](Args& a) { a.Add(Scalar(NPVariantType_Void)); }},
      {"an object without push", [plain](Args& a) { a.Object(plain); }},
      {"the plug-in element", [this](Args& a) { a.Object(page_->ScriptObject()); }},
      {"a string, then an array", [this](Args& a) { a.String("x").Object(NewArray()); }},
  };
  for (const char* method : kListMethods) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << method << " with " << c.name);
      doubles::Reset();
      doubles::SetPrinters({"A"});
      doubles::SetInterfaces({doubles::EthernetRow({1, 2, 3, 4, 5, 6})});
      Args args;
      c.build(args);
      CallOutcome outcome = page_->Call(method, args.values());
      EXPECT_FALSE(outcome.returned);
      EXPECT_TRUE(outcome.threw);
      EXPECT_EQ(outcome.exception, kMessageExpectArray);
      EXPECT_EQ(outcome.scriptError, host::kGenericCallError) << "script sees the engine's text";
      EXPECT_EQ(outcome.resultType, NPVariantType_Void) << "result is not written";
      EXPECT_TRUE(doubles::Calls().empty()) << "nothing is enumerated";
      EXPECT_EQ(doubles::AllocCalls(), 0u);
      EXPECT_EQ(LastError(), kMessageExpectArray);
      EXPECT_EQ(LastError(), "null");
    }
  }
}

TEST_F(FillArrayTest, EachNameIsPushedAsOneStringInListOrder) {
  doubles::SetPrinters({"A", "\\\\srv\\Label", "A"});
  doubles::SetInterfaces({doubles::LoopbackRow(), doubles::EthernetRow({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}),
                          doubles::EthernetRow({0xAB, 0xCD, 0xEF, 0x01, 0x02, 0x03})});
  NPObject* printers = NewArray();
  NPObject* addresses = NewArray();
  CountPushes(printers);
  CountPushes(addresses);

  ExpectFilled(CallWithArray("getPrinters", printers));
  ExpectFilled(CallWithArray("getMacAddresses", addresses));
  EXPECT_EQ(Elements(printers), (std::vector<std::string>{"A", "\\\\srv\\Label", "A"}));
  EXPECT_EQ(Elements(addresses), (std::vector<std::string>{"00:1A:2B:3C:4D:5E", "AB:CD:EF:01:02:03"}));
  EXPECT_EQ(pushes_, 5u);
  EXPECT_EQ(VariantsReleasedSinceStart(), 5u) << "each push result released once";
  EXPECT_EQ(LastError(), "null") << "success leaves no message";
}

TEST_F(FillArrayTest, NamesAreAppendedAfterWhatTheArrayHoldsAndASecondArgumentIsIgnored) {
  doubles::SetPrinters({"A", "B"});
  NPObject* array = NewArray();
  NPObject* other = NewArray();
  NPVariant existing = host::StringValue("existing");
  NPVariant pushResult;
  VOID_TO_NPVARIANT(pushResult);
  ASSERT_TRUE(
      host::BrowserTable().invoke(page_->npp(), array, host::StringId("push"), &existing, 1, &pushResult));
  host::Release(existing);
  host::Release(pushResult);

  Args args;
  args.Object(array).Object(other);
  ExpectFilled(page_->Call("getPrinters", args.values()));
  EXPECT_EQ(Elements(array), (std::vector<std::string>{"existing", "A", "B"}));
  EXPECT_EQ(host::ArrayLength(other), 0u);
}

TEST_F(FillArrayTest, EmptyListSucceedsWithoutAPush) {
  NPObject* array = NewArray();
  CountPushes(array);
  for (const char* method : kListMethods) {
    SCOPED_TRACE(method);
    ExpectFilled(CallWithArray(method, array));
  }
  EXPECT_EQ(pushes_, 0u);
  EXPECT_EQ(host::ArrayLength(array), 0u);
}

TEST_F(FillArrayTest, ProducerFailureIsTheMethodsMessageWithResultFalse) {
  struct Case {
    const char* method;
    std::function<void()> fail;
    const char* message;
  };
  const Case cases[] = {
      {"getPrinters", [] { doubles::FailEnumPrintersAt(1, 5); }, kMessagePrintersFailed},
      {"getPrinters", [] { doubles::FailEnumPrintersAt(2, 1722); }, kMessagePrintersFailed},
      {"getPrinters",
       [] {
         doubles::ChangePrintersBeforeCall(2, {"A", "B"});
         doubles::ChangePrintersBeforeCall(3, {"A", "B", "C"});
         doubles::ChangePrintersBeforeCall(4, {"A", "B", "C", "D"});
       },
       kMessagePrintersFailed},
      {"getMacAddresses", [] { doubles::AnswerGetIfTableAt(1, 1); }, kMessageMacAddressesFailed},
      {"getMacAddresses", [] { doubles::AnswerGetIfTableAt(1, 50); }, kMessageMacAddressesFailed},
      {"getMacAddresses", [] { doubles::AnswerGetIfTableAt(1, 0xFFFFFFFF); }, kMessageMacAddressesFailed},
  };
  NPObject* array = NewArray();
  CountPushes(array);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    doubles::Reset();
    doubles::SetPrinters({"A"});
    doubles::SetInterfaces({doubles::EthernetRow({1, 2, 3, 4, 5, 6})});
    c.fail();
    CallOutcome outcome = CallWithArray(c.method, array);
    EXPECT_FALSE(outcome.returned);
    EXPECT_TRUE(outcome.threw);
    EXPECT_EQ(outcome.exception, c.message);
    EXPECT_EQ(outcome.resultType, NPVariantType_Bool);
    EXPECT_FALSE(outcome.resultBool);
    EXPECT_EQ(LastError(), c.message);
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
  }
  EXPECT_EQ(pushes_, 0u);
}

TEST_F(FillArrayTest, APushThatFailsOrThrowsDoesNotStopTheOthers) {
  for (Behaviour behaviour : {Behaviour::Fail, Behaviour::Throw}) {
    SCOPED_TRACE(static_cast<int>(behaviour));
    doubles::SetPrinters({"A", "B", "C"});
    NPObject* array = NewArray();
    pushes_ = 0;
    CountPushes(array, [behaviour](const std::string& name) {
      return name == "B" ? behaviour : Behaviour::Normal;
    });
    const size_t releasedBefore = host::GetCounters().variantsReleased;
    ExpectFilled(CallWithArray("getPrinters", array));
    EXPECT_EQ(Elements(array), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(pushes_, 3u);
    EXPECT_EQ(host::GetCounters().variantsReleased - releasedBefore, 3u);
    EXPECT_EQ(LastError(), "null");
  }
  // A push that is no function: the engine still reports the method, and every push fails.
  NPObject* notCallable = NewObject();
  NPVariant number;
  DOUBLE_TO_NPVARIANT(1, number);
  host::SetProperty(notCallable, "push", number);
  ExpectFilled(CallWithArray("getPrinters", notCallable));
  EXPECT_EQ(LastError(), "null");
}

TEST_F(FillArrayTest, PrinterNamesReachThePageInUtf8) {
  struct Case {
    UINT codePage;
    std::string spooler;
    std::string page;
  };
  const Case cases[] = {
      {1252, "B\xFCro", "B\xC3\xBCro"},
      {1252, "\x80 Kasse", "\xE2\x82\xAC Kasse"},
      {1252, "plain", "plain"},
      {65001, "B\xC3\xBCro", "B\xC3\xBCro"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    doubles::Reset();
    doubles::SetAnsiCodePage(c.codePage);
    doubles::SetPrinters({"A", c.spooler, "Z"});
    NPObject* array = NewArray();
    ExpectFilled(CallWithArray("getPrinters", array));
    EXPECT_EQ(Elements(array), (std::vector<std::string>{"A", c.page, "Z"}));
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
  }
}

TEST_F(FillArrayTest, NestedGetPrintersInsidePushWorksOnAListOfItsOwn) {
  doubles::SetPrinters({"A", "B", "C"});
  NPObject* outer = NewArray();
  NPObject* inner = NewArray();
  bool nested = false;
  host::OnPush(outer, [&](const NPVariant*, uint32_t) {
    if (!nested) {
      nested = true;
      doubles::SetPrinters({"Other"});  // the spooler changes while the outer list is in use
      ExpectFilled(CallWithArray("getPrinters", inner));
    }
    return Behaviour::Normal;
  });
  ExpectFilled(CallWithArray("getPrinters", outer));
  EXPECT_EQ(Elements(outer), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(Elements(inner), std::vector<std::string>{"Other"});
}

TEST_F(FillArrayTest, GetLastErrorInsidePushTakesTheMessageOnce) {
  doubles::SetPrinters({"A", "B"});
  ASSERT_TRUE(page_->Call("getPrinters").threw);  // leaves ?101 as the last error
  NPObject* array = NewArray();
  std::vector<std::string> seen;
  host::OnPush(array, [&](const NPVariant*, uint32_t) {
    seen.push_back(LastError());
    return Behaviour::Normal;
  });
  ExpectFilled(CallWithArray("getPrinters", array));
  EXPECT_EQ(seen, (std::vector<std::string>{kMessageExpectArray, "null"}));
  EXPECT_EQ(Elements(array), (std::vector<std::string>{"A", "B"}));
}

TEST_F(FillArrayTest, DestroyingTheInstanceInsidePushStopsThePushes) {
  struct Case {
    const char* method;
    size_t destroyAt;  // the push during which the page destroys the element
    size_t names;
    bool hold;  // false: the browser holds no reference across the call, only the method's own is left
  };
  const Case cases[] = {
      {"getPrinters", 1, 3, true},  {"getPrinters", 2, 3, true},      {"getMacAddresses", 1, 2, true},
      {"getPrinters", 1, 3, false}, {"getMacAddresses", 1, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.method << " destroyed at push " << c.destroyAt
                                    << (c.hold ? "" : ", browser holding no reference"));
    doubles::Reset();
    host::HoldReferences(c.hold);
    doubles::SetPrinters({"A", "B", "C"});
    doubles::SetInterfaces({doubles::EthernetRow({1, 1, 1, 1, 1, 1}),
                            doubles::EthernetRow({2, 2, 2, 2, 2, 2})});
    host::Instance& page = NewInstance();
    NPObject* array = NewArray();
    size_t pushes = 0;
    host::OnPush(array, [&](const NPVariant*, uint32_t) {
      if (++pushes == c.destroyAt) page.Destroy();
      return Behaviour::Normal;
    });
    const size_t releasedBefore = host::GetCounters().variantsReleased;
    const size_t blocksBefore = doubles::LiveBlocks();
    Args args;
    args.Object(array);
    CallOutcome outcome = page.Call(c.method, args.values());
    // Half a list is a failed call, raised on the object, which outlived the instance.
    EXPECT_TRUE(outcome.returned);
    EXPECT_EQ(outcome.resultType, NPVariantType_Bool);
    EXPECT_FALSE(outcome.resultBool);
    EXPECT_EQ(outcome.exception, c.method[3] == 'P' ? kMessagePrintersFailed : kMessageMacAddressesFailed);
    EXPECT_EQ(pushes, c.destroyAt) << "no push after the element is gone";
    EXPECT_EQ(host::ArrayLength(array), c.destroyAt);
    EXPECT_EQ(host::GetCounters().variantsReleased - releasedBefore, c.destroyAt);
    // Held or not, the browser's reference is gone once the call returns, and the object with it.
    EXPECT_EQ(doubles::LiveBlocks(), blocksBefore - 2) << "the list, the record and the object";
    EXPECT_FALSE(page.Call("getLastError").returned) << "a destroyed element answers nothing";
  }
}

TEST_F(FillArrayTest, DestroyingTheInstanceDuringTheLastPushStillDeliveredEveryName) {
  doubles::SetPrinters({"A", "B"});
  host::Instance& page = NewInstance();
  NPObject* array = NewArray();
  host::OnPush(array, [&](const NPVariant* args, uint32_t) {
    if (host::TextOf(args[0]) == "B") page.Destroy();
    return Behaviour::Normal;
  });
  Args args;
  args.Object(array);
  ExpectFilled(page.Call("getPrinters", args.values()));
  EXPECT_EQ(Elements(array), (std::vector<std::string>{"A", "B"}));
}

TEST_F(FillArrayTest, EveryAllocationFailingInTurnIsTheMethodsFailureWithNothingLeft) {
  // Growth on both sides, and a name that needs converting, so that every step allocates.
  auto script = [] {
    doubles::SetPrinters({"A"});
    doubles::ChangePrintersBeforeCall(2, {"A", "B\xFCro"});
    doubles::SetInterfaces(std::vector<doubles::InterfaceRow>(4, doubles::EthernetRow({1, 2, 3, 4, 5, 6})));
  };
  const struct {
    const char* method;
    const char* message;
  } cases[] = {{"getPrinters", kMessagePrintersFailed}, {"getMacAddresses", kMessageMacAddressesFailed}};
  for (const auto& c : cases) {
    script();
    NPObject* array = NewArray();
    const size_t before = doubles::AllocCalls();
    ExpectFilled(CallWithArray(c.method, array));
    const size_t allocations = doubles::AllocCalls() - before;
    EXPECT_GE(allocations, 3u);
    for (size_t n = 1; n <= allocations; ++n) {
      SCOPED_TRACE(testing::Message() << c.method << ", allocation " << n << " of " << allocations);
      doubles::Reset();
      script();
      NPObject* empty = NewArray();
      doubles::FailAllocAt(n);
      CallOutcome outcome = CallWithArray(c.method, empty);
      EXPECT_FALSE(outcome.returned);
      EXPECT_EQ(outcome.exception, c.message);
      EXPECT_EQ(outcome.resultType, NPVariantType_Bool);
      EXPECT_FALSE(outcome.resultBool);
      EXPECT_EQ(host::ArrayLength(empty), 0u);
      EXPECT_EQ(doubles::LiveBlocks(), 0u);
    }
  }
}
