// A 30-hop trace whose every hop needs a WhoIs answer from a registry that
// takes 200 ms to answer. The workers run side by side, so the lookups end
// long before 30 x 200 ms; "of_serial" is the time until the last answer
// arrived divided by those 6 s.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "tests/trace/scripted.h"
#include "tests/whois/fake_registry.h"
#include "trace/engine.h"
#include "whois/lookups.h"
#include "whois/query.h"

namespace {

constexpr int kHops = 30;
constexpr uint32_t kAnswerDelayMs = 200;

uint32_t HopAddress(int ttl) { return inet_addr(("198.18." + std::to_string(ttl) + ".1").c_str()); }

class OneRegistryResolver final : public hs::platform::Resolver {
 public:
  std::optional<uint32_t> FirstAddress(const std::string& host) override {
    if (host.rfind("whois.", 0) != 0) return std::nullopt;
    return inet_addr("127.0.0.2");
  }
  std::optional<std::string> ReverseName(uint32_t) override { return std::nullopt; }
  std::string LocalHostName() override { return "workstation"; }
};

// Counts the lookup-complete notices.
class Notices final : public hs::TraceViews {
 public:
  void LookupComplete() override {
    std::lock_guard g(lock_);
    ++count_;
    changed_.notify_all();
  }
  void WaitFor(int count) {
    std::unique_lock g(lock_);
    changed_.wait_for(g, std::chrono::seconds(60), [&] { return count_ >= count; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  int count_ = 0;
};

class WhoIsOnly final : public hs::HopLookups {
 public:
  explicit WhoIsOnly(hs::whois::WhoIsLookups& whois) : whois_(whois) {}
  void StartNetworkLookup(const hs::HopRef& row, const hs::CancellationWatch& watch,
                          const hs::PendingQueries& pending) override {
    whois_.StartNetworkLookup(row, watch, pending);
  }

 private:
  hs::whois::WhoIsLookups& whois_;
};

void ThirtyHopTrace(benchmark::State& state) {
  hs::test::FakeRegistry registry("127.0.0.2", 0);
  registry.AnswerOthers([](const std::string& request) {
    return hs::test::FakeReply::Of("NetRange: " + request + "\nNetName: NET-" + request + "\n", kAnswerDelayMs);
  });
  OneRegistryResolver resolver;
  const hs::whois::WhoIsServerTable table = hs::whois::WhoIsServerTable::BuiltIn();
  hs::whois::RirIndex rir{hs::whois::RirIndexData{}};  // everything goes to ARIN

  double total = 0;
  int workers = 0;
  for (auto _ : state) {
    hs::config::Caches caches;  // nothing cached: every hop asks
    hs::whois::WhoIsQuerier querier(table, rir, caches.whois, resolver, {registry.Port(), {}, {}});
    hs::whois::WhoIsLookups lookups(querier, caches.locations);
    Notices notices;
    lookups.SetViews(&notices);
    WhoIsOnly adapter(lookups);

    hs::test::ScriptedNetwork network;
    network.answer = [](uint32_t destination, int ttl) -> hs::test::Answer {
      if (ttl >= kHops) return hs::platform::IcmpEchoReply{destination, hs::IP_SUCCESS};
      return hs::platform::IcmpEchoReply{HopAddress(ttl), hs::IP_TTL_EXPIRED_TRANSIT};
    };
    hs::TraceEngine::Platform platform;
    platform.openIcmp = [&network] { return network.Open(); };
    platform.resolver = &resolver;
    hs::TraceEngine engine(std::move(platform));
    engine.SetLookups(&adapter);
    engine.SetTargetText(hs::platform::AddressToDotted(HopAddress(kHops)));

    const auto start = std::chrono::steady_clock::now();
    if (!engine.StartTrace()) {
      state.SkipWithError("the trace did not start");
      break;
    }
    notices.WaitFor(kHops);  // one worker per address; the destination row shares the last hop's
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    total += seconds;
    workers = lookups.WorkersStarted();
    engine.WaitIdle(std::chrono::seconds(20));
    lookups.SetViews(nullptr);
  }
  state.counters["of_serial"] = total / static_cast<double>(state.iterations()) / (kHops * kAnswerDelayMs / 1000.0);
  state.counters["workers"] = workers;
}
BENCHMARK(ThirtyHopTrace)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
