// HopLoc.ini: positions the user assigns to hops by wildcard pattern. They win
// over every other local source. One reader (ParseUserLocations) and one
// writer (UserLocationsText) of the file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "geo/wildcard.h"
#include "trace/records.h"

namespace hs::geo {

inline constexpr std::string_view kUserLocationsFileName = "HopLoc.ini";

struct UserLocation {
  std::string pattern;
  GeoLocation location;  // latitude, longitude, precision from the file; source None
};

class UserLocations {
 public:
  UserLocations() = default;
  UserLocations(const UserLocations&) = delete;
  UserLocations& operator=(const UserLocations&) = delete;

  // Replaces the list (and its index).
  void Assign(std::vector<UserLocation> entries);
  const std::vector<UserLocation>& Entries() const { return entries_; }

  // The first entry, in list order, whose pattern matches the dotted address;
  // else the first whose pattern matches the host name (which may be empty).
  const UserLocation* Find(std::string_view dottedAddress, std::string_view hostName) const;

 private:
  std::vector<UserLocation> entries_;
  WildcardIndex index_;
};

// The entries of a HopLoc.ini text: lines before "count=" are skipped (a line
// beginning with "[" there ends the read); then up to count lines of the form
// pattern=latitude,longitude,precision. Lines are read in pieces of at most
// 1023 characters.
std::vector<UserLocation> ParseUserLocations(std::string_view text);
// The normalised file: "count=N", then "pattern=lat,lon,precision" with two
// decimals per degree value.
std::string UserLocationsText(const std::vector<UserLocation>& entries);

// Loads <dataDir>/HopLoc.ini; a missing file leaves the list empty.
void LoadUserLocations(const std::string& dataDir, UserLocations& locations);
// Writes the normalised form back, only when the list is not empty and the
// bytes differ from the file's. False when a needed write failed.
bool SaveUserLocations(const std::string& dataDir, const UserLocations& locations);

}  // namespace hs::geo
