// The marker images of the route: drawn by code into small images with
// magenta as the transparent colour, then turned into images with alpha.
#pragma once

#include <QImage>
#include <array>
#include <vector>

#include "map/route_layout.h"

namespace hs::map {

inline constexpr QRgb kMagenta = 0xffff00ff;

class MarkerImages {
 public:
  MarkerImages();
  // Image `index` of a list (four-image lists: response class 0..3).
  const QImage& Marker(MarkerList list, int index) const;
  // The target image drawn over the last hop for its marker list.
  const QImage& Target(MarkerList list) const;
  // The artwork as drawn, magenta background included (for the tests and tools).
  static QImage Artwork(MarkerList list, int index);
  static QImage TargetArtwork(MarkerList list);
  static int Size(MarkerList list);
  static int TargetSize(MarkerList list);

 private:
  std::array<std::vector<QImage>, kMarkerListCount> markers_;
  std::array<QImage, kMarkerListCount> targets_;
};

// Magenta pixels become transparent.
QImage Unmask(const QImage& artwork);

}  // namespace hs::map
