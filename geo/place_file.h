// hopsight.loca: named places in map units, for naming the places a route
// passes. One reader (PlaceFile) and one writer (WritePlaceFile).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hs::geo {

inline constexpr std::string_view kPlaceFileName = "hopsight.loca";

struct Place {
  int32_t x = 0;  // map units: (longitude + 180) * 180
  int32_t y = 0;  // map units: (90 - latitude) * 180
  std::string_view name;  // UTF-8, points into the loaded file
};

// Map units of a position, as the place file stores them.
int32_t PlaceX(double longitude);
int32_t PlaceY(double latitude);

class PlaceFile {
 public:
  // The file is read on the first FindNearestPlace; a file that cannot be
  // read (or is damaged) makes every query answer none without retrying.
  explicit PlaceFile(std::string path) : path_(std::move(path)) {}
  // A file already in memory (tests, fuzzing).
  static PlaceFile FromBytes(std::string bytes);

  PlaceFile(PlaceFile&& o) noexcept;

  // The place nearest to (x, y) by straight-line distance among those less
  // than `radius` away in x and in y; ties keep the earlier record.
  std::optional<Place> FindNearestPlace(int32_t x, int32_t y, int32_t radius) const;
  // The nearest place of a position (radius in map units), for texts.
  std::optional<Place> NearestTo(double latitude, double longitude, int32_t radius) const;

  bool Available() const;
  size_t Count() const;

 private:
  PlaceFile() = default;
  void LoadOnce() const;
  void Parse() const;

  std::string path_;
  mutable std::once_flag once_;
  mutable std::string bytes_;
  mutable std::vector<Place> places_;
  mutable bool available_ = false;
  bool fromBytes_ = false;
};

struct PlaceSpec {
  double latitude = 0;
  double longitude = 0;
  std::string name;  // UTF-8, no NUL
};

// The file's bytes: records sorted by x (stable, so equal x keep their
// order), names after the records, each ending with a NUL.
std::string WritePlaceFile(const std::vector<PlaceSpec>& places);

}  // namespace hs::geo
