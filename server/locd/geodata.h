// Everything hopsight-locd knows about places: countries with their default
// positions and wizard levels, cities, US postcodes, address ranges by
// country, the operator's overrides and an optional city database.
// Immutable after loading, so request threads share it without locks.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/locd/mmdb_source.h"
#include "server/locd/overrides.h"
#include "server/wire/locwire.h"

namespace hs::locd {

// Precision classes (0-255, higher is finer) of what we answer.
inline constexpr uint8_t kCountryPrecision = 16;     // a capital standing in for a whole country
inline constexpr uint8_t kCityNoRadiusPrecision = 130;  // a city without accuracy radius
inline constexpr uint8_t kPointNoCityPrecision = 60;    // a position with neither city nor radius
// Accuracy radius in km → precision: 1 km 200, 10 km 160, 100 km 120, 1000 km 80.
uint8_t PrecisionForRadius(double km);

struct Placement {
  enum Level { Override, City, Country };
  Level level = Country;
  double latitude = 0;
  double longitude = 0;
  uint8_t precision = 0;
  std::string country;  // two letters; may be empty for overrides and databases without one
};

struct Country {
  std::string code;
  std::string name;  // ASCII, as listed by the wizard
  int level = 0;
  double latitude = 0, longitude = 0;  // default position, usually the capital
};

// Case- and accent-free key of a place name: ASCII lower case, "-" and "_"
// as blanks, "." "'" "`" dropped, blanks collapsed. Empty for text with
// 8-bit bytes or control characters (our data keys are ASCII).
std::string PlaceKey(std::string_view text);

// Loopback, private, shared, link-local, documentation, benchmark, multicast
// and reserved addresses: no place of their own.
bool IsSpecialAddress(uint32_t address);
// Address with its first dotted byte in the top bits.
inline uint32_t AddressValue(const std::array<uint8_t, 4>& a) {
  return uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
}

class GeoData {
 public:
  // Loads DIR/countries.tsv (required), admin1.tsv, cities.tsv, zips.tsv and
  // ranges.tsv (each optional). On failure returns null and sets `error`.
  static std::unique_ptr<GeoData> Load(const std::string& dir, std::string* error);

  void SetOverrides(OverrideTable t) { overrides_ = std::move(t); }
  void SetCityDatabase(std::unique_ptr<MmdbSource> db) { mmdb_ = std::move(db); }

  // Best position of an address: override, then (unless special) the city
  // database, then the country ranges.
  std::optional<Placement> Locate(uint32_t address) const;
  // One route answer entry for a hop: the all-zero entry when nothing is
  // known, or when the client's own position is finer than ours.
  locwire::RouteEntry RouteEntryFor(const locwire::RouteHop& hop) const;

  locwire::PlaceAnswer Lookup(const locwire::PlaceQuery& q) const;

  // Countries by name; `suggested` is a code (unknown codes fall back to the
  // first listed country).
  locwire::CountryList CountryListFor(std::string_view suggested) const;

  const Country* FindCountry(std::string_view codeOrName) const;
  size_t CountryCount() const { return countries_.size(); }
  size_t CityCount() const { return cities_.size(); }
  size_t RangeCount() const { return ranges_.size(); }
  size_t ZipCount() const { return zips_.size(); }

 private:
  struct City {
    uint16_t country;  // index into countries_
    std::string admin;
    double latitude, longitude;
    uint32_t population;
  };
  struct Zip {
    double latitude, longitude;
  };
  struct Range {
    uint32_t first, last;
    uint16_t country;
  };
  struct Position {
    double latitude, longitude;
  };

  std::optional<Position> FindCity(const Country& c, const std::string& key, const std::string* admin) const;
  std::optional<std::string> FindAdmin(const Country& c, std::string_view state) const;
  std::optional<Position> AdminPosition(const Country& c, const std::string& admin) const;
  std::optional<locwire::PlaceAnswer> LookupByNetwork(const locwire::PlaceQuery& q) const;
  const Country* CountryOfDomain(std::string_view domain) const;

  std::vector<Country> countries_;  // sorted by name
  std::unordered_map<std::string, uint16_t> countryByKey_;  // code and folded name → index
  std::vector<City> cities_;
  std::unordered_map<std::string, std::vector<uint32_t>> citiesByKey_;  // "CC|key" → cities
  std::unordered_map<std::string, std::string> adminByKey_;             // "CC|key or code" → admin code
  std::unordered_map<std::string, Position> adminPosition_;             // "CC|admin" → largest city
  std::unordered_map<std::string, Zip> zips_;
  std::unordered_map<std::string, Position> zipCities_;  // "citykey|ST" → mean of its postcodes
  std::vector<Range> ranges_;                             // sorted, disjoint
  OverrideTable overrides_;
  std::unique_ptr<MmdbSource> mmdb_;
};

}  // namespace hs::locd
