// Host names of hop rows: from the name cache, or by a reverse lookup whose
// answer (or its absence) is then cached.
#pragma once

#include <cstdint>
#include <functional>

#include "config/caches.h"
#include "platform/resolver.h"
#include "trace/records.h"

namespace hs::names {

class HopNameLookup {
 public:
  using Clock = std::function<int64_t()>;
  // `now` gives the calendar time for cache time stamps (default: the wall clock).
  HopNameLookup(config::NameCache& cache, platform::Resolver& resolver, Clock now = {});

  // Clears the row's name and fills it: "No Response" for a silent hop (no
  // cache entry), else the cached name, else (only when `networkAllowed`) the
  // resolver's answer in lower case without one trailing dot. An answer that
  // comes back after the trace was stopped or replaced is dropped: neither the
  // row nor the cache changes. True when the row now carries a name; the row
  // is then Settled.
  bool LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch);

 private:
  config::NameCache& cache_;
  platform::Resolver& resolver_;
  Clock now_;
};

// The form in which a resolver's name is shown and cached.
std::string NormalizeHostName(std::string name);

}  // namespace hs::names
