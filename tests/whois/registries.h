// Fake registries for the query and worker tests: every server host of the
// table gets a registry of its own on a loopback address (127.0.0.2, .3, ...),
// all on one port, which the querier is told to use.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "config/caches.h"
#include "platform/resolver.h"
#include "tests/whois/fake_registry.h"
#include "trace/records.h"
#include "whois/query.h"
#include "whois/rir_index.h"
#include "whois/server_table.h"

namespace hs::test {

// Host names to loopback addresses; names it does not know do not resolve.
class LoopbackResolver final : public platform::Resolver {
 public:
  void Map(const std::string& host, const std::string& dotted) {
    std::lock_guard g(lock_);
    hosts_[host] = platform::DottedToAddress(dotted);
  }
  std::optional<uint32_t> FirstAddress(const std::string& host) override {
    std::lock_guard g(lock_);
    auto it = hosts_.find(host);
    if (it == hosts_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<std::string> ReverseName(uint32_t) override { return std::nullopt; }
  std::string LocalHostName() override { return "workstation"; }

 private:
  std::mutex lock_;
  std::map<std::string, uint32_t> hosts_;
};

// Bounds long enough that only a stop ends a stalled exchange.
inline whois::WhoIsLimits StopLimits() {
  whois::WhoIsLimits l;
  l.receiveMs = 30000;
  l.exchangeMs = 30000;
  l.cancelPollMs = 10;
  return l;
}

// Short bounds, so that stalls end quickly in tests.
inline whois::WhoIsLimits TestLimits() {
  whois::WhoIsLimits l;
  l.connectMs = 1000;
  l.receiveMs = 300;
  l.exchangeMs = 1500;
  l.cancelPollMs = 10;
  return l;
}

class Registries {
 public:
  static constexpr int64_t kNow = 1790000000;

  explicit Registries(whois::WhoIsLimits limits = TestLimits())
      : table(whois::WhoIsServerTable::BuiltIn()),
        // 203.0.113.0/24 is APNIC's, 198.51.100.0/24 RIPE's, the rest ARIN's.
        rir(whois::ParseRirIndex("[apnic]\n203.0.112.255\t203.0.114.0\n[ripe]\n198.51.99.255\t198.51.101.0\n")),
        first_(std::make_unique<FakeRegistry>("127.0.0.2", 0)),
        querier(table, rir, cache, resolver, {first_->Port(), limits, [] { return kNow; }}) {}

  // The registry answering for `host` (started on first use).
  FakeRegistry& At(const std::string& host) {
    if (host == first_host_ || first_host_.empty()) {  // the first host asked for gets the first registry
      first_host_ = host;
      resolver.Map(host, "127.0.0.2");
      return *first_;
    }
    auto it = others_.find(host);
    if (it != others_.end()) return *it->second;
    const std::string address = "127.0.0." + std::to_string(3 + others_.size());
    auto registry = std::make_unique<FakeRegistry>(address, first_->Port());
    resolver.Map(host, address);
    return *others_.emplace(host, std::move(registry)).first->second;
  }

  // A watch on a running trace.
  CancellationWatch Watch() {
    state.traceRunning = 1;
    return state.Watch();
  }

  whois::WhoIsServerTable table;
  whois::RirIndex rir;
  config::WhoIsCache cache;
  LoopbackResolver resolver;
  TraceState state;

 private:
  std::string first_host_;
  std::unique_ptr<FakeRegistry> first_;
  std::map<std::string, std::unique_ptr<FakeRegistry>> others_;

 public:
  whois::WhoIsQuerier querier;
};

}  // namespace hs::test
