// LocateHop: places a hop from what this computer knows, in a fixed order:
// the user's own locations, then the lookup cache, then the database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "trace/records.h"

namespace hs::config {
class LocationCache;
}

namespace hs::geo {

class LocationDatabase;
class UserLocations;
class PlaceFile;

struct LocalSources {
  const UserLocations* userLocations = nullptr;
  const config::LocationCache* cache = nullptr;
  const LocationDatabase* database = nullptr;
};

// Overwrites `location` and returns true when a source knows the hop: User
// with the user's precision, Cache with the cached precision (looked up by
// host name, or by dotted address when the name is empty), Database with
// precision 40. Otherwise returns false and leaves `location` alone. Nothing
// found here is added to the cache.
bool LocateHop(const LocalSources& sources, GeoLocation& location, std::string_view hostName, uint32_t address);
// The same for a row: its name and address. A row without an address (a
// silent hop, an end row) is not placed.
bool LocateHop(const LocalSources& sources, HopRecord& row);

// How a position is named in texts: "User", "Cache", "Database", ...
std::string_view LocationSourceName(LocationSource source);
// The Location cell of a row: "Frankfurt am Main, DE (Database/40)" (the
// source and its precision, higher is finer), or the degrees when no place is
// near ("50.12, 8.68 (Database/40)"); empty without a
// position.
std::string LocationText(const GeoLocation& location, const PlaceFile* places);

}  // namespace hs::geo
