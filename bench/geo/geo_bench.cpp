// The shipped location database: loading it, and FindInDatabase over 10,000
// router names beside a plain scan of the same patterns; the place search.
//
//   geo_bench [--data DIR] [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "geo/location_database.h"
#include "geo/place_file.h"
#include "platform/files.h"

namespace {

std::string gImage;
std::string gPlaces;
hs::geo::LocationDatabase* gDb = nullptr;
std::vector<std::string> gNames;

// Router names in the shape of each pattern: the stars filled with interface
// and router labels, the domain appended. A quarter carry site codes that the
// database does not know, so they run through the whole domain.
std::vector<std::string> MakeNames(const hs::geo::LocationDatabase& db, size_t count) {
  std::mt19937 rng(42);
  const char* fills[] = {"ae-1-51.edge3", "xe-0-1-0.cr1", "be2813.ccr41", "100ge14-1.core1", "et-5-0-0"};
  std::vector<std::pair<const hs::geo::DomainEntry*, const hs::geo::PatternEntry*>> all;
  for (const auto& d : db.Domains())
    for (const auto& p : d.patterns) all.emplace_back(&d, &p);
  std::vector<std::string> names;
  names.reserve(count);
  while (names.size() < count && !all.empty()) {
    const auto& [domain, pattern] = all[rng() % all.size()];
    std::string name;
    const std::string& p = pattern->pattern;
    for (size_t i = 0; i < p.size(); ++i) {
      if (p[i] != '*') name += p[i];
      else name += i == 0 ? fills[rng() % 5] : "x1";
    }
    if (name.size() < domain->key.size() ||
        hs::geo::MatchDomainSuffix(name, domain->key) == 0)
      name += domain->key;
    if (rng() % 4 == 0) {
      // An unknown site: "qq" plus a digit in place of the code.
      const size_t dot = name.find('.', name.find('.') + 1);
      name = "ae1.cr1.qqz" + std::to_string(rng() % 9 + 1) + name.substr(dot == std::string::npos ? 0 : dot);
    }
    names.push_back(std::move(name));
  }
  return names;
}

void BM_LoadDatabase(benchmark::State& state) {
  for (auto _ : state) {
    hs::geo::LocationDatabase db;
    benchmark::DoNotOptimize(hs::geo::LocDBInit(db, gImage));
  }
}
BENCHMARK(BM_LoadDatabase)->Unit(benchmark::kMillisecond);

void BM_LoadDatabaseFromFile(benchmark::State& state) {
  const std::string dir = HOPSIGHT_DATA_DIR;
  for (auto _ : state) {
    hs::geo::LocationDatabase db;
    benchmark::DoNotOptimize(hs::geo::LoadLocationDatabase(dir, db, nullptr));
  }
}
BENCHMARK(BM_LoadDatabaseFromFile)->Unit(benchmark::kMillisecond);

// Time per name: the 10,000 names each once per iteration.
void BM_FindInDatabase(benchmark::State& state) {
  size_t found = 0;
  for (auto _ : state)
    for (const std::string& n : gNames) found += gDb->FindInDatabase(n, 0) != nullptr;
  state.counters["found"] = double(found) / double(state.iterations());
  state.SetItemsProcessed(int64_t(state.iterations() * gNames.size()));
}
BENCHMARK(BM_FindInDatabase)->Unit(benchmark::kMicrosecond);

void BM_LinearScan(benchmark::State& state) {
  size_t found = 0;
  for (auto _ : state)
    for (const std::string& n : gNames) found += gDb->FindByLinearScan(n, 0) != nullptr;
  state.counters["found"] = double(found) / double(state.iterations());
  state.SetItemsProcessed(int64_t(state.iterations() * gNames.size()));
}
BENCHMARK(BM_LinearScan)->Unit(benchmark::kMicrosecond);

void BM_FindNearestPlace(benchmark::State& state) {
  const hs::geo::PlaceFile places = hs::geo::PlaceFile::FromBytes(gPlaces);
  std::mt19937 rng(7);
  std::vector<std::pair<int, int>> points(1000);
  for (auto& p : points) p = {int(rng() % 64800), int(rng() % 32400)};
  size_t found = 0;
  for (auto _ : state)
    for (const auto& [x, y] : points) found += places.FindNearestPlace(x, y, 30).has_value();
  benchmark::DoNotOptimize(found);
  state.SetItemsProcessed(int64_t(state.iterations() * points.size()));
}
BENCHMARK(BM_FindNearestPlace)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.iterations > 0)
        ms[r.benchmark_name()] = r.GetAdjustedCPUTime() * 1e3 / benchmark::GetTimeUnitMultiplier(r.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ms;
};

}  // namespace

int main(int argc, char** argv) {
  std::string dir = HOPSIGHT_DATA_DIR;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--data" && i + 1 < argc) {
      dir = argv[++i];
      continue;
    }
    rest.push_back(argv[i]);
  }
  const auto image = hs::platform::ReadWholeFile(dir + "/HopSight.gdp");
  const auto places = hs::platform::ReadWholeFile(dir + "/hopsight.loca");
  if (!image || !places) {
    std::fprintf(stderr, "no HopSight.gdp or hopsight.loca in %s\n", dir.c_str());
    return 1;
  }
  gImage = *image;
  gPlaces = *places;
  hs::geo::LocationDatabase db;
  if (hs::geo::LocDBInit(db, gImage) != 0) return 1;
  gDb = &db;
  gNames = MakeNames(db, 10000);
  int n = int(rest.size());
  benchmark::Initialize(&n, rest.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ms;
  std::printf("\n%zu domains, %zu patterns, %zu router names\n", db.Domains().size(), db.PatternCount(),
              gNames.size());
  if (t.count("BM_FindInDatabase") && t.count("BM_LinearScan")) {
    const double perName = t["BM_FindInDatabase"] * 1e6 / double(gNames.size());
    const double perNameLinear = t["BM_LinearScan"] * 1e6 / double(gNames.size());
    std::printf("FindInDatabase %.0f ns per name, linear scan %.0f ns per name: %.1fx\n", perName, perNameLinear,
                perNameLinear / perName);
  }
  if (t.count("BM_LoadDatabase"))
    std::printf("Loading the database: %.2f ms in memory, %.2f ms from the file (goal < 5 ms)\n",
                t["BM_LoadDatabase"], t["BM_LoadDatabaseFromFile"]);
  benchmark::Shutdown();
  return 0;
}
