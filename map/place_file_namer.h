// Route labels named from the place-name file (hopsight.loca): an adapter
// from geo's FindNearestPlace to the map's PlaceNamer.
#pragma once

#include <string>

#include "map/route_layout.h"

namespace hs::geo {
class PlaceFile;
}

namespace hs::map {

class PlaceFileNamer : public PlaceNamer {
 public:
  explicit PlaceFileNamer(const geo::PlaceFile& places) : places_(places) {}
  std::optional<MapLabel> NearestPlace(int32_t x, int32_t y, int32_t radius) const override;

 private:
  const geo::PlaceFile& places_;
};

// Label texts are 8-bit (Latin-1), like the maps' own place names: a UTF-8
// name keeps what Latin-1 holds and other letters lose their accents.
std::string LabelFromUtf8(const std::string& utf8);

}  // namespace hs::map
