#include "bench/median_summary.h"

#include <stdio.h>

void MedianCollector::ReportRuns(const std::vector<Run>& runs) {
  benchmark::ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median" || run.error_occurred) continue;
    Median median;
    median.seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    auto rate = run.counters.find("bytes_per_second");
    if (rate != run.counters.end()) median.bytesPerSecond = rate->second.value;
    median.counters = run.counters;
    medians_[run.run_name.str()] = median;
  }
}

const Median* MedianCollector::Find(const std::string& name) const {
  auto it = medians_.find(name);
  return it == medians_.end() ? nullptr : &it->second;
}

bool RunWithMedians(int argc, char** argv, MedianCollector* collector) {
  std::vector<std::string> defaults = {
      "--benchmark_repetitions=7",
      "--benchmark_enable_random_interleaving=true",
      "--benchmark_display_aggregates_only=true",
  };
  std::vector<char*> arguments = {argv[0]};
  for (std::string& flag : defaults) arguments.push_back(&flag[0]);
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
  int count = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);

  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return false;
  benchmark::RunSpecifiedBenchmarks(collector);
  benchmark::Shutdown();
  return true;
}

std::string FormatRate(double bytesPerSecond) {
  if (bytesPerSecond <= 0) return "n/a";
  char text[32];
  if (bytesPerSecond >= 1e9) {
    snprintf(text, sizeof(text), "%.2f GB/s", bytesPerSecond / 1e9);
  } else {
    snprintf(text, sizeof(text), "%.1f MB/s", bytesPerSecond / 1e6);
  }
  return text;
}

std::string FormatRatio(double numerator, double denominator) {
  if (numerator <= 0 || denominator <= 0) return "n/a";
  char text[32];
  snprintf(text, sizeof(text), "%.2f", numerator / denominator);
  return text;
}
