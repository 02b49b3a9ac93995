// Any bytes as HopLoc.ini: the reader must not crash; the normalised text
// reads back to itself, and lookups agree with trying every entry in order.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "geo/user_locations.h"

namespace {
const hs::geo::UserLocation* Scan(const hs::geo::UserLocations& u, std::string_view text) {
  for (const hs::geo::UserLocation& e : u.Entries())
    if (hs::geo::MatchWildcard(text, e.pattern) == 0) return &e;
  return nullptr;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::geo;
  const std::vector<UserLocation> first =
      ParseUserLocations(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string written = UserLocationsText(first);
  // Lines longer than the reader's 1023 characters are read in pieces, so
  // only shorter ones must come back unchanged.
  size_t longest = 0;
  for (size_t at = 0; at < written.size();) {
    const size_t end = written.find('\n', at);
    longest = std::max(longest, end - at);
    at = end + 1;
  }
  if (longest < 1023 && UserLocationsText(ParseUserLocations(written)) != written) std::abort();
  UserLocations u;
  u.Assign(first);
  for (const char* name : {"gw.example.net", "", "10.1.2.3"}) {
    const UserLocation* want = Scan(u, "10.1.2.3");
    if (!want) want = Scan(u, name);
    if (u.Find("10.1.2.3", name) != want) std::abort();
  }
  return 0;
}
