// The builder's reading of router-names.txt, airports.csv and cities.pbf,
// with small hand-made inputs.
#include <gtest/gtest.h>

#include "geodb_source.h"

namespace hs::geodb {
namespace {

const char* kAirports =
    "\"id\",\"ident\",\"type\",\"name\",\"latitude_deg\",\"longitude_deg\",\"elevation_ft\",\"continent\","
    "\"iso_country\",\"iso_region\",\"municipality\",\"scheduled_service\",\"gps_code\",\"iata_code\","
    "\"local_code\",\"home_link\",\"wikipedia_link\",\"keywords\"\n"
    "2212,\"EDDF\",\"large_airport\",\"Frankfurt am Main, Airport\",50.0264,8.5431,364,\"EU\",\"DE\",\"DE-HE\","
    "\"Frankfurt-am-Main\",\"yes\",\"EDDF\",\"FRA\",,,,\n"
    "1,\"XXXX\",\"small_airport\",\"Strip\",10,10,1,\"EU\",\"DE\",\"DE-HE\",\"Nowhere\",\"no\",,\"ZZZ\",,,,\n"
    "2,\"YYYY\",\"large_airport\",\"Far\",40.6398,-73.7789,1,\"NA\",\"US\",\"US-NY\",\"New York\",\"yes\",,\"JFK\",,,,\n";

std::vector<City> Cities() {
  return {{"Frankfurt am Main", "DE", "PPLA3", 650000, 50.11552, 8.68417},
          {"Offenbach", "DE", "PPL", 120000, 50.1, 8.76},
          {"New York City", "US", "PPL", 8175133, 40.71427, -74.00597},
          {"Old Town", "US", "PPLH", 90000, 40.7, -74.0},
          {"São Paulo", "BR", "PPLA", 10021295, -23.5475, -46.63611}};
}

TEST(RouterNamesSource, ExpandsFormsForEveryCode) {
  const auto airports = ReadAirportsCsv(kAirports);
  const auto cities = Cities();
  const BuildResult r = CompileRouterNames(
      "metro sao São Paulo, BR\n"
      "network .example.net  # a comment\n"
      "source test\n"
      "form *.{}[1-3].* {lc}-*\n"
      "iata fra sao\n"
      "site NYK New York City, US\n"
      "network .a.example.com\n"
      "source test\n"
      "form *.{}.*\n"
      "iata jfk\n",
      airports, cities);
  ASSERT_EQ(r.database.domains.size(), 2u);
  // Sorted by reversed key: ".a.example.com" before ".example.net".
  EXPECT_EQ(r.database.domains[0].key, ".a.example.com");
  const auto& p = r.database.domains[1].patterns;
  std::vector<std::string> got;
  for (const auto& e : p) got.push_back(e.pattern);
  EXPECT_EQ(got, (std::vector<std::string>{"*.fra1.*", "*.fra2.*", "*.fra3.*", "fra-*", "*.sao1.*", "*.sao2.*",
                                           "*.sao3.*", "sao-*", "*.NYK1.*", "*.NYK2.*", "*.NYK3.*", "nyk-*"}));
  // FRA takes its town by name, not the larger or nearer place.
  EXPECT_NEAR(p[0].location.latitude, 50.11552, 1e-9);
  EXPECT_NEAR(p[4].location.latitude, -23.5475, 1e-9);  // metro code
  EXPECT_EQ(p[0].location.precision, 40);
  // JFK's town "New York" is no GeoNames name: the largest city near the airport.
  EXPECT_NEAR(r.database.domains[0].patterns[0].location.longitude, -74.00597, 1e-9);
  EXPECT_EQ(r.usedCities.size(), 3u);
}

TEST(RouterNamesSource, RefusesWhatItCannotVouchFor) {
  const auto airports = ReadAirportsCsv(kAirports);
  const auto cities = Cities();
  auto fails = [&](const std::string& src) {
    try {
      CompileRouterNames(src, airports, cities);
    } catch (const SourceError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  const std::string head = "network .x.net\nsource s\nform *.{}1.*\n";
  EXPECT_NE(fails("stop pop\n" + head + "site POP New York City, US\n").find("stoplist"), std::string::npos);
  EXPECT_NE(fails(head + "iata zzz\n").find("not a scheduled"), std::string::npos);
  EXPECT_NE(fails(head + "iata qqq\n").find("no airport"), std::string::npos);
  EXPECT_NE(fails(head + "site x Atlantis, US\n").find("no GeoNames city"), std::string::npos);
  EXPECT_NE(fails("network .x.net\nform *.{}1.*\niata fra\n").find("source"), std::string::npos);
  EXPECT_NE(fails(head + "site a New York City, US\nsite A São Paulo, BR\nform *.{lc}1.*\nsite a São Paulo, BR\n")
                .find("another place"),
            std::string::npos);
  EXPECT_NE(fails(head + "iata fra\nfrobnicate\n").find("line 5"), std::string::npos);
  EXPECT_NE(fails("network .x.net\nsource s\n").find("no patterns"), std::string::npos);
}

TEST(RouterNamesSource, FoldsNamesForComparison) {
  EXPECT_EQ(FoldName("Frankfurt-am-Main"), "frankfurt am main");
  EXPECT_EQ(FoldName("  Frankfurt am  Main "), "frankfurt am main");
  EXPECT_EQ(FoldName("São Paulo"), "sao paulo");
  EXPECT_EQ(FoldName("Zürich"), "zurich");
  EXPECT_EQ(FoldName("Łódź"), "lodz");
  EXPECT_EQ(FoldName("Düsseldorf"), "dusseldorf");
  EXPECT_EQ(FoldName("St. Louis"), "st louis");
  EXPECT_NEAR(DistanceKm(50.11552, 8.68417, 51.50853, -0.12574), 636, 5);
}

TEST(CitiesPbf, ReadsLengthPrefixedRecordsWithDeltaCoordinates) {
  auto varint = [](uint64_t v) {
    std::string s;
    do {
      uint8_t b = v & 0x7F;
      v >>= 7;
      s += char(v ? b | 0x80 : b);
    } while (v);
    return s;
  };
  auto zig = [](int64_t v) { return uint64_t((v << 1) ^ (v >> 63)); };
  auto text = [&](int field, const std::string& s) { return varint(uint64_t(field) << 3 | 2) + varint(s.size()) + s; };
  auto num = [&](int field, uint64_t v) { return varint(uint64_t(field) << 3) + varint(v); };
  const std::string a = text(2, "Frankfurt am Main") + text(3, "DE") + text(7, "PPLA3") + num(9, 650000) +
                        num(10, zig(868417)) + num(11, zig(5011552));
  const std::string b = text(2, "Offenbach") + text(3, "DE") + num(9, 120000) + num(10, zig(-8417)) +
                        num(11, zig(-11552));
  const std::vector<City> c = ReadCitiesPbf(varint(a.size()) + a + varint(b.size()) + b);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].name, "Frankfurt am Main");
  EXPECT_EQ(c[0].feature, "PPLA3");
  EXPECT_EQ(c[0].population, 650000u);
  EXPECT_NEAR(c[0].latitude, 50.11552, 1e-9);
  EXPECT_NEAR(c[1].longitude, 8.6, 1e-9);
  EXPECT_NEAR(c[1].latitude, 50.0, 1e-9);
  // A record running past the end ends the reading.
  EXPECT_EQ(ReadCitiesPbf(varint(a.size() + 5) + a).size(), 0u);
}

TEST(PlaceSelection, KeepsLargeLivingPlacesAndEveryCityTheDatabaseUses) {
  const auto cities = Cities();
  const auto places = SelectPlaces(cities, 100000, {&cities[1]});
  std::vector<std::string> names;
  for (const auto& p : places) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Frankfurt am Main, DE", "Offenbach, DE", "New York City, US",
                                             "São Paulo, BR"}));
  EXPECT_EQ(SelectPlaces(cities, 200000, {}).size(), 3u);
}

}  // namespace
}  // namespace hs::geodb
