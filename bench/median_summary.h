// Runs the registered benchmarks with repetitions and keeps the median of each, so that a program can
// end its output with ratios between benchmarks of the same run.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

struct Median {
  // CPU time of the benchmark's thread per iteration: steadier than the wall clock on a machine that
  // runs other work too, and the same for a single-threaded call as long as nothing waits.
  double seconds = 0;
  double bytesPerSecond = 0;  // per second of that CPU time; 0 when the benchmark sets no byte count
  benchmark::UserCounters counters;
};

// Prints what the console reporter prints and keeps each benchmark's median, by its name without the
// aggregate suffix (e.g. "DecodeBase64/1048576").
class MedianCollector : public benchmark::ConsoleReporter {
 public:
  MedianCollector() : benchmark::ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  const Median* Find(const std::string& name) const;

 private:
  std::map<std::string, Median> medians_;
};

// benchmark::Initialize and RunSpecifiedBenchmarks with this project's defaults in front of the
// command line's own flags (which win): 7 repetitions in random interleaving, aggregates only on the
// console. Returns false when the command line was not understood.
bool RunWithMedians(int argc, char** argv, MedianCollector* collector);

// "1.23 GB/s"-style text for a rate in bytes per second (decimal units, as Google Benchmark prints),
// or "n/a" when the benchmark did not run.
std::string FormatRate(double bytesPerSecond);
// A ratio with two decimals, or "n/a" when either side is missing.
std::string FormatRatio(double numerator, double denominator);
