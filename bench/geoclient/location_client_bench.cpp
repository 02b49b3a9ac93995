// LocateRoute of a 30-hop route against the companion server on loopback
// (wall time per route), and what a dead first location server adds: the
// first request of a run pays for it once, later ones not at all.
//
//   build/bin/geo_bench [benchmark options]
// Needs build/bin/hopsight-locd and its data directory (the main build).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "geo/route_placement.h"
#include "platform/files.h"
#include "platform/resolver.h"
#include "tests/platform/scripted_http_server.h"
#include "tests/server/server_process.h"

namespace {

using hs::geo::LocationServerTable;
using hs::geo::RoutePlacer;
using Clock = std::chrono::steady_clock;

const hs::locwire::InstallIdentity kId{1733400000, 0x00c0ffee, hs::locwire::kProductCode};
std::string g_companion;  // host:port

// A plausible 30-hop route: addresses spread over the world's ranges.
std::vector<hs::HopRef> Route() {
  std::vector<hs::HopRef> rows;
  for (int i = 0; i < 30; ++i) {
    hs::HopRef r = hs::HopRef::Create();
    const std::string dotted = std::to_string(2 + i * 7) + "." + std::to_string(i * 3) + ".1." + std::to_string(i + 1);
    r->address = hs::platform::DottedToAddress(dotted);
    r->lastRtt = 5 + i * 3;
    rows.push_back(r);
  }
  return rows;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void BM_LocateRoute30Hops(benchmark::State& state) {
  LocationServerTable servers;
  servers.Assign({0, {{true, g_companion, 1}}});
  hs::config::LocationCache cache;
  RoutePlacer placer({&servers, &cache, kId, {}, {}});
  const auto rows = Route();
  int placed = 0;
  for (auto _ : state) {
    auto r = placer.LocateRoute(rows);
    if (!r.answered) state.SkipWithError("the companion server did not answer");
    placed = 0;
    for (const auto& row : rows) placed += row->Location().source == hs::LocationSource::Server;
  }
  state.counters["hops_placed"] = placed;
}
BENCHMARK(BM_LocateRoute30Hops)->Unit(benchmark::kMillisecond)->UseRealTime();

// Five routes in one run with a dead server listed first.
void DeadFirstServer(const char* what, const std::string& deadHost) {
  LocationServerTable servers;  // the program's own time-outs
  servers.Assign({0, {{true, deadHost, 1}, {true, g_companion, 2}}});
  hs::config::LocationCache cache;
  RoutePlacer placer({&servers, &cache, kId, {}, {}});
  const auto rows = Route();
  std::printf("%-34s", what);
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    const bool answered = placer.LocateRoute(rows).answered;
    std::printf(" %9.1f%s", Ms(Clock::now() - start), answered ? "" : "!");
  }
  std::printf("  ms\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string buildDir = hs::platform::ExecutableDirectory() + "..";
  setenv("HOPSIGHT_BUILD_DIR", buildDir.c_str(), 0);
  const std::string log = "/tmp/geo_bench_locd.log";
  hs::test::ServerProcess companion({"--data", buildDir + "/share/hopsight-locd"}, log);
  if (companion.port() <= 0) {
    std::fprintf(stderr, "geo_bench: hopsight-locd did not start (main build with its data directory?)\n");
    return 1;
  }
  g_companion = "127.0.0.1:" + std::to_string(companion.port());

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  std::printf("\nA dead first server (time-outs: connect %u ms, transfer %u ms); each column one route:\n",
              hs::platform::kHttpConnectTimeoutMs, hs::platform::kHttpTransferTimeoutMs);
  DeadFirstServer("companion alone", g_companion);
  int freePort;
  {
    hs::test::ScriptedHttpServer gone([](const std::string&) { return hs::test::ScriptedHttpServer::Ok(""); });
    freePort = gone.port();
  }
  DeadFirstServer("refused, then companion", "127.0.0.1:" + std::to_string(freePort));
  hs::test::ScriptedHttpServer stall([](const std::string&) { return hs::test::ScriptedHttpServer::Stall(); });
  DeadFirstServer("stalled, then companion", stall.host());
  DeadFirstServer(".invalid name, then companion", "loc2.hopsight.invalid");
  benchmark::Shutdown();
  return 0;
}
