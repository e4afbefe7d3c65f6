// The print path: print({data, printer}) of a 16 MiB document through the host, with the spooler
// double accepting everything, against the decoder alone on the same text. The host and the double
// do work of their own in that call (the host copies the data string for the property read, the
// double keeps a copy of every byte written), so the call is also set against the same steps made
// without the method: what is left over is what the method adds.
#include <malloc.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "bench/base64_text.h"
#include "bench/median_summary.h"
#include "host/host.h"
#include "plugin/entry_points.h"
#include "platform/module_heap.h"
#include "printing/base64.h"
#include "tests/doubles/doubles.h"
#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/spooler_double.h"

namespace {

constexpr size_t kDocumentBytes = 16 << 20;
const char kPrinter[] = "Label";

struct PrintPage {
  host::Instance* instance = nullptr;
  NPObject* argument = nullptr;  // {data: the text, printer: kPrinter}
  std::string document;
  std::string text;
};

PrintPage page;

// A spooler with only the printer, listed as the only one (print opens only a listed printer), and
// no jobs kept from earlier calls.
void FreshSpooler() {
  doubles::ResetSpooler();
  doubles::AddPrinter(kPrinter);
  doubles::SetPrinters({kPrinter});
}

bool PrintOnce(std::string* failure) {
  NPVariant argument = host::ObjectValue(page.argument);
  host::CallOutcome outcome = page.instance->Call("print", {argument});
  host::Release(argument);
  if (outcome.threw) {
    *failure = "print raised " + outcome.exception;
    return false;
  }
  const std::vector<std::string>& jobs = doubles::PrintedJobs();
  if (jobs.size() != 1 || jobs[0] != page.document) {
    *failure = "the spooler did not receive the document";
    return false;
  }
  return true;
}

void BM_PrintThroughHost(benchmark::State& state) {
  FreshSpooler();
  std::string failure;
  if (!PrintOnce(&failure)) {
    state.SkipWithError(failure.c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    FreshSpooler();
    state.ResumeTiming();
    NPVariant argument = host::ObjectValue(page.argument);
    host::CallOutcome outcome = page.instance->Call("print", {argument});
    host::Release(argument);
    benchmark::DoNotOptimize(outcome.threw);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.text.size()));
}

void BM_DecoderAlone(benchmark::State& state) {
  std::vector<uint8_t> buffer(page.text.size());
  for (auto _ : state) {
    uint32_t length = static_cast<uint32_t>(buffer.size());
    Base64Status status =
        DecodeBase64(page.text.data(), static_cast<uint32_t>(page.text.size()), buffer.data(), &length);
    benchmark::DoNotOptimize(status);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.text.size()));
}

// The least any print of this text could do through this host and spooler, with the method's own
// steps left out: the host's copy of the data string for the property read, one decode into one
// buffer, and one job of the decoded bytes on the double, which keeps a copy of what it is given.
void BM_DecodeAndSpoolWithoutMethod(benchmark::State& state) {
  const NPNetscapeFuncs browser = host::BrowserTable();
  const NPIdentifier data = host::StringId("data");
  for (auto _ : state) {
    state.PauseTiming();
    FreshSpooler();
    state.ResumeTiming();
    NPVariant text;
    browser.getproperty(page.instance->npp(), page.argument, data, &text);
    const NPString& characters = text.value.stringValue;
    uint8_t* buffer = static_cast<uint8_t*>(ModuleAlloc(characters.UTF8Length));
    uint32_t length = characters.UTF8Length;
    DecodeBase64(characters.UTF8Characters, characters.UTF8Length, buffer, &length);

    HANDLE printer = nullptr;
    char name[] = "Label";
    char documentName[] = "raw document";
    char datatype[] = "RAW";
    DOC_INFO_1A info = {documentName, nullptr, datatype};
    DWORD written = 0;
    OpenPrinterA(name, &printer, nullptr);
    StartDocPrinterA(printer, 1, reinterpret_cast<LPBYTE>(&info));
    StartPagePrinter(printer);
    WritePrinter(printer, buffer, length, &written);
    EndPagePrinter(printer);
    EndDocPrinter(printer);
    ClosePrinter(printer);
    ModuleFree(buffer);
    browser.releasevariantvalue(&text);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.text.size()));
}

// The module's heap at its highest during one call, counted from the call's start.
size_t PeakHeapOfOneCall() {
  FreshSpooler();
  doubles::ResetHeap();  // counts from zero; the instance's own blocks stay valid
  std::string failure;
  if (!PrintOnce(&failure)) {
    fprintf(stderr, "print_path_bench: %s\n", failure.c_str());
    return 0;
  }
  return doubles::PeakBytes();
}

void PrintSummary(const MedianCollector& medians, size_t peak) {
  const Median* print = medians.Find("PrintThroughHost");
  const Median* decoder = medians.Find("DecoderAlone");
  const Median* least = medians.Find("DecodeAndSpoolWithoutMethod");
  if (!print || !decoder || !least) {
    printf("\nprint path: a benchmark did not run; no summary\n");
    return;
  }
  const double ms = 1e3;
  printf("\nPrint path, %zu-byte document (%zu Base64 characters), medians of CPU time:\n", page.document.size(),
         page.text.size());
  printf("  print through the host                 %8.2f ms\n", print->seconds * ms);
  printf("  decoder alone                          %8.2f ms\n", decoder->seconds * ms);
  printf("  decode and spool without the method    %8.2f ms  (host's property copy, decode, double's job copy)\n",
         least->seconds * ms);
  printf("  print / decoder alone                  %8s  (the rest is the host's and the double's copies)\n",
         FormatRatio(print->seconds, decoder->seconds).c_str());
  printf("  print / decode and spool without it    %8s  (at most 1.1: the method adds no pass or copy)\n",
         FormatRatio(print->seconds, least->seconds).c_str());

  const size_t decodeBuffer = page.text.size();
  const size_t nameCopy = sizeof(kPrinter);
  printf("\nModule heap during one print call: peak %zu bytes\n", peak);
  printf("  decode buffer (the text's length)   %zu\n", decodeBuffer);
  printf("  printer name copy (with its NUL)    %zu\n", nameCopy);
  printf("  beyond those                        %lld  (the name's UTF-16 form on its way to the code page)\n",
         static_cast<long long>(peak) - static_cast<long long>(decodeBuffer + nameCopy));
}

}  // namespace

int main(int argc, char** argv) {
  // Blocks of this size stay with the C library between iterations instead of going back to the
  // kernel, so every benchmark here times the work and not page faults on fresh memory.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  doubles::Reset();
  host::Plugin plugin(host::PluginEntryPoints{NP_GetEntryPoints, NP_Initialize, NP_Shutdown,
                                              NP_GetMIMEDescription, NP_GetValue});
  if (plugin.Initialize() != NPERR_NO_ERROR) {
    fprintf(stderr, "print_path_bench: the module did not initialise\n");
    return 1;
  }
  host::Instance instance(plugin);
  page.instance = &instance;
  page.document = RandomBytes(kDocumentBytes, 7);
  page.text = host::EncodeBase64(page.document);
  page.argument = host::NewObject();
  NPVariant value = host::StringValue(page.text);
  host::SetProperty(page.argument, "data", value);
  host::Release(value);
  value = host::StringValue(kPrinter);
  host::SetProperty(page.argument, "printer", value);
  host::Release(value);

  const size_t peak = PeakHeapOfOneCall();
  benchmark::RegisterBenchmark("PrintThroughHost", BM_PrintThroughHost)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DecoderAlone", BM_DecoderAlone)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DecodeAndSpoolWithoutMethod", BM_DecodeAndSpoolWithoutMethod)
      ->Unit(benchmark::kMillisecond);
  MedianCollector medians;
  const bool ran = RunWithMedians(argc, argv, &medians);
  if (ran) PrintSummary(medians, peak);

  host::ReleaseObject(page.argument);
  instance.Destroy();
  return ran ? 0 : 1;
}
