// Decoder throughput: DecodeBase64 against OpenSSL's EVP_DecodeBlock, a one-character-at-a-time
// decoder and memcpy of the same size, for texts of 64 B, 4 KiB, 1 MiB and 32 MiB. Throughput counts
// Base64 characters read per second. The output ends with each one's median against OpenSSL's.
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "bench/base64_text.h"
#include "bench/median_summary.h"
#include "bench/peer_decoders.h"
#include "printing/base64.h"

namespace {

const size_t kSizes[] = {64, 4 << 10, 1 << 20, 32 << 20};

struct Contender {
  const char* name;
  const char* description;
  // Decodes the text into out; the number of bytes it reports, or -1 when it refused the text.
  int (*decode)(const char* text, size_t length, uint8_t* out);
};

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

const Contender kContenders[] = {
    {"DecodeBase64", "this module's strict decoder", DecodeStrict},
    {"OpenSSL", "EVP_DecodeBlock (less strict: skips whitespace, counts padding as bytes)",
     DecodeWithOpenSsl},
    {"CharByChar", "one character at a time, range comparisons", DecodeCharByChar},
    {"memcpy", "memcpy of the text's size (no decoding)", Copy},
};

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
bool DecodedCorrectly(const Contender& contender, const Sample& sample, const std::vector<uint8_t>& out,
                      int reported) {
  const std::string& expected = contender.decode == Copy ? sample.text : sample.document;
  size_t expectedLength = expected.size();
  if (contender.decode == DecodeWithOpenSsl) ++expectedLength;
  return reported >= 0 && static_cast<size_t>(reported) == expectedLength &&
         memcmp(out.data(), expected.data(), expected.size()) == 0;
}

void RunDecoder(benchmark::State& state, const Contender& contender, size_t size) {
  const Sample& sample = SampleOf(size);
  std::vector<uint8_t> out(size);  // room for memcpy too
  if (!DecodedCorrectly(contender, sample, out, contender.decode(sample.text.data(), size, out.data()))) {
    state.SkipWithError("decoded bytes differ from the document");
    return;
  }
  for (auto _ : state) {
    int reported = contender.decode(sample.text.data(), size, out.data());
    benchmark::DoNotOptimize(reported);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

std::string SizeText(size_t size) {
  if (size >= (1 << 20)) return std::to_string(size >> 20) + " MiB";
  if (size >= (1 << 10)) return std::to_string(size >> 10) + " KiB";
  return std::to_string(size) + " B";
}

double RateOf(const MedianCollector& medians, const Contender& contender, size_t size) {
  const Median* median = medians.Find(std::string(contender.name) + "/" + std::to_string(size));
  return median ? median->bytesPerSecond : 0;
}

void PrintSummary(const MedianCollector& medians) {
  const Contender& openSsl = kContenders[1];
  printf("\nDecoder throughput, Base64 characters per second of CPU time (median of the repetitions):\n");
  for (const Contender& contender : kContenders) printf("  %-13s %s\n", contender.name, contender.description);
  printf("\n%-8s", "size");
  for (const Contender& contender : kContenders) printf(" %13s", contender.name);
  printf("\n");
  for (size_t size : kSizes) {
    printf("%-8s", SizeText(size).c_str());
    for (const Contender& contender : kContenders) {
      printf(" %13s", FormatRate(RateOf(medians, contender, size)).c_str());
    }
    printf("\n");
  }
  printf("\nRatio to OpenSSL's throughput (higher is faster):\n%-8s", "size");
  for (const Contender& contender : kContenders) printf(" %13s", contender.name);
  printf("\n");
  for (size_t size : kSizes) {
    printf("%-8s", SizeText(size).c_str());
    const double reference = RateOf(medians, openSsl, size);
    for (const Contender& contender : kContenders) {
      printf(" %13s", FormatRatio(RateOf(medians, contender, size), reference).c_str());
    }
    printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const Contender& contender : kContenders) {
    for (size_t size : kSizes) {
      std::string name = std::string(contender.name) + "/" + std::to_string(size);
      benchmark::RegisterBenchmark(name.c_str(), [&contender, size](benchmark::State& state) {
        RunDecoder(state, contender, size);
      });
    }
  }
  MedianCollector medians;
  if (!RunWithMedians(argc, argv, &medians)) return 1;
  PrintSummary(medians);
  return 0;
}
