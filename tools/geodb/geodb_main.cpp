// hopsight-geodb: builds HopSight.gdp (router names -> positions) and
// hopsight.loca (place names) from router-names.txt and open data.
//
//   hopsight-geodb --source router-names.txt --airports airports.csv --cities cities.pbf --out DIR [--report]
#include <cstdio>
#include <string>

#include "geodb_source.h"
#include "platform/files.h"

namespace {

constexpr uint64_t kPlacePopulation = 15000;

int Usage() {
  std::fprintf(stderr,
               "usage: hopsight-geodb --source FILE --airports airports.csv --cities cities.pbf --out DIR [--report]\n");
  return 2;
}

std::string ReadOrDie(const std::string& path) {
  std::optional<std::string> b = hs::platform::ReadWholeFile(path);
  if (!b) {
    std::fprintf(stderr, "hopsight-geodb: cannot read %s\n", path.c_str());
    std::exit(1);
  }
  return std::move(*b);
}

bool Write(const std::string& path, const std::string& bytes) {
  const std::optional<std::string> old = hs::platform::ReadWholeFile(path);
  if (old && *old == bytes) return true;
  if (hs::platform::ReplaceFileAtomically(path, bytes)) return true;
  std::fprintf(stderr, "hopsight-geodb: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string source, airports, cities, out;
  bool report = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--report") report = true;
    else if (i + 1 >= argc) return Usage();
    else if (a == "--source") source = argv[++i];
    else if (a == "--airports") airports = argv[++i];
    else if (a == "--cities") cities = argv[++i];
    else if (a == "--out") out = argv[++i];
    else return Usage();
  }
  if (source.empty() || airports.empty() || cities.empty() || out.empty()) return Usage();

  const std::vector<hs::geodb::City> cityList = hs::geodb::ReadCitiesPbf(ReadOrDie(cities));
  const std::vector<hs::geodb::Airport> airportList = hs::geodb::ReadAirportsCsv(ReadOrDie(airports));
  hs::geodb::BuildResult built;
  try {
    built = hs::geodb::CompileRouterNames(ReadOrDie(source), airportList, cityList);
    built.database.description = "Router names: HopSight router-names.txt; OurAirports; GeoNames (CC BY 4.0)";
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", source.c_str(), e.what());
    return 1;
  }
  if (report)
    for (const std::string& line : built.report) std::printf("%s\n", line.c_str());

  const std::string gdp = hs::geo::WriteLocationDatabase(built.database);
  const std::string loca =
      hs::geo::WritePlaceFile(hs::geodb::SelectPlaces(cityList, kPlacePopulation, built.usedCities));
  hs::platform::MakeDirectories(out);
  if (!Write(out + "/HopSight.gdp", gdp) || !Write(out + "/hopsight.loca", loca)) return 1;
  size_t patterns = 0;
  for (const auto& d : built.database.domains) patterns += d.patterns.size();
  std::fprintf(stderr, "hopsight-geodb: %zu domains, %zu patterns (%zu bytes); %u places (%zu bytes)\n",
               built.database.domains.size(), patterns, gdp.size(),
               unsigned(loca.size() >= 4 ? uint8_t(loca[0]) | uint8_t(loca[1]) << 8 | uint8_t(loca[2]) << 16 : 0),
               loca.size());
  return 0;
}
