#include "geo/route_placement.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/resolver.h"

namespace hs::geo {
namespace {

constexpr int32_t kAddressPrecisionLimit = 8;  // a WhoIs address places finer than nothing, coarser than all else
constexpr double kLatitudeLimit = 85;

std::array<uint8_t, 4> AddressBytes(uint32_t networkOrder) {
  std::array<uint8_t, 4> bytes;
  std::memcpy(bytes.data(), &networkOrder, 4);  // network order is dotted order in memory
  return bytes;
}

// An entry the reader could not read as hex stands for latitude 0 and
// longitude 0, not for codes 0: it must not count towards the out-flag.
bool EntryIsHex(std::string_view answer, size_t index) {
  std::string_view e = answer.substr(locwire::kBannerLength + 10 * index, 10);
  return e.size() == 10 && std::all_of(e.begin(), e.end(), locwire::IsHexDigit);
}

}  // namespace

size_t RouteHopCount(const std::vector<HopRef>& rows) {
  size_t n = 0;
  while (n < rows.size() && n < locwire::kMaxRouteHops && rows[n]) ++n;
  return n;
}

std::string BuildRouteRequest(const locwire::InstallIdentity& identity, const std::vector<HopRef>& rows) {
  locwire::RouteRequest request;
  request.identity = identity;
  const size_t n = RouteHopCount(rows);
  for (size_t i = 0; i < n; ++i) {
    const HopRecord& row = *rows[i];
    locwire::RouteHop hop;
    hop.address = AddressBytes(row.address);
    hop.precision = static_cast<uint8_t>(std::clamp<int32_t>(row.Location().precision, 0, 255));
    hop.rttMs = row.lastRtt;
    request.hops.push_back(hop);
  }
  return locwire::WriteRouteRequest(request);
}

int RouteAnswerVerdict(std::string_view answer, size_t hops) {
  return locwire::ReadRouteAnswer(answer, hops) ? kVerdictGood : kVerdictInvalid;
}

bool ApplyRouteAnswer(std::string_view answer, const std::vector<HopRef>& rows, const RouteAnswerTargets& targets) {
  const size_t n = RouteHopCount(rows);
  auto entries = locwire::ReadRouteAnswer(answer, n);
  if (!entries || n == 0) return false;

  bool outFlag = false;
  if (n > 2 && rows[n - 1]->Location().precision < kAddressPrecisionLimit) {
    outFlag = true;
    for (size_t i = n - 3; i < n; ++i)
      if (!EntryIsHex(answer, i) || (*entries)[i].latCode != 0) outFlag = false;
  }

  for (size_t i = 0; i < n; ++i) {
    if (!EntryIsHex(answer, i)) continue;  // latitude 0, longitude 0: never accepted
    const locwire::RouteEntry& e = (*entries)[i];
    const double latitude = e.Latitude(), longitude = e.Longitude();
    if (latitude == 0 || longitude == 0 || latitude < -kLatitudeLimit || latitude > kLatitudeLimit ||
        longitude < -180 || longitude > 180)
      continue;
    const GeoLocation location{LocationSource::Server, latitude, longitude, e.precision};
    HopRecord& row = *rows[i];
    row.SetLocation(location);
    if (i == 0) {
      if (targets.replaceHome) targets.replaceHome(location);
    } else if (targets.cache) {
      std::string key = row.Name();
      if (key.empty()) key = platform::AddressToDotted(row.address);
      targets.cache->Insert(std::move(key), location, targets.now);
    }
  }
  return outFlag;
}

RoutePlacer::RoutePlacer(Setup setup) : setup_(std::move(setup)) {
  if (!setup_.now) setup_.now = platform::CalendarTime;
}

RoutePlacement RoutePlacer::LocateRoute(const std::vector<HopRef>& rows, const std::function<bool()>& stillWanted) {
  RoutePlacement placement;
  const size_t n = RouteHopCount(rows);
  if (n == 0 || !setup_.servers) return placement;
  FetchRequest request;
  request.path = BuildRouteRequest(setup_.identity, rows);
  request.verdict = [n](std::string_view answer) { return RouteAnswerVerdict(answer, n); };
  request.stillWanted = stillWanted;
  request.feedback = setup_.feedback;
  FetchResult result = setup_.servers->FetchFromLocationServers(request);
  if (!result.ok || result.verdict != kVerdictGood) return placement;
  if (stillWanted && !stillWanted()) return placement;
  placement.answered = true;
  placement.destinationNeedsAddress =
      ApplyRouteAnswer(result.answer, rows, {setup_.cache, setup_.now(), setup_.replaceHome});
  return placement;
}

}  // namespace hs::geo
