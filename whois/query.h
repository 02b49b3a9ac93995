// One complete WhoIs lookup: from the cache when it can, otherwise over the
// server chain of the text's row, with the registries' refusals, busy
// answers and many-matches follow-ups, and the cache rules that let the
// addresses of one network share one stored answer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/caches.h"
#include "platform/resolver.h"
#include "trace/records.h"
#include "whois/rir_index.h"
#include "whois/server_table.h"

namespace hs::whois {

inline constexpr uint16_t kWhoIsPort = 43;

// Our bounds on one exchange with a server. A dead, stalling or flooding
// server costs at most this much time and memory; the chain then moves on.
struct WhoIsLimits {
  uint32_t connectMs = 4000;       // establishing the connection
  uint32_t receiveMs = 5000;       // silence before the first block and between two blocks
  uint32_t exchangeMs = 10000;     // the whole exchange, connect included (the trace waits 10 s for lookups)
  size_t maxAnswerBytes = 65535;   // larger answers are refused: the cache file counts lengths in 16 bits
  uint32_t cancelPollMs = 20;      // how soon a stopped trace ends a waiting exchange
};

class WhoIsQuerier {
 public:
  struct Options {
    uint16_t port = kWhoIsPort;
    WhoIsLimits limits;
    std::function<int64_t()> now;  // calendar seconds for cache time stamps; default: the wall clock
  };

  WhoIsQuerier(const WhoIsServerTable& table, RirIndex& rir, config::WhoIsCache& cache,
               platform::Resolver& resolver, Options options);
  WhoIsQuerier(const WhoIsServerTable& table, RirIndex& rir, config::WhoIsCache& cache,
               platform::Resolver& resolver)
      : WhoIsQuerier(table, rir, cache, resolver, Options{}) {}

  // The answer about a host name or a dotted address: owned by the cache, or
  // (a busy answer) by the caller alone. None when nothing was found, the
  // servers failed, or the trace stopped.
  std::shared_ptr<const std::string> QueryWhoIs(std::string_view text, const CancellationWatch& watch) const;

  // Asks one server; the received text, or none.
  std::optional<std::string> WhoIsExchange(const WhoIsServer& server, std::string_view argument,
                                           const CancellationWatch& watch) const;

  // The cache rules. A network key holds "1:\n" and a network name (the
  // answer is stored under that name) or "0:\n" and the answer itself.
  std::shared_ptr<const std::string> CacheLookup(std::string_view key, bool network) const;
  void CacheStore(const std::string& key, std::string answer, bool network) const;

  WhoIsSelection Select(std::string_view name) const { return SelectWhoIsServer(table_, rir_, name); }

  // Ends every exchange at its next check and makes new ones give none (shutdown).
  void CancelAll() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_.load(); }

  config::WhoIsCache& Cache() const { return cache_; }
  int64_t Now() const { return options_.now(); }

 private:
  bool Current(const CancellationWatch& watch) const { return !cancelled_ && watch.IsCurrent(); }
  std::shared_ptr<const std::string> TidyAndStore(std::string_view text, const std::string& key,
                                                  bool network) const;

  const WhoIsServerTable& table_;
  RirIndex& rir_;
  config::WhoIsCache& cache_;
  platform::Resolver& resolver_;
  Options options_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace hs::whois
