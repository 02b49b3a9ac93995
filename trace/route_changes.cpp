#include "trace/route_changes.h"

#include <algorithm>
#include <cstdio>

#include "platform/resolver.h"
#include "trace/texts.h"

namespace hs {

std::vector<RouteChange> CompareRoutes(const std::vector<TraceHopEntry>& recorded, const std::vector<HopRef>& rows) {
  std::vector<RouteChange> changes;
  const size_t n = std::max(recorded.size(), rows.size());
  for (size_t i = 0; i < n; ++i) {
    std::optional<uint32_t> before, after;
    if (i < recorded.size()) before = recorded[i].address;
    if (i < rows.size() && rows[i]) after = rows[i]->address.load();
    if (before != after) changes.push_back({int(i), before, after});
  }
  return changes;
}

std::string RouteChangeSide(const std::optional<uint32_t>& address) {
  if (!address) return text::kRouteNoHop;
  if (*address == 0) return text::kRouteNoReply;
  return platform::AddressToDotted(*address);
}

std::string RouteChangeLine(const RouteChange& change) {
  const std::string before = RouteChangeSide(change.before), after = RouteChangeSide(change.after);
  std::string out(before.size() + after.size() + 64, '\0');
  const int n = std::snprintf(out.data(), out.size(), text::kRouteChangeLine, change.row + 1, before.c_str(),
                              after.c_str());
  out.resize(n > 0 ? std::min(size_t(n), out.size() - 1) : 0);
  return out;
}

}  // namespace hs
