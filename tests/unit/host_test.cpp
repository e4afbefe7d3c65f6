// The host's own behaviour, on which every module test relies: identifiers, memory and object
// accounting, variant release, script objects and arrays, and exceptions per call. A small plug-in
// of the test's own drives the parts that need one.
#include <string.h>

#include <string>

#include "tests/unit/host_fixture.h"

namespace {

// ---- A plug-in of the test's own: one object class with three methods ----
//   raise()                   sets the exception "raised" and fails
//   forward(array, values...) calls array.push(values...) through the browser; answers its bool
//   count()                   answers how many script calls the object has seen

NPNetscapeFuncs fakeBrowser;

struct FakeObject : NPObject {
  NPP npp;
  int32_t calls;
};

NPObject* FakeAllocate(NPP npp, NPClass*) { return new FakeObject{{}, npp, 0}; }
void FakeDeallocate(NPObject* object) { delete static_cast<FakeObject*>(object); }

bool FakeHasMethod(NPObject*, NPIdentifier name) {
  return name == fakeBrowser.getstringidentifier("raise") ||
         name == fakeBrowser.getstringidentifier("forward") ||
         name == fakeBrowser.getstringidentifier("count");
}

bool FakeInvoke(NPObject* npObject, NPIdentifier name, const NPVariant* args, uint32_t argCount,
                NPVariant* result) {
  FakeObject* object = static_cast<FakeObject*>(npObject);
  ++object->calls;
  if (name == fakeBrowser.getstringidentifier("raise")) {
    fakeBrowser.setexception(object, "raised");
    return false;
  }
  if (name == fakeBrowser.getstringidentifier("forward")) {
    if (argCount == 0 || args[0].type != NPVariantType_Object) return false;
    NPVariant pushResult;
    bool pushed =
        fakeBrowser.invoke(object->npp, args[0].value.objectValue, fakeBrowser.getstringidentifier("push"),
                           args + 1, argCount - 1, &pushResult);
    fakeBrowser.releasevariantvalue(&pushResult);
    BOOLEAN_TO_NPVARIANT(pushed, *result);
    return true;
  }
  INT32_TO_NPVARIANT(object->calls, *result);
  return true;
}

NPClass fakeClass = {1,       FakeAllocate, FakeDeallocate, nullptr, FakeHasMethod, FakeInvoke, nullptr,
                     nullptr, nullptr,      nullptr,        nullptr, nullptr,       nullptr};

NPError FakeNew(NPMIMEType, NPP npp, uint16_t, int16_t, char**, char**, NPSavedData*) {
  npp->pdata = fakeBrowser.createobject(npp, &fakeClass);
  return npp->pdata ? NPERR_NO_ERROR : NPERR_OUT_OF_MEMORY_ERROR;
}

// What the browser did to the instances, in order.
std::vector<std::string> lifecycle;

NPError FakeSetWindow(NPP, NPWindow* window) {
  lifecycle.push_back(window && !window->window ? "setwindow none" : "setwindow");
  return NPERR_NO_ERROR;
}

NPError FakeDestroy(NPP npp, NPSavedData**) {
  NPObject* object = static_cast<NPObject*>(npp->pdata);
  lifecycle.push_back("destroy, references " + std::to_string(object ? object->referenceCount : 0));
  if (npp->pdata) fakeBrowser.releaseobject(static_cast<NPObject*>(npp->pdata));
  npp->pdata = nullptr;
  return NPERR_NO_ERROR;
}

NPError FakeGetValue(NPP npp, NPPVariable variable, void* value) {
  if (variable != NPPVpluginScriptableNPObject || !npp->pdata) return NPERR_GENERIC_ERROR;
  *static_cast<NPObject**>(value) = fakeBrowser.retainobject(static_cast<NPObject*>(npp->pdata));
  return NPERR_NO_ERROR;
}

NPError NP_STDCALL FakeGetEntryPoints(NPPluginFuncs* funcs) {
  funcs->newp = FakeNew;
  funcs->destroy = FakeDestroy;
  funcs->setwindow = FakeSetWindow;
  funcs->getvalue = FakeGetValue;
  return NPERR_NO_ERROR;
}

NPError NP_STDCALL FakeInitialize(NPNetscapeFuncs* browser) {
  fakeBrowser = *browser;
  return NPERR_NO_ERROR;
}

// Checks that whatever a test made is gone by its end; the bad-release counters are each test's own.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::FailMemAllocAt(0);
    host::TakeException(nullptr);
    before_ = host::GetCounters();
    ASSERT_EQ(plugin_.Initialize(), NPERR_NO_ERROR);
  }
  void TearDown() override {
    host::FailMemAllocAt(0);
    EXPECT_EQ(host::GetCounters().memAllocBlocks, before_.memAllocBlocks);
    EXPECT_EQ(host::GetCounters().liveObjects, before_.liveObjects);
  }
  size_t Delta(size_t host::Counters::*counter) const {
    return host::GetCounters().*counter - before_.*counter;
  }

  host::Counters before_;
  NPNetscapeFuncs table_ = host::BrowserTable();
  host::Plugin plugin_{
      host::PluginEntryPoints{FakeGetEntryPoints, FakeInitialize, nullptr, nullptr, nullptr}};
};

TEST_F(HostTest, IdentifiersAreInternedAndIntegersAreApart) {
  std::string name = "getVersion";
  EXPECT_EQ(table_.getstringidentifier(name.c_str()), host::StringId("getVersion"));
  EXPECT_NE(host::StringId("getVersion"), host::StringId("getversion"));
  EXPECT_NE(host::StringId(""), nullptr);
  EXPECT_EQ(host::IntId(7), table_.getintidentifier(7));
  EXPECT_NE(host::IntId(0), host::StringId("0"));
  EXPECT_TRUE(table_.identifierisstring(host::StringId("0")));
  EXPECT_FALSE(table_.identifierisstring(host::IntId(0)));
  EXPECT_EQ(table_.intfromidentifier(host::IntId(-3)), -3);

  NPUTF8* copy = table_.utf8fromidentifier(host::StringId("push"));
  EXPECT_STREQ(copy, "push");
  table_.memfree(copy);
  EXPECT_EQ(table_.utf8fromidentifier(host::IntId(1)), nullptr);

  const NPUTF8* names[] = {"a", "b", "a"};
  NPIdentifier ids[3];
  table_.getstringidentifiers(names, 3, ids);
  EXPECT_EQ(ids[0], ids[2]);
  EXPECT_NE(ids[0], ids[1]);
}

TEST_F(HostTest, MemAllocIsCountedAndFailsOnlyAtTheChosenCall) {
  host::FailMemAllocAt(2);
  void* first = table_.memalloc(10);
  void* second = table_.memalloc(10);
  void* third = table_.memalloc(0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(Delta(&host::Counters::memAllocCalls), 3u);
  EXPECT_EQ(Delta(&host::Counters::memAllocBlocks), 2u);
  table_.memfree(first);
  table_.memfree(third);
  table_.memfree(third);
  table_.memfree(nullptr);
  EXPECT_EQ(Delta(&host::Counters::badReleases), 1u);
}

TEST_F(HostTest, ReleasingAVariantFreesItsStringOnceAndLeavesItVoid) {
  NPVariant value;
  char* text = static_cast<char*>(table_.memalloc(3));
  memcpy(text, "abc", 3);
  STRINGN_TO_NPVARIANT(text, 3, value);
  NPVariant copy = value;
  table_.releasevariantvalue(&value);
  EXPECT_EQ(value.type, NPVariantType_Void);
  table_.releasevariantvalue(&value);  // void: nothing to free
  EXPECT_EQ(Delta(&host::Counters::badReleases), 0u);
  table_.releasevariantvalue(&copy);  // the same block again
  EXPECT_EQ(Delta(&host::Counters::badReleases), 1u);

  char foreign[4] = "xyz";
  STRINGN_TO_NPVARIANT(foreign, 3, value);
  table_.releasevariantvalue(&value);
  EXPECT_EQ(Delta(&host::Counters::badReleases), 2u);
  NPVariant nothing = host::StringValueWithNull(5);
  table_.releasevariantvalue(&nothing);
  EXPECT_EQ(Delta(&host::Counters::badReleases), 2u);
  EXPECT_EQ(Delta(&host::Counters::variantsReleased), 5u);
}

TEST_F(HostTest, ObjectsLiveByTheirReferenceCount) {
  NPClass plain = {};
  NPObject* object = table_.createobject(nullptr, &plain);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->_class, &plain);
  EXPECT_EQ(host::ReferenceCount(object), 1u);
  EXPECT_EQ(table_.retainobject(object), object);
  NPVariant value = host::ObjectValue(object);
  EXPECT_EQ(host::ReferenceCount(object), 3u);
  EXPECT_EQ(Delta(&host::Counters::liveObjects), 1u);
  table_.releasevariantvalue(&value);
  table_.releaseobject(object);
  table_.releaseobject(object);
  EXPECT_EQ(Delta(&host::Counters::liveObjects), 0u);
  // Gone: a further release or call is counted, and the freed block is not read.
  table_.releaseobject(object);
  EXPECT_FALSE(table_.hasmethod(nullptr, object, host::StringId("x")));
  EXPECT_EQ(Delta(&host::Counters::badObjectReleases), 1u);
  EXPECT_EQ(Delta(&host::Counters::badObjectUses), 1u);
}

TEST_F(HostTest, AllocateGetsTheInstanceAndAFailedAllocateMakesNoObject) {
  NPP_t npp = {};
  NPObject* object = table_.createobject(&npp, &fakeClass);
  EXPECT_EQ(static_cast<FakeObject*>(object)->npp, &npp);
  table_.releaseobject(object);
  NPClass failing = {};
  failing.allocate = [](NPP, NPClass*) -> NPObject* { return nullptr; };
  EXPECT_EQ(table_.createobject(&npp, &failing), nullptr);
  EXPECT_EQ(table_.createobject(&npp, nullptr), nullptr);
}

struct PushCase {
  host::Behaviour behaviour;
  bool returned;
  size_t length;
  size_t scriptExceptions;
};

TEST_F(HostTest, PushAppendsCopiesUnlessItsHookFailsOrThrows) {
  const PushCase cases[] = {
      {host::Behaviour::Normal, true, 2, 0},
      {host::Behaviour::Fail, false, 0, 0},
      {host::Behaviour::Throw, true, 0, 1},  // swallowed by the engine: success, nothing appended
  };
  for (const PushCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.behaviour));
    const host::Counters start = host::GetCounters();
    NPObject* array = host::NewArray();
    uint32_t seen = 0;
    host::OnPush(array, [&](const NPVariant*, uint32_t argCount) {
      seen = argCount;
      return c.behaviour;
    });
    char text[] = "name";
    NPVariant args[2];
    STRINGN_TO_NPVARIANT(text, 4, args[0]);
    INT32_TO_NPVARIANT(9, args[1]);
    NPVariant result;
    EXPECT_TRUE(table_.hasmethod(nullptr, array, host::StringId("push")));
    EXPECT_EQ(table_.invoke(nullptr, array, host::StringId("push"), args, 2, &result), c.returned);
    EXPECT_EQ(seen, 2u);
    EXPECT_EQ(host::ArrayLength(array), c.length);
    EXPECT_EQ(host::GetCounters().scriptExceptions - start.scriptExceptions, c.scriptExceptions);
    EXPECT_FALSE(host::TakeException(nullptr));
    if (c.length) {
      EXPECT_EQ(result.type, NPVariantType_Int32);
      text[0] = 'N';  // the element is a copy
      EXPECT_EQ(host::TextOf(host::ArrayElement(array, 0)), "name");
      EXPECT_EQ(host::ArrayElement(array, 1).value.intValue, 9);
    } else {
      EXPECT_EQ(result.type, NPVariantType_Void);
    }
    host::ReleaseObject(array);
  }
  // A plain object has a method for every property that is not undefined, and none can be called.
  NPObject* plain = host::NewObject();
  EXPECT_FALSE(table_.hasmethod(nullptr, plain, host::StringId("push")));
  NPVariant number;
  DOUBLE_TO_NPVARIANT(1, number);
  host::SetProperty(plain, "push", number);
  EXPECT_TRUE(table_.hasmethod(nullptr, plain, host::StringId("push")));
  NPVariant result;
  EXPECT_FALSE(table_.invoke(nullptr, plain, host::StringId("push"), &number, 1, &result));
  host::ReleaseObject(plain);
}

TEST_F(HostTest, PropertiesAreReadAsCopiesOrFailAsScripted) {
  NPObject* object = host::NewObject();
  NPVariant text = host::StringValue("QUJD");
  host::SetProperty(object, "data", text);
  host::Release(text);
  host::SetPropertyBehaviour(object, "printer", host::Behaviour::Fail);
  host::SetPropertyBehaviour(object, "other", host::Behaviour::Throw);

  EXPECT_TRUE(table_.hasproperty(nullptr, object, host::StringId("data")));
  EXPECT_TRUE(table_.hasproperty(nullptr, object, host::StringId("printer")));
  EXPECT_FALSE(table_.hasproperty(nullptr, object, host::StringId("missing")));
  NPVariant value;
  ASSERT_TRUE(table_.getproperty(nullptr, object, host::StringId("data"), &value));
  EXPECT_EQ(host::TextOf(value), "QUJD");
  table_.releasevariantvalue(&value);
  EXPECT_FALSE(table_.getproperty(nullptr, object, host::StringId("printer"), &value));
  // A getter that throws reads as null, its exception swallowed.
  EXPECT_TRUE(table_.getproperty(nullptr, object, host::StringId("other"), &value));
  EXPECT_EQ(value.type, NPVariantType_Null);
  EXPECT_FALSE(table_.getproperty(nullptr, object, host::StringId("missing"), &value));
  EXPECT_EQ(value.type, NPVariantType_Void);
  EXPECT_EQ(host::PropertyReads(object), 4u);
  EXPECT_EQ(Delta(&host::Counters::scriptExceptions), 1u);
  EXPECT_EQ(Delta(&host::Counters::badReleases), 0u);
  host::ReleaseObject(object);
}

// The exception of a call is its own: a nested call's does not leak into the call around it, nor does
// script that throws inside a call the plug-in made.
TEST_F(HostTest, EachCallCollectsItsOwnException) {
  host::Instance instance(plugin_);
  host::CallOutcome raised = instance.Call("raise");
  EXPECT_TRUE(raised.threw);
  EXPECT_EQ(raised.exception, "raised");
  EXPECT_FALSE(raised.returned);
  EXPECT_EQ(raised.scriptError, host::kGenericCallError) << "a method that fails loses its text";

  NPObject* array = host::NewArray();
  host::CallOutcome inner;
  uint32_t countInside = 0;
  host::OnPush(array, [&](const NPVariant*, uint32_t) {
    inner = instance.Call("raise");
    countInside = host::ReferenceCount(instance.ScriptObject());
    return host::Behaviour::Throw;
  });
  const uint32_t countOutside = host::ReferenceCount(instance.ScriptObject());
  std::vector<NPVariant> args = {host::ObjectValue(array), host::StringValue("x")};
  host::CallOutcome outer = instance.Call("forward", args);
  EXPECT_TRUE(inner.threw);
  EXPECT_TRUE(outer.returned);
  EXPECT_FALSE(outer.threw);
  EXPECT_EQ(outer.resultType, NPVariantType_Bool);
  EXPECT_TRUE(outer.resultBool) << "the engine swallows the push's exception";
  // The engine takes no reference of its own for the call under way.
  EXPECT_EQ(countInside, countOutside);

  host::CallOutcome unknown = instance.Call("missing");
  EXPECT_FALSE(unknown.hasMethod);
  EXPECT_EQ(instance.Call("count").resultInt, 4);  // raise, forward, raise, count
  for (NPVariant& arg : args) host::Release(arg);
  host::ReleaseObject(array);
}

// As QtWebKit removes an element: the window goes, then the instance, then the browser's reference to
// the object, at once outside a call on it.
TEST_F(HostTest, DestroyTakesTheWindowAwayThenTheInstanceThenTheObject) {
  lifecycle.clear();
  {
    host::Instance instance(plugin_);
    ASSERT_NE(instance.ScriptObject(), nullptr);
    instance.Destroy();
    EXPECT_EQ(host::GetCounters().liveObjects, before_.liveObjects);
    EXPECT_FALSE(instance.Call("count").hasMethod);
  }
  EXPECT_EQ(lifecycle, (std::vector<std::string>{"setwindow none", "destroy, references 2"}));
}

}  // namespace
