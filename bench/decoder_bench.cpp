// Decoder throughput: DecodeBase64 on each tier this CPU has (scalar, SSSE3, AVX2) against OpenSSL's
// EVP_DecodeBlock, a plain table-driven decoder and memcpy of the same text, for texts of 1 KiB to
// 64 MiB, into an output buffer that is warm (reused) or freshly allocated for every call (its pages
// are then touched for the first time, as the print method's buffer is). Throughput counts Base64
// characters read per second. The output ends with the medians and their ratios to OpenSSL and memcpy.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "bench/base64_text.h"
#include "bench/median_summary.h"
#include "bench/peer_decoders.h"
#include "printing/base64.h"
#include "printing/base64_tiers.h"

namespace {

const size_t kSizes[] = {1 << 10, 64 << 10, 1 << 20, 32 << 20, 64 << 20};
const size_t kTargetSizes[] = {1 << 20, 32 << 20};

// Decodes the text into out; the number of bytes it reports, or -1 when it refused the text.
using DecodeFunction = int (*)(const char* text, size_t length, uint8_t* out);

int DecodeStrict(const char* text, size_t length, uint8_t* out) {
  uint32_t decoded = static_cast<uint32_t>(length);
  if (DecodeBase64(text, static_cast<uint32_t>(length), out, &decoded) != Base64Ok) return -1;
  return static_cast<int>(decoded);
}

// The physical bound: copying the text's bytes, with no decoding at all.
int Copy(const char* text, size_t length, uint8_t* out) {
  memcpy(out, text, length);
  return static_cast<int>(length);
}

struct Contender {
  const char* name;
  const char* description;
  DecodeFunction decode;
  int tier;  // the tier DecodeBase64 is forced to, or -1 for the others
};

const Contender kContenders[] = {
    {"Scalar", "DecodeBase64, scalar tier (table-driven, four groups a step)", DecodeStrict,
     Base64TierScalar},
    {"SSSE3", "DecodeBase64, SSSE3 tier (16 characters a step)", DecodeStrict, Base64TierSsse3},
    {"AVX2", "DecodeBase64, AVX2 tier (32 characters a step)", DecodeStrict, Base64TierAvx2},
    {"OpenSSL", "EVP_DecodeBlock", DecodeWithOpenSsl, -1},
    {"Table", "plain table-driven decoder, a group at a time", DecodeWithTable, -1},
    {"memcpy", "memcpy of the text's size (no decoding)", Copy, -1},
};
const Contender& kOpenSsl = kContenders[3];
const Contender& kMemcpy = kContenders[5];

const char* const kBufferModes[] = {"warm", "fresh"};

struct Sample {
  std::string document;
  std::string text;
};

const Sample& SampleOf(size_t size) {
  static std::map<size_t, Sample> samples;
  Sample& sample = samples[size];
  if (sample.text.empty()) {
    sample.text = Base64Text(size);
    sample.document = RandomBytes(size / 4 * 3 - 1, 1);
  }
  return sample;
}

// The decoded bytes each contender is expected to report: the document, plus the padding's zero
// byte for OpenSSL, and the text itself for memcpy.
bool DecodedCorrectly(const Contender& contender, const Sample& sample, const uint8_t* out, int reported) {
  const std::string& expected = contender.decode == Copy ? sample.text : sample.document;
  size_t expectedLength = expected.size();
  if (contender.decode == DecodeWithOpenSsl) ++expectedLength;
  return reported >= 0 && static_cast<size_t>(reported) == expectedLength &&
         memcmp(out, expected.data(), expected.size()) == 0;
}

void RunDecoder(benchmark::State& state, const Contender& contender, size_t size, bool fresh) {
  if (contender.tier >= 0 && !ForceBase64Tier(static_cast<Base64Tier>(contender.tier))) {
    state.SkipWithError("skipped: this CPU lacks the tier");
    return;
  }
  const Sample& sample = SampleOf(size);
  std::vector<uint8_t> warm(size);  // room for memcpy too
  const int reported = contender.decode(sample.text.data(), size, warm.data());
  if (!DecodedCorrectly(contender, sample, warm.data(), reported)) {
    state.SkipWithError("decoded bytes differ from the document");
    return;
  }
  for (auto _ : state) {
    uint8_t* out = fresh ? static_cast<uint8_t*>(malloc(size)) : warm.data();
    if (!out) {
      state.SkipWithError("out of memory");
      break;
    }
    int reported = contender.decode(sample.text.data(), size, out);
    benchmark::DoNotOptimize(reported);
    benchmark::ClobberMemory();
    if (fresh) free(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
  ForceBase64Tier(BestBase64Tier());
}

std::string BenchmarkName(const Contender& contender, const char* mode, size_t size) {
  return std::string(contender.name) + "/" + mode + "/" + std::to_string(size);
}

std::string SizeText(size_t size) {
  if (size >= (1 << 20)) return std::to_string(size >> 20) + " MiB";
  return std::to_string(size >> 10) + " KiB";
}

double RateOf(const MedianCollector& medians, const Contender& contender, const char* mode, size_t size) {
  const Median* median = medians.Find(BenchmarkName(contender, mode, size));
  return median ? median->bytesPerSecond : 0;
}

bool Available(const Contender& contender) {
  return contender.tier < 0 || contender.tier <= BestBase64Tier();
}

// One table per buffer mode: each contender's rate, or its ratio to a reference contender's.
void PrintTable(const MedianCollector& medians, const char* mode, const Contender* reference) {
  printf("%-8s", "size");
  for (const Contender& contender : kContenders) printf(" %10s", contender.name);
  printf("\n");
  for (size_t size : kSizes) {
    printf("%-8s", SizeText(size).c_str());
    for (const Contender& contender : kContenders) {
      const double rate = RateOf(medians, contender, mode, size);
      std::string cell = !Available(contender) ? "skipped"
                         : reference ? FormatRatio(rate, RateOf(medians, *reference, mode, size))
                                     : FormatRate(rate);
      printf(" %10s", cell.c_str());
    }
    printf("\n");
  }
}

void PrintSummary(const MedianCollector& medians) {
  printf("\nDecoder throughput, Base64 characters per second of CPU time (median of the repetitions):\n");
  for (const Contender& contender : kContenders) printf("  %-8s %s\n", contender.name, contender.description);
  printf("OpenSSL's decoder is not strict (it takes \"=\" anywhere, leading whitespace and a trailing line\n"
         "end): it is a speed reference here, not a replacement. Its output also counts padding as bytes.\n");
  for (const char* mode : kBufferModes) {
    const bool warm = mode == kBufferModes[0];
    printf("\nOutput buffer %s (%s):\n", mode,
           warm ? "one buffer reused for every call" : "malloc'ed and freed around every call");
    PrintTable(medians, mode, nullptr);
    printf("\nRatio to OpenSSL (higher is faster), buffer %s:\n", mode);
    PrintTable(medians, mode, &kOpenSsl);
    printf("\nRatio to memcpy of the same text, buffer %s:\n", mode);
    PrintTable(medians, mode, &kMemcpy);
  }
  printf("\nThe vector tiers against their marks (warm buffer):\n");
  for (size_t size : kTargetSizes) {
    const double openSsl = RateOf(medians, kOpenSsl, "warm", size);
    const double copy = RateOf(medians, kMemcpy, "warm", size);
    const double avx2 = RateOf(medians, kContenders[2], "warm", size);
    const double ssse3 = RateOf(medians, kContenders[1], "warm", size);
    printf("  %-7s AVX2 %sx OpenSSL (mark 6), %sx memcpy (mark 0.8); SSSE3 %sx OpenSSL (mark 3.5)\n",
           SizeText(size).c_str(), Available(kContenders[2]) ? FormatRatio(avx2, openSsl).c_str() : "skipped",
           Available(kContenders[2]) ? FormatRatio(avx2, copy).c_str() : "skipped",
           Available(kContenders[1]) ? FormatRatio(ssse3, openSsl).c_str() : "skipped");
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const Contender& contender : kContenders) {
    for (const char* mode : kBufferModes) {
      for (size_t size : kSizes) {
        const bool fresh = mode == kBufferModes[1];
        benchmark::RegisterBenchmark(BenchmarkName(contender, mode, size).c_str(),
                                     [&contender, size, fresh](benchmark::State& state) {
                                       RunDecoder(state, contender, size, fresh);
                                     });
      }
    }
  }
  MedianCollector medians;
  if (!RunWithMedians(argc, argv, &medians)) return 1;
  PrintSummary(medians);
  return 0;
}
