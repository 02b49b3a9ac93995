// Placing a finished route with one request to the location servers
// (`LocateRoute`): the request carries every hop's address, precision and
// round-trip time; the answer's positions replace the local ones, go into the
// location cache, and the local computer's position becomes the home location.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "config/caches.h"
#include "geo/location_servers.h"
#include "server/wire/locwire.h"
#include "trace/records.h"

namespace hs::geo {

// The rows that go into a route request: up to the first empty slot, at
// most the wire's 63 hops (a 64th row can only be a trace's synthetic end row,
// which has no address).
size_t RouteHopCount(const std::vector<HopRef>& rows);

// "loc/?" identity "&Z" and 16 characters per hop.
std::string BuildRouteRequest(const locwire::InstallIdentity& identity, const std::vector<HopRef>& rows);

// The route answer check for `hops` entries: 0 good, 4 not valid.
int RouteAnswerVerdict(std::string_view answer, size_t hops);

// Where accepted positions go besides the rows.
struct RouteAnswerTargets {
  config::LocationCache* cache = nullptr;  // hops 1.. under their name or dotted address
  int64_t now = 0;                         // cache time stamp
  std::function<void(const GeoLocation&)> replaceHome;  // hop 0, the local computer
};

// Applies a checked answer to the first RouteHopCount(rows) rows. Returns the
// out-flag: more than two hops, the last three answered with latitude code 0
// (exactly 90 degrees), and the destination's own precision below 8.
bool ApplyRouteAnswer(std::string_view answer, const std::vector<HopRef>& rows, const RouteAnswerTargets& targets);

struct RoutePlacement {
  bool answered = false;                 // a server gave a well-formed answer
  bool destinationNeedsAddress = false;  // the out-flag: place the destination by its WhoIs address
};

class RoutePlacer {
 public:
  struct Setup {
    LocationServerTable* servers = nullptr;
    config::LocationCache* cache = nullptr;
    locwire::InstallIdentity identity;
    std::function<void(const GeoLocation&)> replaceHome;
    std::function<int64_t()> now;  // default: platform::CalendarTime
    FetchFeedback* feedback = nullptr;  // the owner window's wait cursor, if any
  };
  explicit RoutePlacer(Setup setup);

  // `LocateRoute`. `stillWanted` is asked during the request and once more
  // before anything is changed: a stopped trace places nothing.
  RoutePlacement LocateRoute(const std::vector<HopRef>& rows, const std::function<bool()>& stillWanted = {});

 private:
  Setup setup_;
};

}  // namespace hs::geo
