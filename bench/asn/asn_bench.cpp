// The shipped AS table: loading it (reading the file and checking every
// range) and looking addresses up, beside a linear scan of the same ranges.
// Goals: load < 20 ms, lookup < 1 µs.
//
//   asn_bench [--data DIR] [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "asn/as_table.h"
#include "platform/files.h"

namespace {

std::string gPath = std::string(HOPSIGHT_DATA_DIR) + "/ASN.idx";
std::string gBytes;
std::optional<hs::asn::AsTable> gTable;
std::vector<hs::asn::AsRange> gRanges;
std::vector<uint32_t> gAddresses;

// Whole-program cost of the first lookup: file to answers.
void BM_LoadFromFile(benchmark::State& state) {
  for (auto _ : state) {
    hs::asn::AsLookup lookup(gPath);
    benchmark::DoNotOptimize(lookup.Available());
  }
}
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond);

// The checks alone, on bytes already in memory.
void BM_CheckInMemory(benchmark::State& state) {
  for (auto _ : state) {
    std::string copy = gBytes;
    benchmark::DoNotOptimize(hs::asn::AsTable::FromBytes(std::move(copy)));
  }
}
BENCHMARK(BM_CheckInMemory)->Unit(benchmark::kMillisecond);

void BM_Lookup(benchmark::State& state) {
  size_t i = 0, found = 0;
  for (auto _ : state) {
    const auto as = gTable->FindHostOrder(gAddresses[i++ % gAddresses.size()]);
    found += as.has_value();
    benchmark::DoNotOptimize(as);
  }
  state.counters["found"] = benchmark::Counter(double(found) / double(state.iterations()));
}
BENCHMARK(BM_Lookup);

// What the binary search saves: the same answers by walking the ranges.
void BM_LinearScan(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) {
    const uint32_t a = gAddresses[i++ % gAddresses.size()];
    const hs::asn::AsRange* hit = nullptr;
    for (const auto& r : gRanges)
      if (a >= r.first && a <= r.last) {
        hit = &r;
        break;
      }
    benchmark::DoNotOptimize(hit);
  }
}
BENCHMARK(BM_LinearScan)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--data") gPath = std::string(argv[i + 1]) + "/ASN.idx";
  std::optional<std::string> bytes = hs::platform::ReadWholeFile(gPath);
  std::string why;
  if (bytes) gTable = hs::asn::AsTable::FromBytes(*bytes, &why);
  if (!gTable) {
    std::fprintf(stderr, "asn_bench: cannot read %s %s\n", gPath.c_str(), why.c_str());
    return 1;
  }
  gBytes = std::move(*bytes);
  gRanges = gTable->Ranges();
  std::fprintf(stderr, "asn_bench: %s, %zu bytes, %zu ranges, %zu networks\n", gPath.c_str(), gBytes.size(),
               gTable->RangeCount(), gTable->AsCount());
  // Random addresses across the unicast space, so lookups miss the caches
  // the way a route's hops do.
  std::mt19937 rng(11);
  for (int i = 0; i < 100000; ++i) gAddresses.push_back(uint32_t(rng()) % 0xE0000000u);
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--data") {
      ++i;
      continue;
    }
    args.push_back(argv[i]);
  }
  int n = int(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
