// Plug-in instances: creation and its failures, destruction, the scriptable object's references, the
// object left behind by a destroyed instance, and the callbacks that do nothing of their own.
#include <string.h>

#include "plugin/browser_funcs.h"
#include "plugin/entry_points.h"
#include "plugin/instance.h"
#include "plugin/script_object.h"
#include "tests/unit/host_fixture.h"

namespace {

char kMimeType[] = "application/x-vnd-tovi-print";

InstanceState* StateOf(host::Instance& instance) {
  return static_cast<InstanceState*>(instance.npp()->pdata);
}

class InstanceTest : public ModuleTest {
 protected:
  const NPPluginFuncs& Funcs() { return plugin_.Funcs(); }

  // The scriptable object as the browser asks for it; the reference is the caller's.
  NPObject* QueryObject(NPP npp) {
    NPObject* object = nullptr;
    EXPECT_EQ(Funcs().getvalue(npp, NPPVpluginScriptableNPObject, &object), NPERR_NO_ERROR);
    return object;
  }
};

TEST_F(InstanceTest, NewInstanceOwnsOneObjectThatKnowsItsInstance) {
  host::Instance& instance = NewInstance();
  ASSERT_EQ(instance.created(), NPERR_NO_ERROR);
  InstanceState* state = StateOf(instance);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->lastError, nullptr);
  ASSERT_NE(state->scriptObject, nullptr);
  EXPECT_EQ(host::ReferenceCount(state->scriptObject), 1u);
  EXPECT_EQ(state->scriptObject->_class, &PrintScriptClass);
  EXPECT_EQ(static_cast<PrintScriptObject*>(state->scriptObject)->npp, instance.npp());
  EXPECT_EQ(doubles::LiveBlocks(), 2u);  // the record and the object
  EXPECT_EQ(host::GetCounters().liveObjects, CountersBefore().liveObjects + 1);
}

struct OutOfMemoryCase {
  const char* what;
  size_t failingModuleAlloc;  // 0: the heap serves, the browser's createobject fails
};

const OutOfMemoryCase kOutOfMemoryCases[] = {
    {"instance record", 1},
    {"object block", 2},
    {"createobject answers null", 0},
};

NPObject* CreateNoObject(NPP, NPClass*) { return nullptr; }

TEST_F(InstanceTest, NewWithoutMemoryFailsWithNothingLeftAndNoData) {
  for (const OutOfMemoryCase& c : kOutOfMemoryCases) {
    SCOPED_TRACE(c.what);
    NPNetscapeFuncs table = host::BrowserTable();
    if (c.failingModuleAlloc == 0) table.createobject = CreateNoObject;
    ASSERT_EQ(NP_Initialize(&table), NPERR_NO_ERROR);
    doubles::FailAllocAt(c.failingModuleAlloc);

    NPP_t npp = {nullptr, nullptr};
    EXPECT_EQ(Funcs().newp(kMimeType, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr),
              NPERR_OUT_OF_MEMORY_ERROR);
    EXPECT_EQ(npp.pdata, nullptr);
    EXPECT_EQ(doubles::LiveBlocks(), 0u);
    EXPECT_EQ(host::GetCounters().liveObjects, CountersBefore().liveObjects);
    doubles::FailAllocAt(0);
  }
  NPNetscapeFuncs table = host::BrowserTable();
  ASSERT_EQ(NP_Initialize(&table), NPERR_NO_ERROR);
  // The host does not destroy an instance whose creation failed; nothing of it is reachable.
  doubles::FailAllocAt(1);
  host::Instance& failed = NewInstance();
  EXPECT_EQ(failed.created(), NPERR_OUT_OF_MEMORY_ERROR);
  EXPECT_EQ(failed.ScriptObject(), nullptr);
  EXPECT_FALSE(failed.Call("getVersion").hasMethod);
}

// A second NPP_New on a live instance would lose its record and leave its object attached to nothing.
TEST_F(InstanceTest, SecondNewOnALiveInstanceIsRefusedAndChangesNothing) {
  host::Instance& instance = NewInstance();
  ASSERT_NE(instance.ScriptObject(), nullptr);
  void* state = instance.npp()->pdata;
  const size_t blocks = doubles::LiveBlocks();
  EXPECT_EQ(Funcs().newp(kMimeType, instance.npp(), NP_EMBED, 0, nullptr, nullptr, nullptr),
            NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(instance.npp()->pdata, state);
  EXPECT_EQ(doubles::LiveBlocks(), blocks);
  EXPECT_TRUE(instance.Call("getLastError").returned);
}

TEST_F(InstanceTest, DestroyWithoutDataDoesNothing) {
  NPP_t npp = {nullptr, nullptr};
  EXPECT_EQ(Funcs().destroy(&npp, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(npp.pdata, nullptr);

  host::Instance& instance = NewInstance();
  instance.Destroy();
  EXPECT_EQ(instance.npp()->pdata, nullptr);
  EXPECT_EQ(Funcs().destroy(instance.npp(), nullptr), NPERR_NO_ERROR);  // a second destroy
  EXPECT_EQ(doubles::LiveBlocks(), 0u);
}

TEST_F(InstanceTest, EveryObjectQueryHandsOutTheSameObjectWithOneMoreReference) {
  host::Instance& instance = NewInstance();
  NPObject* first = QueryObject(instance.npp());
  NPObject* second = QueryObject(instance.npp());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, StateOf(instance)->scriptObject);
  EXPECT_EQ(host::ReferenceCount(first), 3u);
  host::ReleaseObject(first);
  host::ReleaseObject(second);
  EXPECT_EQ(host::ReferenceCount(first), 1u);
}

TEST_F(InstanceTest, DestroyGivesUpTheInstanceReferenceOnly) {
  host::Instance& instance = NewInstance();
  NPObject* object = QueryObject(instance.npp());
  instance.Destroy();
  // The browser's reference keeps the object; the instance record is gone.
  EXPECT_EQ(host::ReferenceCount(object), 1u);
  EXPECT_EQ(doubles::LiveBlocks(), 1u);
  EXPECT_EQ(static_cast<PrintScriptObject*>(object)->npp, nullptr);
  host::ReleaseObject(object);
  EXPECT_EQ(doubles::LiveBlocks(), 0u);
  EXPECT_EQ(host::GetCounters().liveObjects, CountersBefore().liveObjects);
}

// The browser frees its NPP after NPP_Destroy; a script that still holds the object must not lead the
// module to that memory (ASan reports any read of it) nor to the freed instance record. An NPP whose
// pdata a browser cleared holds no instance either.
TEST_F(InstanceTest, DetachedObjectAnswersEveryCallWithFalseAndTouchesNothing) {
  for (const bool destroyed : {true, false}) {
    SCOPED_TRACE(destroyed ? "instance destroyed, NPP freed" : "NPP without pdata");
    NPP npp = new NPP_t{nullptr, nullptr};
    ASSERT_EQ(Funcs().newp(kMimeType, npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    NPObject* object = QueryObject(npp);
    void* state = npp->pdata;
    if (destroyed) {
      ASSERT_EQ(Funcs().destroy(npp, nullptr), NPERR_NO_ERROR);
      delete npp;
    } else {
      npp->pdata = nullptr;
    }

    const host::Counters before = host::GetCounters();
    const NPClass* slots = object->_class;
    NPVariant result;
    memset(&result, 0x5C, sizeof(result));
    const NPVariant sentinel = result;
    NPVariant arg;
    INT32_TO_NPVARIANT(1, arg);
    for (NPIdentifier name : {MethodIds.getVersion, MethodIds.getLastError, MethodIds.print,
                              MethodIds.getPrinters, MethodIds.getMacAddresses, MethodIds.push}) {
      EXPECT_FALSE(slots->hasMethod(object, name));
      EXPECT_FALSE(slots->invoke(object, name, &arg, 1, &result));
      EXPECT_FALSE(slots->hasProperty(object, name));
      EXPECT_FALSE(slots->getProperty(object, name, &result));
    }
    EXPECT_FALSE(slots->invokeDefault(object, &arg, 1, &result));
    EXPECT_EQ(memcmp(&result, &sentinel, sizeof(result)), 0);
    EXPECT_EQ(host::GetCounters().memAllocCalls, before.memAllocCalls);
    EXPECT_FALSE(host::TakeException(nullptr));
    if (!destroyed) {
      npp->pdata = state;
      ASSERT_EQ(Funcs().destroy(npp, nullptr), NPERR_NO_ERROR);
      delete npp;
    }
    host::ReleaseObject(object);
  }
}

TEST_F(InstanceTest, HostCallsOnADestroyedInstanceFindNoMethod) {
  host::Instance& instance = NewInstance();
  ASSERT_NE(instance.ScriptObject(), nullptr);
  instance.Destroy();
  for (const char* method : {"getVersion", "getLastError"}) {
    host::CallOutcome outcome = instance.Call(method);
    EXPECT_FALSE(outcome.hasMethod) << method;
    EXPECT_FALSE(outcome.returned) << method;
    EXPECT_FALSE(outcome.threw) << method;
  }
}

struct InstanceValueCase {
  NPPVariable variable;
  NPError expected;
  const void* stored;  // null: value left alone
};

TEST_F(InstanceTest, GetValueAnswersNameDescriptionAndObjectOnly) {
  host::Instance& instance = NewInstance();
  const InstanceValueCase cases[] = {
      {NPPVpluginNameString, NPERR_NO_ERROR, kPluginName},
      {NPPVpluginDescriptionString, NPERR_NO_ERROR, kPluginDescription},
      {NPPVpluginScriptableNPObject, NPERR_NO_ERROR, StateOf(instance)->scriptObject},
      {NPPVpluginNeedsXEmbed, NPERR_GENERIC_ERROR, nullptr},
      {NPPVpluginWindowBool, NPERR_GENERIC_ERROR, nullptr},
  };
  int sentinel;
  for (const InstanceValueCase& c : cases) {
    SCOPED_TRACE(c.variable);
    const void* value = &sentinel;
    EXPECT_EQ(Funcs().getvalue(instance.npp(), c.variable, &value), c.expected);
    EXPECT_EQ(value, c.stored ? c.stored : &sentinel);
  }
  NPObject* object = StateOf(instance)->scriptObject;
  EXPECT_EQ(host::ReferenceCount(object), 2u);
  host::ReleaseObject(object);

  // No place to store the object, or no instance any more: nothing handed out, no reference taken.
  EXPECT_EQ(Funcs().getvalue(instance.npp(), NPPVpluginScriptableNPObject, nullptr), NPERR_GENERIC_ERROR);
  EXPECT_EQ(host::ReferenceCount(object), 1u);
  instance.Destroy();
  const void* value = &sentinel;
  EXPECT_EQ(Funcs().getvalue(instance.npp(), NPPVpluginScriptableNPObject, &value), NPERR_GENERIC_ERROR);
  EXPECT_EQ(value, &sentinel);
}

TEST_F(InstanceTest, StreamsAreAcceptedAndDiscarded) {
  host::Instance& instance = NewInstance();
  NPP npp = instance.npp();
  NPStream stream = {};
  uint16_t type = 0xFFFF;
  EXPECT_EQ(Funcs().newstream(npp, kMimeType, &stream, 0, &type), NPERR_NO_ERROR);
  EXPECT_EQ(type, NP_NORMAL);
  EXPECT_EQ(Funcs().writeready(npp, &stream), 1023);
  // The buffer is never read: a null buffer with any length is consumed whole.
  EXPECT_EQ(Funcs().write(npp, &stream, 0, 0, nullptr), 0);
  EXPECT_EQ(Funcs().write(npp, &stream, 0, 4096, nullptr), 4096);
  EXPECT_EQ(Funcs().write(npp, &stream, -5, 1023, nullptr), 1023);
  EXPECT_EQ(Funcs().destroystream(npp, &stream, 0), NPERR_NO_ERROR);
  EXPECT_EQ(Funcs().setwindow(npp, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(Funcs().event(npp, nullptr), 0);
  EXPECT_EQ(Funcs().setvalue(npp, NPNVprivateModeBool, nullptr), NPERR_NO_ERROR);
  Funcs().urlnotify(npp, "http://localhost/", 0, nullptr);
  EXPECT_EQ(host::GetCounters().memAllocCalls, CountersBefore().memAllocCalls);
  EXPECT_EQ(StateOf(instance)->lastError, nullptr);
}

}  // namespace
