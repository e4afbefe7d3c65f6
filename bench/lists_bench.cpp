// The list methods through the host: getPrinters with 10 to 10,000 printers and getMacAddresses with
// 10 to 1,000 interface rows. Each call fills a new page array, which is part of the time, as it is
// of a page's call; the same pushes made straight through the browser table, without the module, are
// timed as well, so that the page's own share shows. The output ends with the cost of each entry
// added from one size to the next: the same at every size when the cost grows linearly.
#include <stdio.h>

#include <string>
#include <vector>

#include "bench/median_summary.h"
#include "host/host.h"
#include "plugin/entry_points.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/interfaces_double.h"

namespace {

const int kPrinterCounts[] = {10, 100, 1000, 10000};
const int kInterfaceCounts[] = {10, 100, 1000};

host::Instance* page = nullptr;

std::vector<std::string> PrinterNames(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("Label printer " + std::to_string(100000 + i));
  return names;
}

std::vector<doubles::InterfaceRow> InterfaceRows(int count) {
  std::vector<doubles::InterfaceRow> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back(doubles::EthernetRow(
        {0x00, 0x1A, 0x2B, static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}));
  }
  return rows;
}

// Calls the method with a new array; the number of entries the array received, or -1 on a failure.
long long FillNewArray(const char* method) {
  NPObject* array = host::NewArray();
  NPVariant argument = host::ObjectValue(array);
  host::CallOutcome outcome = page->Call(method, {argument});
  host::Release(argument);
  const long long entries = outcome.threw ? -1 : static_cast<long long>(host::ArrayLength(array));
  host::ReleaseObject(array);
  return entries;
}

// The doubles log every platform call; the log is emptied now and then (outside the timing) so that
// it does not grow through millions of calls.
constexpr int64_t kCallsBetweenResets = 4096;

void RunList(benchmark::State& state, const char* method, int entries, void (*stage)(int entries)) {
  doubles::Reset();
  stage(entries);
  if (FillNewArray(method) != entries) {
    state.SkipWithError("the array did not receive every entry");
    return;
  }
  int64_t calls = 0;
  for (auto _ : state) {
    if (++calls % kCallsBetweenResets == 0) {
      state.PauseTiming();
      doubles::Reset();
      stage(entries);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(FillNewArray(method));
  }
  state.SetComplexityN(entries);
  state.counters["per_entry"] = benchmark::Counter(static_cast<double>(entries) * state.iterations(),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void StagePrinters(int count) { doubles::SetPrinters(PrinterNames(count)); }
void StageInterfaces(int count) { doubles::SetInterfaces(InterfaceRows(count)); }

void BM_GetPrinters(benchmark::State& state) {
  RunList(state, "getPrinters", static_cast<int>(state.range(0)), StagePrinters);
}

void BM_GetMacAddresses(benchmark::State& state) {
  RunList(state, "getMacAddresses", static_cast<int>(state.range(0)), StageInterfaces);
}

// What the page's side costs: a new array and one push per printer name, through the browser table
// as the module makes them, and the array's release.
void BM_PushesAlone(benchmark::State& state) {
  const std::vector<std::string> names = PrinterNames(static_cast<int>(state.range(0)));
  const NPNetscapeFuncs browser = host::BrowserTable();
  const NPIdentifier push = host::StringId("push");
  for (auto _ : state) {
    NPObject* array = host::NewArray();
    for (const std::string& name : names) {
      NPVariant argument;
      STRINGN_TO_NPVARIANT(name.data(), static_cast<uint32_t>(name.size()), argument);
      NPVariant result;
      VOID_TO_NPVARIANT(result);
      browser.invoke(page->npp(), array, push, &argument, 1, &result);
      browser.releasevariantvalue(&result);
    }
    host::ReleaseObject(array);
  }
  state.SetComplexityN(state.range(0));
}

double MedianSeconds(const MedianCollector& medians, const std::string& name, int entries) {
  const Median* median = medians.Find(name + "/" + std::to_string(entries));
  return median ? median->seconds : 0;
}

// At each size: the call's median, and the cost of each entry added since the size before (constant
// when the cost grows linearly) for the call, for the same pushes made without the module, and for
// the difference, the module's own share.
void PrintSummary(const MedianCollector& medians, const char* name, const int* counts, size_t n) {
  printf("\n%s: median CPU time per call; ns per entry added since the size before, = (time - time before) /\n"
         "(entries added), for the call, for the same pushes without the module, and their difference:\n",
         name);
  printf("  %7s %12s %10s %14s %16s\n", "entries", "call", "call", "pushes alone", "call - pushes");
  double lastCall = 0, lastPushes = 0;
  int lastCount = 0;
  for (size_t i = 0; i < n; ++i) {
    const double call = MedianSeconds(medians, name, counts[i]);
    const double pushes = MedianSeconds(medians, "PushesAlone", counts[i]);
    if (call <= 0 || pushes <= 0) continue;
    const double added = counts[i] - lastCount;
    const double callPerEntry = (call - lastCall) / added * 1e9;
    const double pushesPerEntry = (pushes - lastPushes) / added * 1e9;
    printf("  %7d %9.3f ms %10.1f %14.1f %16.1f\n", counts[i], call * 1e3, callPerEntry, pushesPerEntry,
           callPerEntry - pushesPerEntry);
    lastCall = call;
    lastPushes = pushes;
    lastCount = counts[i];
  }
}

}  // namespace

int main(int argc, char** argv) {
  doubles::Reset();
  host::Plugin plugin(host::PluginEntryPoints{NP_GetEntryPoints, NP_Initialize, NP_Shutdown,
                                              NP_GetMIMEDescription, NP_GetValue});
  if (plugin.Initialize() != NPERR_NO_ERROR) {
    fprintf(stderr, "lists_bench: the module did not initialise\n");
    return 1;
  }
  host::Instance instance(plugin);
  page = &instance;

  auto* printers = benchmark::RegisterBenchmark("GetPrinters", BM_GetPrinters);
  for (int count : kPrinterCounts) printers->Arg(count);
  printers->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
  auto* addresses = benchmark::RegisterBenchmark("GetMacAddresses", BM_GetMacAddresses);
  for (int count : kInterfaceCounts) addresses->Arg(count);
  addresses->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
  auto* pushes = benchmark::RegisterBenchmark("PushesAlone", BM_PushesAlone);
  for (int count : kPrinterCounts) pushes->Arg(count);
  pushes->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);

  MedianCollector medians;
  const bool ran = RunWithMedians(argc, argv, &medians);
  if (ran) {
    PrintSummary(medians, "GetPrinters", kPrinterCounts, sizeof(kPrinterCounts) / sizeof(int));
    PrintSummary(medians, "GetMacAddresses", kInterfaceCounts, sizeof(kInterfaceCounts) / sizeof(int));
  }
  instance.Destroy();
  return ran ? 0 : 1;
}
