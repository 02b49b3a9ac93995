// Geometry of the map builder: turning Natural Earth rings and arcs (degrees,
// not cut at the date line) into map-unit polylines within a rectangle.
#pragma once

#include <vector>

#include "map/map_file.h"

namespace mapdata {

struct Pt {
  double lon = 0, lat = 0;
};
using Ring = std::vector<Pt>;

struct Box {  // degrees
  double west, south, east, north;
};

// Makes longitudes continuous (no jump over 180 degrees between neighbours).
// A ring that winds round a pole comes back 360 degrees off its start; it is
// closed over that pole. Rings of (almost) no area give an empty ring.
Ring UnwrapRing(const Ring& ring);

// Sutherland-Hodgman clip of a ring to a rectangle. The cut edges it adds are
// filled, never stroked: rings only go into filled layers.
Ring ClipRing(const Ring& ring, const Box& box);

// Pieces of an open line inside the rectangle; a jump over the date line
// splits the line, so no piece crosses the map.
std::vector<std::vector<Pt>> ClipLine(const std::vector<Pt>& line, const Box& box);

// The parts of an unwrapped ring that fall into the box, taken from the
// ring's copies 360 degrees east and west as well, each cut into tiles of
// `tile` degrees so the renderer can skip what is out of view.
std::vector<Ring> CutRing(const Ring& unwrapped, const Box& box, double tile);

// Map units, rounded and clamped, with repeated points dropped.
// A ring also loses a last point that repeats its first.
std::vector<hs::map::MapPoint> ToMapUnits(const std::vector<Pt>& pts, bool ring);
hs::map::Extent ToExtent(const Box& box);
double SignedArea(const Ring& ring);

}  // namespace mapdata
