// The module's exports: which browsers NP_Initialize accepts, how much of the browser's table it keeps,
// the plug-in table NP_GetEntryPoints fills, and what NP_GetValue answers.
#include <string.h>

#include <string>
#include <vector>

#include "plugin/browser_funcs.h"
#include "plugin/entry_points.h"
#include "plugin/instance.h"
#include "tests/unit/host_fixture.h"

namespace {

// The host's table followed by bytes that belong to no slot, so that a size beyond the table can be
// offered and a short size leaves recognisable bytes after it.
struct OversizedTable {
  NPNetscapeFuncs table;
  unsigned char beyond[64];
};

OversizedTable TableOfSize(size_t size) {
  OversizedTable source;
  memset(&source, 0xA5, sizeof(source));
  source.table = host::BrowserTable();
  source.table.size = static_cast<uint16_t>(size);
  return source;
}

bool AllZero(const void* bytes, size_t from, size_t to) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (size_t i = from; i < to; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// What NP_Initialize writes, to show that a refusal changes nothing.
struct ModuleState {
  NPNetscapeFuncs table;
  MethodIdTable ids;
};

ModuleState Snapshot() { return ModuleState{BrowserFuncs, MethodIds}; }

bool Same(const ModuleState& a, const ModuleState& b) {
  return memcmp(&a.table, &b.table, sizeof(a.table)) == 0 && memcmp(&a.ids, &b.ids, sizeof(a.ids)) == 0;
}

// The size of a table that supplies the first `slots` function slots in this build's layout.
size_t SizeOfSlots(size_t slots) { return offsetof(NPNetscapeFuncs, geturl) + slots * sizeof(void*); }

class EntryPointsTest : public ModuleTest {
 protected:
  // The module back on the host's own table, for the instances the fixture destroys.
  void TearDown() override {
    NPNetscapeFuncs table = host::BrowserTable();
    NP_Initialize(&table);
    ModuleTest::TearDown();
  }
};

const char* UserAgent(NPP) { return "test"; }

struct VersionCase {
  uint8_t major;
  uint8_t minor;
  NPError expected;
};

const VersionCase kVersionCases[] = {
    {0, 14, NPERR_NO_ERROR},
    {0, 13, NPERR_INCOMPATIBLE_VERSION_ERROR},
    {1, 14, NPERR_INCOMPATIBLE_VERSION_ERROR},
    {0, 27, NPERR_NO_ERROR},
    {0, 0, NPERR_INCOMPATIBLE_VERSION_ERROR},
    {0, 255, NPERR_NO_ERROR},
    {255, 27, NPERR_INCOMPATIBLE_VERSION_ERROR},
};

TEST_F(EntryPointsTest, AcceptsOnlyMajorZeroFromMinorFourteen) {
  for (const VersionCase& c : kVersionCases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    // A slot that differs from the kept table, so that a refusal that copied anything would show.
    NPNetscapeFuncs table = host::BrowserTable();
    table.uagent = UserAgent;
    table.version = static_cast<uint16_t>(c.major << 8 | c.minor);
    const ModuleState before = Snapshot();
    EXPECT_EQ(NP_Initialize(&table), c.expected);
    if (c.expected == NPERR_NO_ERROR) {
      EXPECT_EQ(memcmp(&BrowserFuncs, &table, sizeof(table)), 0);
    } else {
      EXPECT_TRUE(Same(Snapshot(), before));
    }
    NPNetscapeFuncs host = host::BrowserTable();
    ASSERT_EQ(NP_Initialize(&host), NPERR_NO_ERROR);
  }
}

TEST_F(EntryPointsTest, RefusesNullAndTablesTooShortForTheSlotsItCalls) {
  const ModuleState before = Snapshot();
  EXPECT_EQ(NP_Initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  for (size_t size : {size_t(0), size_t(4), kBrowserTableSizeNeeded - 1}) {
    SCOPED_TRACE(size);
    OversizedTable source = TableOfSize(size);
    EXPECT_EQ(NP_Initialize(&source.table), NPERR_INVALID_FUNCTABLE_ERROR);
  }
  EXPECT_TRUE(Same(Snapshot(), before));
  OversizedTable enough = TableOfSize(kBrowserTableSizeNeeded);
  EXPECT_EQ(NP_Initialize(&enough.table), NPERR_NO_ERROR);
}

TEST_F(EntryPointsTest, ShortTableIsCopiedAsFarAsItsSizeAndTheRestStaysZero) {
  // 44 slots: 180 bytes in the 32-bit layout, and still every slot the module calls.
  const size_t size = SizeOfSlots(44);
  OversizedTable source = TableOfSize(size);
  ASSERT_EQ(NP_Initialize(&source.table), NPERR_NO_ERROR);
  EXPECT_EQ(memcmp(&BrowserFuncs, &source.table, size), 0);
  EXPECT_TRUE(AllZero(&BrowserFuncs, size, sizeof(BrowserFuncs)));
  EXPECT_EQ(BrowserFuncs.size, size);

  // The kept part is enough for everything the module does.
  host::Instance& instance = NewInstance();
  ASSERT_EQ(instance.created(), NPERR_NO_ERROR);
  EXPECT_EQ(instance.Call("getVersion").resultText, "0.0.0.11");
}

TEST_F(EntryPointsTest, SizeOf180IsEnoughOnlyInThe32BitLayout) {
  OversizedTable source = TableOfSize(180);
  const bool covers = 180 >= kBrowserTableSizeNeeded;
  EXPECT_EQ(covers, sizeof(void*) == 4);
  ASSERT_EQ(NP_Initialize(&source.table), covers ? NPERR_NO_ERROR : NPERR_INVALID_FUNCTABLE_ERROR);
  if (covers) {
    EXPECT_TRUE(AllZero(&BrowserFuncs, 180, sizeof(BrowserFuncs)));
  }
}

TEST_F(EntryPointsTest, LargerTableIsCopiedOnlyAsFarAsTheKeptTable) {
  // 256 in the 32-bit layout: 32 bytes beyond the 224 the module keeps.
  const size_t size = sizeof(NPNetscapeFuncs) + 32;
  OversizedTable source = TableOfSize(size);
  ASSERT_EQ(NP_Initialize(&source.table), NPERR_NO_ERROR);
  EXPECT_EQ(memcmp(&BrowserFuncs, &source.table, sizeof(BrowserFuncs)), 0);
  EXPECT_EQ(BrowserFuncs.size, size);
}

// Records the names the module interns, then interns them with the host.
std::vector<std::string> internedNames;
NPIdentifier RecordingGetStringIdentifier(const NPUTF8* name) {
  internedNames.push_back(name);
  return host::StringId(name);
}

TEST_F(EntryPointsTest, EachInitialisationKeepsTheNewTableAndInternsTheEightNamesAgain) {
  const std::vector<std::string> expected = {"print",        "getMacAddresses", "getVersion", "getPrinters",
                                             "getLastError", "printer",         "data",       "push"};
  for (uint16_t minor : {20, 27}) {
    NPNetscapeFuncs table = host::BrowserTable();
    table.version = minor;
    table.getstringidentifier = RecordingGetStringIdentifier;
    internedNames.clear();
    ASSERT_EQ(NP_Initialize(&table), NPERR_NO_ERROR);
    EXPECT_EQ(internedNames, expected);
    EXPECT_EQ(BrowserFuncs.version, minor);
  }
  const NPIdentifier* ids = &MethodIds.print;
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(ids[i], host::StringId(expected[i].c_str()));
}

TEST_F(EntryPointsTest, ShutdownReleasesNothingAndInitialiseWorksAgain) {
  const ModuleState before = Snapshot();
  EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
  EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
  EXPECT_TRUE(Same(Snapshot(), before));
  NPNetscapeFuncs table = host::BrowserTable();
  EXPECT_EQ(NP_Initialize(&table), NPERR_NO_ERROR);
  EXPECT_EQ(NewInstance().Call("getVersion").resultText, "0.0.0.11");
}

TEST_F(EntryPointsTest, GetEntryPointsFillsTheFourteenSlotsAndNothingElse) {
  NPPluginFuncs funcs;
  memset(&funcs, 0xA5, sizeof(funcs));
  funcs.size = 7;  // whatever the browser says
  NPPluginFuncs untouched = funcs;
  ASSERT_EQ(NP_GetEntryPoints(&funcs), NPERR_NO_ERROR);
  EXPECT_EQ(funcs.size, 7);
  EXPECT_EQ(funcs.version, 1);
  EXPECT_EQ(funcs.newp, &NPP_New);
  EXPECT_EQ(funcs.destroy, &NPP_Destroy);
  EXPECT_EQ(funcs.setwindow, &NPP_SetWindow);
  EXPECT_EQ(funcs.newstream, &NPP_NewStream);
  EXPECT_EQ(funcs.destroystream, &NPP_DestroyStream);
  EXPECT_EQ(funcs.asfile, nullptr);
  EXPECT_EQ(funcs.writeready, &NPP_WriteReady);
  EXPECT_EQ(funcs.write, &NPP_Write);
  EXPECT_EQ(funcs.print, nullptr);
  EXPECT_EQ(funcs.event, &NPP_HandleEvent);
  EXPECT_EQ(funcs.urlnotify, &NPP_URLNotify);
  EXPECT_EQ(funcs.javaClass, nullptr);
  EXPECT_EQ(funcs.getvalue, &NPP_GetValue);
  EXPECT_EQ(funcs.setvalue, &NPP_SetValue);
  const size_t end = offsetof(NPPluginFuncs, setvalue) + sizeof(funcs.setvalue);
  EXPECT_EQ(memcmp(reinterpret_cast<char*>(&funcs) + end, reinterpret_cast<char*>(&untouched) + end,
                   sizeof(funcs) - end),
            0);
  EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
}

struct ValueCase {
  NPPVariable variable;
  NPError expected;
  const char* text;  // what is stored, for the variables answered
};

const ValueCase kModuleValueCases[] = {
    {NPPVpluginNameString, NPERR_NO_ERROR, kPluginName},
    {NPPVpluginDescriptionString, NPERR_NO_ERROR, kPluginDescription},
    {NPPVpluginScriptableNPObject, NPERR_GENERIC_ERROR, nullptr},  // only per instance
    {NPPVpluginNeedsXEmbed, NPERR_GENERIC_ERROR, nullptr},
    {NPPVpluginWindowBool, NPERR_GENERIC_ERROR, nullptr},
};

TEST_F(EntryPointsTest, GetValueAnswersNameAndDescriptionOnly) {
  const char sentinel[] = "untouched";
  for (const ValueCase& c : kModuleValueCases) {
    SCOPED_TRACE(c.variable);
    const char* value = sentinel;
    EXPECT_EQ(NP_GetValue(nullptr, c.variable, &value), c.expected);
    EXPECT_EQ(value, c.text ? c.text : sentinel);
  }
  EXPECT_STREQ(kPluginName, "Ternaport Print Plugin");
  EXPECT_STREQ(kPluginDescription, "Print plugin.");
  EXPECT_EQ(NP_GetValue(nullptr, NPPVpluginNameString, nullptr), NPERR_GENERIC_ERROR);
}

TEST_F(EntryPointsTest, MimeDescriptionIsOneConstantText) {
  const char* first = NP_GetMIMEDescription();
  EXPECT_STREQ(first, "application/x-vnd-tovi-print::");
  EXPECT_EQ(NP_GetMIMEDescription(), first);
}

}  // namespace
