// Loading, purging and saving the three caches with 1000 entries each (and
// WhoIs answers of a few KiB, like real registry answers). The budget for the
// whole cycle is 20 ms; "of_budget" is the measured time divided by it.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/cache_file.h"
#include "config/settings.h"
#include "platform/resolver.h"

namespace {

using namespace hs::config;

constexpr int64_t kNow = 1'700'000'000;
constexpr double kBudgetSeconds = 0.020;

std::string Answer(int i) {
  // About 3 KiB: the shape of an address registry answer.
  std::string a;
  const char* fields[] = {"inetnum", "netname", "descr", "country", "admin-c", "tech-c", "status",
                          "mnt-by", "created", "last-modified", "source", "address", "phone", "e-mail"};
  for (int line = 0; line < 70; ++line) {
    a += fields[line % 14];
    a += ":        ";
    a += "value-" + std::to_string(i) + "-" + std::to_string(line) + " Example Network Operations\n";
    if (line % 20 == 19) a += "\n";
  }
  a.pop_back();
  return a;
}

void Fill(Caches& c) {
  for (int i = 0; i < 1000; ++i) {
    const uint32_t address = 0x0A000000u + static_cast<uint32_t>(i * 7);
    const int32_t age = (i % 50) * 86400;  // up to 49 days old: all survive the purge
    c.names.InsertIfNewer(htonl(address), i % 5 ? "router-" + std::to_string(i) + ".core.example.net" : "",
                          static_cast<int32_t>(kNow - age));
    c.whois.InsertIfNewer("NET-EXAMPLE-" + std::to_string(i),
                          WhoIsCacheValue{std::make_shared<const std::string>(Answer(i)), 0},
                          static_cast<int32_t>(kNow - age));
    c.locations.InsertIfNewer("router-" + std::to_string(i) + ".core.example.net",
                              hs::GeoLocation{hs::LocationSource::None, 48.1 + i * 0.001, 11.5 - i * 0.002, 130},
                              static_cast<int32_t>(kNow - age));
  }
}

class CacheFiles : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State&) override {
    std::string pattern = (std::filesystem::temp_directory_path() / "hopsight-bench-XXXXXX").string();
    dir = ::mkdtemp(pattern.data());
    Caches caches;
    Fill(caches);
    SaveCaches(dir, caches, Settings{}, kNow);
  }
  void TearDown(const benchmark::State&) override { std::filesystem::remove_all(dir); }
  std::string dir;
};

void ReportBudget(benchmark::State& state, double seconds) {
  state.counters["of_budget"] = seconds / state.iterations() / kBudgetSeconds;
}

BENCHMARK_F(CacheFiles, Load)(benchmark::State& state) {
  double seconds = 0;
  for (auto _ : state) {
    Caches caches;
    auto t = std::chrono::steady_clock::now();
    LoadCaches(dir, caches);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    benchmark::DoNotOptimize(caches.whois.Size());
  }
  ReportBudget(state, seconds);
}

BENCHMARK_F(CacheFiles, Purge)(benchmark::State& state) {
  Caches loaded;
  LoadCaches(dir, loaded);
  const std::string text = FormatCacheFile(loaded);
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Caches caches;
    ParseCacheFile(text, caches);
    for (int i = 0; i < 100; ++i) caches.names.Insert(0xC0000200u + i, "extra", kNow);  // 1100: a trim sorts
    state.ResumeTiming();
    auto t = std::chrono::steady_clock::now();
    PurgeCaches(caches, Settings{}, kNow);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  }
  ReportBudget(state, seconds);
}

BENCHMARK_F(CacheFiles, Save)(benchmark::State& state) {
  Caches caches;
  LoadCaches(dir, caches);
  double seconds = 0;
  for (auto _ : state) {
    auto t = std::chrono::steady_clock::now();
    SaveCaches(dir, caches, Settings{}, kNow);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  }
  ReportBudget(state, seconds);
}

// The whole start-to-exit cycle: load, purge at start, purge and save at exit.
BENCHMARK_F(CacheFiles, LoadPurgeSave)(benchmark::State& state) {
  double seconds = 0;
  for (auto _ : state) {
    auto t = std::chrono::steady_clock::now();
    Caches caches;
    LoadCaches(dir, caches);
    PurgeCaches(caches, Settings{}, kNow);
    SaveCaches(dir, caches, Settings{}, kNow);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
  }
  ReportBudget(state, seconds);
}

}  // namespace

BENCHMARK_MAIN();
