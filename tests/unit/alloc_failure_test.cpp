// Every allocation that a script method or an instance callback makes, failed in turn, from the module
// heap and from NPN_MemAlloc alike: the call gives its documented answer (one of the module's messages,
// or false), nothing stays allocated, and the same call made again without a failure works.
#include <ctype.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/interfaces_double.h"
#include "tests/doubles/spooler_double.h"
#include "tests/unit/host_fixture.h"

namespace {

// What a page sees of one call, in a form that compares as a whole: what invoke returned, the exception
// (or "-"), the result variant, and what the call did (a printed document, the names pushed).
std::string Describe(const host::CallOutcome& outcome) {
  std::string text = outcome.returned ? "true|" : "false|";
  text += outcome.threw ? outcome.exception : "-";
  switch (outcome.resultType) {
    case NPVariantType_Void: return text + "|void";
    case NPVariantType_Null: return text + "|null";
    case NPVariantType_Bool: return text + (outcome.resultBool ? "|bool:true" : "|bool:false");
    case NPVariantType_String: return text + "|string:" + outcome.resultText;
    default: return text + "|other";
  }
}

// One page element and the script values a scenario made for it. Its objects and its instance go
// when it goes, as when a page is left.
struct Page {
  explicit Page(host::Plugin& plugin) : plugin(plugin) {}
  ~Page() {
    for (NPObject* object : objects) host::ReleaseObject(object);
  }
  NPObject* Keep(NPObject* object) {
    objects.push_back(object);
    return object;
  }
  host::Instance& Create() {
    instance = std::make_unique<host::Instance>(plugin);
    return *instance;
  }

  host::Plugin& plugin;
  std::unique_ptr<host::Instance> instance;
  std::vector<NPObject*> objects;
};

struct Scenario {
  const char* what;
  std::function<void()> script;         // the platform the call meets (doubles)
  std::function<void(Page&)> prepare;   // runs before the call, with no failure armed
  std::function<std::string(Page&)> call;
  bool againOnSamePage;                 // the follow-up call reuses the page (script methods)
  std::string normal;                   // the answer when every allocation succeeds
  // The answer when the n-th allocation of the call (index n - 1) fails; "" stands for `normal`.
  std::vector<std::string> moduleHeap;
  std::vector<std::string> browserMemory;
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.what; }

// ---- The calls ----

std::string CallPrint(Page& page, const std::string& data, const char* printer) {
  NPObject* argument = page.Keep(host::NewObject());
  NPVariant value = host::StringValue(data);
  host::SetProperty(argument, "data", value);
  host::Release(value);
  if (printer) {
    value = host::StringValue(printer);
    host::SetProperty(argument, "printer", value);
    host::Release(value);
  }
  const size_t jobs = doubles::PrintedJobs().size();
  std::vector<NPVariant> args = {host::ObjectValue(argument)};
  std::string text = Describe(page.instance->Call("print", args));
  host::Release(args[0]);
  if (doubles::PrintedJobs().size() > jobs) text += "|printed " + doubles::PrintedJobs().back();
  return text;
}

std::string CallList(Page& page, const char* method) {
  NPObject* array = page.Keep(host::NewArray());
  std::vector<NPVariant> args = {host::ObjectValue(array)};
  std::string text = Describe(page.instance->Call(method, args));
  host::Release(args[0]);
  text += "|pushed";
  for (size_t i = 0; i < host::ArrayLength(array); ++i) {
    text += " " + host::TextOf(host::ArrayElement(array, i));
  }
  return text;
}

void NoPage(Page&) {}

void NewPage(Page& page) { page.Create(); }

void NewPageWithObject(Page& page) { page.Create().ScriptObject(); }

void NewPageWithKeptMessage(Page& page) { page.Create().Call("getPrinters"); }

std::string CallNew(Page& page) {
  page.instance.reset();
  host::Instance& instance = page.Create();
  return "NPP_New " + std::to_string(instance.created()) +
         (instance.npp()->pdata ? ", pdata set" : ", pdata null");
}

std::string CallGetValue(Page& page) {
  NPObject* object = nullptr;
  const NPError error = page.plugin.Funcs().getvalue(page.instance->npp(), NPPVpluginScriptableNPObject, &object);
  std::string text = "NPP_GetValue " + std::to_string(error);
  text += object == page.instance->ScriptObject() ? ", the instance's object" : ", another object";
  if (object) host::ReleaseObject(object);  // the reference NPP_GetValue handed out
  return text;
}

std::string CallDestroy(Page& page) {
  host::Instance& instance = *page.instance;
  const size_t objects = host::GetCounters().liveObjects;
  instance.Destroy();
  return std::string("NPP_Destroy, pdata ") + (instance.npp()->pdata ? "set" : "null") +
         (host::GetCounters().liveObjects == objects ? ", object kept by the browser" : ", object gone") +
         (instance.Call("getVersion").hasMethod ? ", still scriptable" : ", no longer scriptable");
}

// ---- The platform the calls meet ----

const char kUtf8Buero[] = "B\xC3\xBCro";  // "Büro": its UTF-8 bytes, and its bytes in code page 1252
const char kAnsiBuero[] = "B\xFCro";

void Spooler() {
  doubles::SetDefaultPrinter("Default");
  doubles::AddPrinter("Label");
  doubles::AddPrinter(kAnsiBuero);
  doubles::SetPrinters({"Label", kAnsiBuero});
}

void SpoolerInUtf8() {
  doubles::SetAnsiCodePage(CP_UTF8);
  doubles::AddPrinter(kUtf8Buero);
  doubles::SetPrinters({kUtf8Buero});
}

void ThreePrinters() { doubles::SetPrinters({"Label", kAnsiBuero, "\\\\srv\\Office"}); }

void Interfaces(size_t ethernetRows) {
  std::vector<doubles::InterfaceRow> rows = {doubles::LoopbackRow()};
  for (size_t i = 0; i < ethernetRows; ++i) {
    rows.push_back(doubles::EthernetRow({0x00, 0x1A, 0x2B, 0x3C, 0x4D, static_cast<uint8_t>(0x5E + i)}));
  }
  doubles::SetInterfaces(rows);
}

void Nothing() {}

// ---- Documented answers ----

const char kPrintFailed[] = "true|?413 print failed|void";
const char kPrintersFailed[] = "false|?303 getPrinters failed|bool:false|pushed";
const char kAddressesFailed[] = "false|?201 getMacAddresses failed|bool:false|pushed";
const char kNoMemory[] = "false|-|void";  // getVersion, getLastError: nothing written, no exception
const char kNewFailed[] = "NPP_New 5, pdata null";  // NPERR_OUT_OF_MEMORY_ERROR

const Scenario kScenarios[] = {
    {"NPP_New", Nothing, NoPage, CallNew, false, "NPP_New 0, pdata set",
     {kNewFailed, kNewFailed}, {}},
    {"NPP_GetValue", Nothing, NewPage, CallGetValue, true, "NPP_GetValue 0, the instance's object", {}, {}},
    {"NPP_Destroy", Nothing, NewPageWithObject, CallDestroy, false,
     "NPP_Destroy, pdata null, object gone, no longer scriptable", {}, {}},
    // The decode buffer, then the default printer's name; a name that cannot be had is asked again.
    {"print to the default printer", Spooler, NewPage,
     [](Page& page) { return CallPrint(page, "QUJD", nullptr); }, true, "true|-|void|printed ABC",
     {kPrintFailed, ""}, {}},
    // The decode buffer, the name in UTF-16, the name in the code page, the enumeration buffer and the
    // printer list it is looked up in.
    {"print to a named printer", Spooler, NewPage,
     [](Page& page) { return CallPrint(page, "QUJDRA==", "Label"); }, true, "true|-|void|printed ABCD",
     {kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed}, {}},
    {"print to a printer with a national name", Spooler, NewPage,
     [](Page& page) { return CallPrint(page, "QUI=", kUtf8Buero); }, true, "true|-|void|printed AB",
     {kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed}, {}},
    // The same, then the name and the entry in UTF-16 for the comparison that ignores letter case.
    {"print to a named printer in other letter case", Spooler, NewPage,
     [](Page& page) { return CallPrint(page, "QUJDRA==", "LABEL"); }, true, "true|-|void|printed ABCD",
     {kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed}, {}},
    // A UTF-8 code page: the decode buffer, the name's copy, the enumeration buffer and the list.
    {"print to a national name in a UTF-8 code page", SpoolerInUtf8, NewPage,
     [](Page& page) { return CallPrint(page, "QQ==", kUtf8Buero); }, true, "true|-|void|printed A",
     {kPrintFailed, kPrintFailed, kPrintFailed, kPrintFailed}, {}},
    // The enumeration buffer, the list, then the list in UTF-16 and in UTF-8.
    {"getPrinters with three printers", ThreePrinters, NewPage,
     [](Page& page) { return CallList(page, "getPrinters"); }, true,
     "true|-|bool:true|pushed Label B\xC3\xBCro \\\\srv\\Office",
     {kPrintersFailed, kPrintersFailed, kPrintersFailed, kPrintersFailed}, {}},
    // The interface table, then the list.
    {"getMacAddresses with two rows", [] { Interfaces(1); }, NewPage,
     [](Page& page) { return CallList(page, "getMacAddresses"); }, true,
     "true|-|bool:true|pushed 00:1A:2B:3C:4D:5E", {kAddressesFailed, kAddressesFailed}, {}},
    // More rows than the first table holds: a second, larger table.
    {"getMacAddresses with five rows", [] { Interfaces(4); }, NewPage,
     [](Page& page) { return CallList(page, "getMacAddresses"); }, true,
     "true|-|bool:true|pushed 00:1A:2B:3C:4D:5E 00:1A:2B:3C:4D:5F 00:1A:2B:3C:4D:60 00:1A:2B:3C:4D:61",
     {kAddressesFailed, kAddressesFailed, kAddressesFailed}, {}},
    {"getVersion", Nothing, NewPage, [](Page& page) { return Describe(page.instance->Call("getVersion")); },
     true, "true|-|string:0.0.0.11", {}, {kNoMemory}},
    // The kept message survives a copy that failed: the follow-up call still hands it out.
    {"getLastError with a kept message", Nothing, NewPageWithKeptMessage,
     [](Page& page) { return Describe(page.instance->Call("getLastError")); }, true,
     "true|-|string:?101 expect one array argument", {}, {kNoMemory}},
    {"getLastError with nothing kept", Nothing, NewPage,
     [](Page& page) { return Describe(page.instance->Call("getLastError")); }, true, "true|-|null", {}, {}},
};

enum class Allocator { ModuleHeap, BrowserMemory };

class AllocationFailureTest : public ModuleTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  // The allocations the call made of each kind, measured in a round without failures.
  struct Reached {
    size_t moduleHeap;
    size_t browserMemory;
  };

  // One round on a new page: prepared, then the call with the n-th allocation of `allocator` failing
  // (0: none), then, if that call failed, the same call again with nothing failing. The page is then
  // left, and nothing of it may remain.
  std::string Round(Allocator allocator, size_t n, Reached* reached) {
    const Scenario& scenario = GetParam();
    std::string answer;
    {
      Page page(plugin_);
      scenario.prepare(page);
      const size_t blocks = doubles::LiveBlocks();
      const size_t moduleCalls = doubles::AllocCalls();
      const size_t browserCalls = host::GetCounters().memAllocCalls;
      if (allocator == Allocator::ModuleHeap) doubles::FailAllocAt(n);
      if (allocator == Allocator::BrowserMemory) host::FailMemAllocAt(n);

      answer = scenario.call(page);

      doubles::FailAllocAt(0);
      host::FailMemAllocAt(0);
      if (reached) *reached = {doubles::AllocCalls() - moduleCalls, host::GetCounters().memAllocCalls - browserCalls};
      if (scenario.againOnSamePage) {
        // A script method keeps nothing of its own past the call (the browser's blocks, which the
        // page's values hold too, are counted when the page is gone), and leaves the instance usable.
        EXPECT_EQ(doubles::LiveBlocks(), blocks) << "module blocks left by the call";
        if (answer != scenario.normal) EXPECT_EQ(scenario.call(page), scenario.normal) << "the same call again";
      }
    }
    if (!scenario.againOnSamePage && answer != scenario.normal) {
      Page page(plugin_);
      scenario.prepare(page);
      EXPECT_EQ(scenario.call(page), scenario.normal) << "the same call on a new page";
    }
    EXPECT_EQ(doubles::LiveBlocks(), 0u) << "module blocks left after the page";
    const host::Counters after = host::GetCounters();
    EXPECT_EQ(after.memAllocBlocks, CountersBefore().memAllocBlocks) << "browser blocks left after the page";
    EXPECT_EQ(after.liveObjects, CountersBefore().liveObjects) << "objects left after the page";
    EXPECT_EQ(after.badReleases, CountersBefore().badReleases);
    EXPECT_EQ(after.badObjectReleases, CountersBefore().badObjectReleases);
    EXPECT_EQ(after.badObjectUses, CountersBefore().badObjectUses);
    return answer;
  }
};

TEST_P(AllocationFailureTest, EveryAllocationFailsInTurn) {
  const Scenario& scenario = GetParam();
  scenario.script();
  Reached reached{};
  ASSERT_EQ(Round(Allocator::ModuleHeap, 0, &reached), scenario.normal);
  // The tables name every allocation the call reaches; a new one must be added to them.
  ASSERT_EQ(reached.moduleHeap, scenario.moduleHeap.size()) << "module heap allocations reached";
  ASSERT_EQ(reached.browserMemory, scenario.browserMemory.size()) << "NPN_MemAlloc calls reached";

  const struct {
    Allocator allocator;
    const std::vector<std::string>& answers;
  } kinds[] = {{Allocator::ModuleHeap, scenario.moduleHeap}, {Allocator::BrowserMemory, scenario.browserMemory}};
  for (const auto& kind : kinds) {
    // One past the last allocation: armed, never reached, nothing changes.
    for (size_t n = 1; n <= kind.answers.size() + 1; ++n) {
      SCOPED_TRACE(testing::Message() << (kind.allocator == Allocator::ModuleHeap ? "module heap" : "NPN_MemAlloc")
                                      << " allocation " << n << " of " << kind.answers.size());
      const std::string& expected = n <= kind.answers.size() ? kind.answers[n - 1] : std::string();
      EXPECT_EQ(Round(kind.allocator, n, nullptr), expected.empty() ? scenario.normal : expected);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCall, AllocationFailureTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           std::string name;
                           for (const char* c = info.param.what; *c; ++c) name += isalnum(*c) ? *c : '_';
                           return name;
                         });

}  // namespace
