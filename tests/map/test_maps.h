// Small maps made by hand for the map tests.
#pragma once

#include <string>

#include "map/map_file.h"
#include "map/map_view.h"

namespace hs::map::testing {

inline MapRecord SquareMap(Extent extent, bool wraps, int layers = 1) {
  MapBuilder b(extent, wraps);
  b.SetColours({Rgb(10, 20, 30), Rgb(40, 50, 60), Rgb(70, 80, 90), 0, Rgb(1, 2, 3), Rgb(4, 5, 6), 0, 0},
               {Rgb(11, 21, 31), 0, 0, 0, 0, 0, 0, 0});
  for (int i = 0; i < layers; ++i) b.AddLayer(Rgb(200, 200, 200), 0, Rgb(100, 100, 100), 0);
  b.AddPolyline({{uint16_t(extent.left), uint16_t(extent.top)},
                 {uint16_t(extent.right - 1), uint16_t(extent.top)},
                 {uint16_t(extent.right - 1), uint16_t(extent.bottom - 1)}});
  b.AddPlace(uint16_t(extent.left + 10), uint16_t(extent.top + 10), "Somewhere, XX");
  return b.Map();
}

inline MapRecord WorldMap() { return SquareMap({0, 0, 64800, 32400}, true); }

// `table` shown whole in a `w` x `h` window.
inline MapView WholeWorldView(const MapTable& table, int w, int h) {
  MapView v;
  v.SetClient(w, h);
  v.ShowWholeWorld(table);
  return v;
}

}  // namespace hs::map::testing
