#include "geo/hop_locator.h"

#include <charconv>

#include "config/caches.h"
#include "geo/location_database.h"
#include "geo/place_file.h"
#include "geo/user_locations.h"
#include "platform/resolver.h"

namespace hs::geo {

bool LocateHop(const LocalSources& sources, GeoLocation& location, std::string_view hostName, uint32_t address) {
  const std::string dotted = platform::AddressToDotted(address);
  GeoLocation found;
  if (const UserLocation* user = sources.userLocations ? sources.userLocations->Find(dotted, hostName) : nullptr) {
    found = user->location;
    found.source = LocationSource::User;
  } else if (std::optional<GeoLocation> cached =
                 sources.cache ? sources.cache->Find(hostName.empty() ? std::string_view(dotted) : hostName)
                               : std::nullopt) {
    found = *cached;
    found.source = LocationSource::Cache;
  } else if (const GeoLocation* db = sources.database ? sources.database->FindInDatabase(hostName, address) : nullptr) {
    found = *db;
    found.source = LocationSource::Database;
    found.precision = kDatabasePrecision;
  } else {
    return false;
  }
  location = found;
  return true;
}

bool LocateHop(const LocalSources& sources, HopRecord& row) {
  const uint32_t address = row.address;
  if (address == 0) return false;
  GeoLocation location = row.Location();
  if (!LocateHop(sources, location, row.Name(), address)) return false;
  row.SetLocation(location);
  return true;
}

std::string_view LocationSourceName(LocationSource source) {
  switch (source) {
    case LocationSource::None: return "None";
    case LocationSource::DefaultHome: return "Default home";
    case LocationSource::Home: return "Home";
    case LocationSource::WhoIsAddress: return "WhoIs address";
    case LocationSource::Database: return "Database";
    case LocationSource::Cache: return "Cache";
    case LocationSource::User: return "User";
    case LocationSource::Server: return "Server";
  }
  return "Unknown";
}

namespace {
void AppendDegrees(std::string& out, double v) {
  char buf[400];  // fixed notation of the largest double needs 309 digits
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
  out.append(buf, r.ec == std::errc() ? r.ptr : buf);
}
// A route label looks 30 map units (1/6 degree) around a hop; so do texts.
constexpr int32_t kPlaceRadius = 30;
}  // namespace

std::string LocationText(const GeoLocation& location, const PlaceFile* places) {
  if (!location.HasPosition()) return {};
  std::string out;
  const std::optional<Place> place =
      places ? places->NearestTo(location.latitude, location.longitude, kPlaceRadius) : std::nullopt;
  if (place) {
    out = std::string(place->name);
  } else {
    AppendDegrees(out, location.latitude);
    out += ", ";
    AppendDegrees(out, location.longitude);
  }
  out += " (";
  out += LocationSourceName(location.source);
  out += "/";
  out += std::to_string(location.precision);
  out += ")";
  return out;
}

}  // namespace hs::geo
