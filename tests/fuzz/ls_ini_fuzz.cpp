// LS.ini as the program reads it, from any bytes: what is read and written
// back must read back the same, and the order must be a sorted permutation.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "geo/location_servers.h"

using hs::geo::LocationServer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<hs::geo::ServerList> list = hs::geo::ParseServerList(text);
  if (!list) return 0;

  std::vector<LocationServer> sorted = list->servers;
  hs::geo::SortServers(sorted);
  for (size_t i = 1; i < sorted.size(); ++i)
    if (sorted[i - 1].time > sorted[i].time) std::abort();
  auto byHost = [](const LocationServer& a, const LocationServer& b) {
    return std::tie(a.host, a.time, a.valid) < std::tie(b.host, b.time, b.valid);
  };
  std::vector<LocationServer> a = list->servers, b = sorted;
  std::sort(a.begin(), a.end(), byHost);
  std::sort(b.begin(), b.end(), byHost);
  if (a != b) std::abort();

  std::vector<LocationServer> valid;
  for (const LocationServer& s : list->servers)
    if (s.valid) valid.push_back(s);
  std::optional<hs::geo::ServerList> again = hs::geo::ParseServerList(hs::geo::FormatServerList(*list));
  if (valid.empty()) {
    if (again) std::abort();  // a count of 0 reads as "no server"
    return 0;
  }
  if (!again || again->lastTest != list->lastTest || again->servers != valid) std::abort();
  return 0;
}
