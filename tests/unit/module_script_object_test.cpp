// The scriptable object as page script meets it: which names are methods, what the dispatch runs,
// getVersion, getLastError handing each message out once per instance, and calls that cannot get
// memory from the browser.
#include <string.h>

#include <string>

#include "plugin/browser_funcs.h"
#include "plugin/instance.h"
#include "plugin/messages.h"
#include "plugin/script_object.h"
#include "tests/unit/host_fixture.h"

namespace {

class ScriptObjectTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    instance_ = &NewInstance();
    ASSERT_EQ(instance_->created(), NPERR_NO_ERROR);
    object_ = instance_->ScriptObject();
    ASSERT_NE(object_, nullptr);
  }

  // A failure reported the way every method reports one; the exception it sets outside a script
  // call is taken so that it goes no further.
  void Fail(NPObject* object, const char* message) {
    ErrorReport(static_cast<PrintScriptObject*>(object), message);
    std::string exception;
    EXPECT_TRUE(host::TakeException(&exception));
    EXPECT_EQ(exception, message);
  }

  // Calls a class slot directly, the way a browser does after hasMethod.
  bool InvokeSlot(NPIdentifier name, NPVariant* result) {
    return object_->_class->invoke(object_, name, nullptr, 0, result);
  }

  host::Instance* instance_ = nullptr;
  NPObject* object_ = nullptr;
};

struct NameCase {
  const char* name;
  bool isMethod;
};

const NameCase kNameCases[] = {
    {"print", true},         {"getPrinters", true}, {"getMacAddresses", true}, {"getVersion", true},
    {"getLastError", true},  {"push", false},       {"data", false},           {"printer", false},
    {"GetVersion", false},   {"getversion", false}, {"GETLASTERROR", false},   {"Print", false},
    {"getPrinters ", false}, {"", false},           {"toString", false},
};

TEST_F(ScriptObjectTest, HasMethodKnowsExactlyTheFiveMethodNames) {
  for (const NameCase& c : kNameCases) {
    EXPECT_EQ(object_->_class->hasMethod(object_, host::StringId(c.name)), c.isMethod)
        << '"' << c.name << '"';
  }
  for (int32_t number : {0, 1, 4, -1}) EXPECT_FALSE(object_->_class->hasMethod(object_, host::IntId(number)));
  EXPECT_FALSE(object_->_class->hasMethod(object_, nullptr));
}

TEST_F(ScriptObjectTest, ObjectHasNoPropertiesAndCannotBeCalled) {
  NPVariant result;
  memset(&result, 0x3E, sizeof(result));
  const NPVariant sentinel = result;
  for (const NameCase& c : kNameCases) {
    EXPECT_FALSE(object_->_class->hasProperty(object_, host::StringId(c.name))) << c.name;
    EXPECT_FALSE(object_->_class->getProperty(object_, host::StringId(c.name), &result)) << c.name;
  }
  EXPECT_FALSE(object_->_class->invokeDefault(object_, nullptr, 0, &result));
  EXPECT_EQ(memcmp(&result, &sentinel, sizeof(result)), 0);
  EXPECT_EQ(object_->_class->structVersion, 1u);
  EXPECT_EQ(object_->_class->setProperty, nullptr);
  EXPECT_EQ(object_->_class->removeProperty, nullptr);
  EXPECT_EQ(object_->_class->invalidate, nullptr);
}

// Names that are no method fail without an exception, without writing the result and without touching
// the last error.
TEST_F(ScriptObjectTest, InvokeOfOtherNamesFailsAndChangesNothing) {
  Fail(object_, kMessageExpectArray);
  NPVariant result;
  memset(&result, 0x3E, sizeof(result));
  const NPVariant sentinel = result;
  for (const char* name : {"nothing", "push", "data", "printer", "GetVersion", "", "getversion "}) {
    EXPECT_FALSE(InvokeSlot(host::StringId(name), &result)) << name;
    EXPECT_FALSE(host::TakeException(nullptr)) << name;
  }
  EXPECT_FALSE(InvokeSlot(host::IntId(2), &result));
  EXPECT_FALSE(InvokeSlot(nullptr, &result));
  EXPECT_EQ(memcmp(&result, &sentinel, sizeof(result)), 0);

  host::CallOutcome unknown = instance_->Call("nothing");
  EXPECT_FALSE(unknown.hasMethod);
  EXPECT_FALSE(unknown.returned);
  EXPECT_FALSE(unknown.threw);
  EXPECT_EQ(instance_->Call("getLastError").resultText, kMessageExpectArray);
}

TEST_F(ScriptObjectTest, GetVersionIgnoresItsArguments) {
  NPObject* other = NewObject();
  const std::vector<std::vector<NPVariant>> argumentLists = {
      {},
      {host::StringValue("x")},
      {host::StringValue("x"), host::ObjectValue(other), host::StringValueWithNull(3)},
  };
  for (const std::vector<NPVariant>& args : argumentLists) {
    SCOPED_TRACE(args.size());
    host::CallOutcome outcome = instance_->Call("getVersion", args);
    EXPECT_TRUE(outcome.hasMethod);
    EXPECT_TRUE(outcome.returned);
    EXPECT_FALSE(outcome.threw);
    EXPECT_EQ(outcome.resultType, NPVariantType_String);
    EXPECT_EQ(outcome.resultText, "0.0.0.11");
  }
  for (std::vector<NPVariant> args : argumentLists) {
    for (NPVariant& arg : args) host::Release(arg);
  }
}

// The text is a block of the browser's, its length without the NUL that the copy still carries.
TEST_F(ScriptObjectTest, GetVersionHandsTheBrowserACopyOfItsOwn) {
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  ASSERT_TRUE(InvokeSlot(MethodIds.getVersion, &result));
  ASSERT_EQ(result.type, NPVariantType_String);
  EXPECT_EQ(result.value.stringValue.UTF8Length, 8u);
  EXPECT_STREQ(result.value.stringValue.UTF8Characters, "0.0.0.11");
  EXPECT_EQ(host::GetCounters().memAllocBlocks, CountersBefore().memAllocBlocks + 1);
  host::Release(result);
}

TEST_F(ScriptObjectTest, GetLastErrorHandsEachMessageOutOnce) {
  host::CallOutcome none = instance_->Call("getLastError", {host::StringValueWithNull(0)});
  EXPECT_TRUE(none.returned);
  EXPECT_EQ(none.resultType, NPVariantType_Null);

  Fail(object_, kMessageExpectArray);
  Fail(object_, kMessagePrintersFailed);                            // only the latest is kept
  EXPECT_EQ(instance_->Call("getVersion").resultText, "0.0.0.11");  // success leaves it in place
  host::CallOutcome first = instance_->Call("getLastError");
  EXPECT_TRUE(first.returned);
  EXPECT_FALSE(first.threw);
  EXPECT_EQ(first.resultType, NPVariantType_String);
  EXPECT_EQ(first.resultText, kMessagePrintersFailed);
  EXPECT_EQ(instance_->Call("getLastError").resultType, NPVariantType_Null);
}

TEST_F(ScriptObjectTest, EachInstanceKeepsItsOwnLastError) {
  host::Instance& other = NewInstance();
  Fail(object_, kMessageMacAddressesFailed);
  EXPECT_EQ(other.Call("getLastError").resultType, NPVariantType_Null);
  Fail(other.ScriptObject(), kMessageExpectArray);
  EXPECT_EQ(instance_->Call("getLastError").resultText, kMessageMacAddressesFailed);
  EXPECT_EQ(instance_->Call("getLastError").resultType, NPVariantType_Null);
  EXPECT_EQ(other.Call("getLastError").resultText, kMessageExpectArray);
}

// Without memory from the browser nothing is written, the call fails, and a kept message stays.
TEST_F(ScriptObjectTest, CallsWithoutBrowserMemoryFailAndKeepTheLastError) {
  Fail(object_, kMessageExpectArray);
  for (NPIdentifier name : {MethodIds.getVersion, MethodIds.getLastError}) {
    NPVariant result;
    memset(&result, 0x3E, sizeof(result));
    const NPVariant sentinel = result;
    host::FailMemAllocAt(1);
    EXPECT_FALSE(InvokeSlot(name, &result));
    EXPECT_EQ(memcmp(&result, &sentinel, sizeof(result)), 0);
    EXPECT_FALSE(host::TakeException(nullptr));
  }
  host::FailMemAllocAt(1);
  host::CallOutcome failed = instance_->Call("getLastError");
  EXPECT_FALSE(failed.returned);
  EXPECT_EQ(failed.resultType, NPVariantType_Void);
  EXPECT_EQ(instance_->Call("getLastError").resultText, kMessageExpectArray);
  EXPECT_EQ(host::GetCounters().memAllocCalls, CountersBefore().memAllocCalls + 4);
}

TEST_F(ScriptObjectTest, GetLastErrorWithNothingKeptNeedsNoMemory) {
  host::FailMemAllocAt(1);
  host::CallOutcome outcome = instance_->Call("getLastError");
  EXPECT_TRUE(outcome.returned);
  EXPECT_EQ(outcome.resultType, NPVariantType_Null);
  EXPECT_EQ(host::GetCounters().memAllocCalls, CountersBefore().memAllocCalls);
}

}  // namespace
