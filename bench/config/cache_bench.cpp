// The data files' cost at start and exit.
//
// 1. The cache cycle with 1000 entries per cache (WhoIs answers of a few KiB,
//    like real registry answers): load, purge, save and the whole cycle. The
//    budget for the cycle is 20 ms; "of_budget" is the measured time divided
//    by it.
// 2. Growth: a cache file grown to 10,000 and 100,000 entries (a third in
//    each cache, WhoIs answers of 200 bytes) is loaded, purged and trimmed,
//    and saved. Each must stay O(n log n): compare the two sizes.
// 3. The save at exit (settings and caches) when nothing changed and when an
//    entry changed, on an idle disk and on a busy one (another thread writing
//    and syncing a file on the same disk), in wall time: the sync is waiting,
//    not computing.
//
// Ratios of the same run are printed at the end.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "config/cache_file.h"
#include "config/settings.h"
#include "platform/files.h"
#include "platform/resolver.h"

namespace {

using namespace hs::config;

constexpr int64_t kNow = 1'700'000'000;
constexpr double kBudgetSeconds = 0.020;

std::string Answer(int i, size_t size) {
  // The shape of an address registry answer.
  std::string a;
  const char* fields[] = {"inetnum", "netname", "descr", "country", "admin-c", "tech-c", "status",
                          "mnt-by", "created", "last-modified", "source", "address", "phone", "e-mail"};
  for (int line = 0; a.size() < size; ++line) {
    a += fields[line % 14];
    a += ":        ";
    a += "value-" + std::to_string(i) + "-" + std::to_string(line) + " Example Network Operations\n";
    if (line % 20 == 19) a += "\n";
  }
  a.resize(size);
  return a;
}

// `perCache` entries in each cache, up to 49 days old: all survive the purge.
void Fill(Caches& c, int perCache, size_t answerSize) {
  for (int i = 0; i < perCache; ++i) {
    const uint32_t address = 0x0A000000u + static_cast<uint32_t>(i * 7);
    const auto stamp = static_cast<int32_t>(kNow - (i % 50) * 86400);
    c.names.InsertIfNewer(htonl(address), i % 5 ? "router-" + std::to_string(i) + ".core.example.net" : "", stamp);
    c.whois.InsertIfNewer("NET-EXAMPLE-" + std::to_string(i),
                          WhoIsCacheValue{std::make_shared<const std::string>(Answer(i, answerSize)), 0}, stamp);
    c.locations.InsertIfNewer("router-" + std::to_string(i) + ".core.example.net",
                              hs::GeoLocation{hs::LocationSource::None, 48.1 + i * 0.001, 11.5 - i * 0.002, 130},
                              stamp);
  }
}

std::string MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "hopsight-bench-XXXXXX").string();
  return ::mkdtemp(pattern.data());
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// 1. The everyday cycle.

class CacheFiles : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State&) override {
    dir = MakeTempDir();
    Caches caches;
    Fill(caches, 1000, 3000);
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
    seconds += Seconds(t);
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
    seconds += Seconds(t);
  }
  ReportBudget(state, seconds);
}

BENCHMARK_F(CacheFiles, Save)(benchmark::State& state) {
  Caches caches;
  LoadCaches(dir, caches);
  double seconds = 0;
  int32_t stamp = kNow;
  for (auto _ : state) {
    // A new entry each time, so the file really is written.
    caches.names.Insert(0xC0000200u, "changed", ++stamp);
    auto t = std::chrono::steady_clock::now();
    SaveCaches(dir, caches, Settings{}, kNow);
    seconds += Seconds(t);
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
    seconds += Seconds(t);
  }
  ReportBudget(state, seconds);
}

// 2. A cache file grown far past the limit.

class GrownFile {
 public:
  // `entries` in all, a third in each cache, or all of them names.
  explicit GrownFile(int64_t entries, bool namesOnly = false) : dir(MakeTempDir()) {
    Caches caches;
    if (namesOnly) {
      for (int64_t i = 0; i < entries; ++i)
        caches.names.InsertIfNewer(htonl(0x0A000000u + static_cast<uint32_t>(i)), "r" + std::to_string(i) + ".example.net",
                                   static_cast<int32_t>(kNow - i % 50 * 86400));
    } else {
      Fill(caches, static_cast<int>(entries / 3), 200);
    }
    text = FormatCacheFile(caches);
    hs::platform::ReplaceFileAtomically(CacheFilePath(dir), text);
  }
  ~GrownFile() { std::filesystem::remove_all(dir); }
  std::string dir, text;
};

void BM_LoadGrown(benchmark::State& state) {
  GrownFile file(state.range(0), state.range(1) != 0);
  for (auto _ : state) {
    auto caches = std::make_unique<Caches>();
    LoadCaches(file.dir, *caches);
    benchmark::DoNotOptimize(caches->names.Size());
    state.PauseTiming();
    caches.reset();  // freeing is not loading
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(file.text.size()) / 1e6;
}

void BM_PurgeGrown(benchmark::State& state) {
  GrownFile file(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto caches = std::make_unique<Caches>();
    ParseCacheFile(file.text, *caches);
    state.ResumeTiming();
    PurgeCaches(*caches, Settings{}, kNow);
    state.PauseTiming();
    caches.reset();
    state.ResumeTiming();
  }
}

// What exit costs with a grown cache loaded and not yet purged: the purge
// and trim of SaveCaches, then the write of what is left.
void BM_SaveGrown(benchmark::State& state) {
  GrownFile file(state.range(0));
  const std::string out = MakeTempDir();
  for (auto _ : state) {
    state.PauseTiming();
    auto caches = std::make_unique<Caches>();
    ParseCacheFile(file.text, *caches);
    std::filesystem::remove(CacheFilePath(out));
    state.ResumeTiming();
    SaveCaches(out, *caches, Settings{}, kNow);
    state.PauseTiming();
    caches.reset();
    state.ResumeTiming();
  }
  std::filesystem::remove_all(out);
}

// The writer alone over every entry (no trim), to show it is linear.
void BM_FormatGrown(benchmark::State& state) {
  GrownFile file(state.range(0));
  Caches caches;
  ParseCacheFile(file.text, caches);
  for (auto _ : state) benchmark::DoNotOptimize(FormatCacheFile(caches).size());
}

BENCHMARK(BM_LoadGrown)
    ->ArgNames({"entries", "names_only"})
    ->Args({10'000, 0})
    ->Args({100'000, 0})
    ->Args({10'000, 1})
    ->Args({100'000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PurgeGrown)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveGrown)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatGrown)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// 3. The save at exit, with and without a change, on an idle and a busy disk.

// Another writer on the same disk: appends 8 MiB and syncs, over and over
// (starting again at 64 MiB), so every sync of ours queues behind new data.
class BusyDisk {
 public:
  explicit BusyDisk(const std::string& dir) : path_(dir + "/busy.bin") {
    worker_ = std::thread([this] {
      const std::string block(8 << 20, 'b');
      int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd < 0) return;
      for (int64_t offset = 0; !stop_; offset = (offset + int64_t(block.size())) % (64 << 20)) {
        if (offset == 0 && ::ftruncate(fd, 0) != 0) break;
        if (::pwrite(fd, block.data(), block.size(), offset) < 0) break;
        ::fsync(fd);
      }
      ::close(fd);
    });
  }
  ~BusyDisk() {
    stop_ = true;
    worker_.join();
    std::filesystem::remove(path_);
  }

 private:
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

// range(0): 1 = an entry changes before every save; range(1): 1 = busy disk.
void BM_SaveAtExit(benchmark::State& state) {
  const bool change = state.range(0) != 0, busy = state.range(1) != 0;
  const std::string dir = MakeTempDir();
  Caches caches;
  Fill(caches, 1000, 3000);
  Settings settings;
  settings.startLocation = hs::GeoLocation{hs::LocationSource::Home, 48.1, 11.5, 130};
  SaveSettings(dir, settings, false, nullptr);
  SaveCaches(dir, caches, settings, kNow);
  std::unique_ptr<BusyDisk> disk;
  if (busy) disk = std::make_unique<BusyDisk>(dir);
  int32_t stamp = kNow - 1000;
  for (auto _ : state) {
    if (change) caches.names.Insert(htonl(0x0A000000u), "changed", ++stamp);  // same key, new stamp
    SaveSettings(dir, settings, false, nullptr);
    SaveCaches(dir, caches, settings, kNow);
  }
  disk.reset();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SaveAtExit)
    ->ArgNames({"changed", "busy"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Keeps each benchmark's wall time per iteration in milliseconds.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.iterations > 0)
        ms[r.benchmark_name()] = r.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(r.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ms;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ms;
  auto ratio = [&](const char* label, const std::string& a, const std::string& b) {
    if (t.count(a) && t.count(b) && t[b] > 0)
      std::printf("  %-52s %9.3f ms / %9.3f ms = %7.2fx\n", label, t[a], t[b], t[a] / t[b]);
  };
  std::printf("\nRatios of wall time (same run):\n");
  ratio("load: 100,000 / 10,000 entries (10 = linear)", "BM_LoadGrown/entries:100000/names_only:0",
        "BM_LoadGrown/entries:10000/names_only:0");
  ratio("load, all names: 100,000 / 10,000 entries", "BM_LoadGrown/entries:100000/names_only:1",
        "BM_LoadGrown/entries:10000/names_only:1");
  ratio("purge and trim: 100,000 / 10,000 entries", "BM_PurgeGrown/100000", "BM_PurgeGrown/10000");
  ratio("save: 100,000 / 10,000 entries", "BM_SaveGrown/100000", "BM_SaveGrown/10000");
  ratio("writer alone: 100,000 / 10,000 entries", "BM_FormatGrown/100000", "BM_FormatGrown/10000");
  const std::string save = "BM_SaveAtExit/changed:";
  ratio("save at exit, idle disk: changed / unchanged", save + "1/busy:0/real_time", save + "0/busy:0/real_time");
  ratio("save at exit, busy disk: changed / unchanged", save + "1/busy:1/real_time", save + "0/busy:1/real_time");
  ratio("changed save: busy / idle disk", save + "1/busy:1/real_time", save + "1/busy:0/real_time");
  ratio("unchanged save: busy / idle disk", save + "0/busy:1/real_time", save + "0/busy:0/real_time");
  for (const char* load : {"BM_LoadGrown/entries:100000/names_only:0", "BM_LoadGrown/entries:100000/names_only:1"})
    if (t.count(load)) std::printf("Goal: 100,000 entries load in well under 100 ms (%s: %.1f ms).\n", load, t[load]);
  benchmark::Shutdown();
  return 0;
}
