// A city database in MaxMind DB format that the operator supplies and keeps
// current. Two schemas are understood: the vendor's nested one
// (location.latitude/longitude/accuracy_radius, city.names.en,
// country.iso_code) and the flattened one of the ip-location-db packages
// (latitude, longitude, city, country_code).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct MMDB_s;

namespace hs::locd {

struct CityRecord {
  double latitude = 0, longitude = 0;
  std::optional<double> accuracyRadiusKm;
  std::string city;     // empty when the record names none
  std::string country;  // two letters or empty
};

class MmdbSource {
 public:
  static std::unique_ptr<MmdbSource> Open(const std::string& path, std::string* error);
  ~MmdbSource();
  MmdbSource(const MmdbSource&) = delete;
  MmdbSource& operator=(const MmdbSource&) = delete;

  // Records without a position give nullopt. Safe from many threads (the
  // file is mapped read-only).
  std::optional<CityRecord> Find(uint32_t address) const;

 private:
  MmdbSource() = default;
  std::unique_ptr<MMDB_s> db_;
};

}  // namespace hs::locd
