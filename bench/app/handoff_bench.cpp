// A second start's hand-off: from just before the second `hopsight /T` is
// spawned to the moment the running instance has read its request off the
// channel (the time in the first instance's event line), and to the second
// start's end. The first instance runs offscreen and traces loopback only.
//   HOPSIGHT_SOURCE_DIR=. HOPSIGHT_BUILD_DIR=build build/bench/app/handoff_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "tests/app/shell_process.h"

namespace {

using hs::test::Process;
using hs::test::ShellHome;

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

struct First {
  ShellHome home;
  std::unique_ptr<Process> process;
  First() {
    process = home.Start("hopsight", {"/T", "127.0.0.2"});
    if (!process || !process->WaitForEvent("ready trace")) {
      std::fprintf(stderr, "the first instance did not start: %s\n", home.Stderr().c_str());
      process.reset();
    }
  }
  ~First() {
    if (!process) return;
    auto notify = home.Start("hopsight", {"--notify", "HTLogIsClosing"});
    if (notify) notify->Wait();
    process->Wait();
  }
};

// Manual time: spawn to the request read by the first instance.
void BM_HandOffReceived(benchmark::State& state) {
  First first;
  if (!first.process) {
    state.SkipWithError("no first instance");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    const std::string target = "127.0.0." + std::to_string(10 + i++ % 200);
    const long long start = NowNs();
    auto second = first.home.Start("hopsight", {"/T", target});
    if (!second || !first.process->WaitForEvent("request HSXDoNewTrace /T " + target)) {
      state.SkipWithError("the request did not arrive");
      return;
    }
    state.SetIterationTime(double(first.process->LastEventTimeNs() - start) / 1e9);
    second->Wait();
  }
}
BENCHMARK(BM_HandOffReceived)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// Manual time: spawn to the second start's end (what a host application waits for).
void BM_SecondStartEnds(benchmark::State& state) {
  First first;
  if (!first.process) {
    state.SkipWithError("no first instance");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    const std::string target = "127.0.0." + std::to_string(10 + i++ % 200);
    const auto start = std::chrono::steady_clock::now();
    auto second = first.home.Start("hopsight", {"/T", target});
    if (!second || second->Wait() != 0) {
      state.SkipWithError("the second start failed");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}
BENCHMARK(BM_SecondStartEnds)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
