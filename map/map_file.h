// The .hsxmap map file: its records, the in-memory map, and the one reader and
// one writer of the format.
//
// Coordinates are map units of 1/180 degree: x = (longitude + 180) * 180 runs
// east from the 180 degree west meridian (64800 units round the earth), y =
// (90 - latitude) * 180 runs south from the north pole (32400 units).
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace hs::map {

inline constexpr int32_t kWorldWidth = 64800;   // map units round the earth
inline constexpr int32_t kWorldHeight = 32400;  // map units pole to pole
inline constexpr size_t kHeaderSize = 492;
inline constexpr size_t kLayerSize = 34;
inline constexpr size_t kPolylineSize = 16;
inline constexpr size_t kPlaceSize = 9;
inline constexpr size_t kPointSize = 4;

// Colours are 0x00BBGGRR.
using Colour = uint32_t;
constexpr Colour Rgb(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (uint32_t(b) << 16); }
constexpr uint8_t Red(Colour c) { return c & 0xff; }
constexpr uint8_t Green(Colour c) { return (c >> 8) & 0xff; }
constexpr uint8_t Blue(Colour c) { return (c >> 16) & 0xff; }

// Colour slots of a scheme.
enum ColourSlot { kBackground = 0, kGrid = 1, kLabelText = 2, kPlaceDotFill = 4, kPlaceDotOutline = 5 };

struct Extent {
  uint16_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const Extent&, const Extent&) = default;
};

struct MapLayer {
  uint32_t polylineCount = 0;
  uint32_t reserved = 0;
  Colour fillHigh = 0;  // 0: open lines; otherwise filled polygons, on every display
  Colour lineHigh = 0;
  Colour fillLow = 0;
  Colour lineLow = 0;
  std::array<uint8_t, 10> tail{};
  bool Filled() const { return fillHigh != 0; }
  friend bool operator==(const MapLayer&, const MapLayer&) = default;
};

struct MapPolyline {
  uint32_t firstPoint = 0;
  uint32_t lastOffset = 0;  // points - 1
  Extent box;
  friend bool operator==(const MapPolyline&, const MapPolyline&) = default;
};

struct MapPoint {
  uint16_t x = 0, y = 0;
  friend bool operator==(const MapPoint&, const MapPoint&) = default;
};

struct MapPlace {
  uint16_t x = 0, y = 0;
  uint32_t nameIndex = 0;  // 0-based in memory; the file holds it 1-based
  uint8_t tail = 0;
  friend bool operator==(const MapPlace&, const MapPlace&) = default;
};

// One loaded map.
struct MapRecord {
  Extent extent;
  uint32_t opaque1 = 0, opaque2 = 0;  // carried through, never used
  std::vector<MapLayer> layers;
  std::vector<MapPolyline> polylines;
  std::vector<MapPlace> places;
  std::vector<MapPoint> points;
  std::vector<uint32_t> nameStart;  // names + 1 entries; name i is [start[i], start[i+1])
  std::string nameText;
  uint8_t flags = 0;  // bit 0: wraps east-west
  std::array<Colour, 8> coloursHigh{};
  std::array<Colour, 8> coloursLow{};
  uint32_t maxLastOffset = 0;  // sizes the renderer's point buffers

  bool Wraps() const { return flags & 1; }
  size_t NameCount() const { return nameStart.empty() ? 0 : nameStart.size() - 1; }
  std::string_view Name(size_t i) const;
  // The polylines of layer `layer`: [first, first + count).
  size_t FirstPolylineOf(size_t layer) const;
  const std::array<Colour, 8>& Scheme(int colourBits) const { return colourBits > 8 ? coloursHigh : coloursLow; }
  friend bool operator==(const MapRecord&, const MapRecord&) = default;
};

// Reads one map. False (and a cleared map) when the stream is short, declares
// no layer, or a place or polyline refers outside its table.
bool ReadMap(std::istream& in, MapRecord& map);
bool ReadMapFile(const std::string& path, MapRecord& map);

// The file bytes of a map. Slots 6 and 7 of the schemes and the other fields
// that the reader ignores are written as zero.
std::string WriteMap(const MapRecord& map);

// Builds a map from drawable content: fills the name table, the polyline
// boxes and maxLastOffset. Used by the builder and by tests.
class MapBuilder {
 public:
  explicit MapBuilder(Extent extent, bool wraps);
  void SetColours(const std::array<Colour, 8>& high, const std::array<Colour, 8>& low);
  void AddLayer(Colour fillHigh, Colour lineHigh, Colour fillLow, Colour lineLow);
  // Appends a polyline to the last layer added; fewer than 2 points are dropped.
  void AddPolyline(const std::vector<MapPoint>& points);
  void AddPlace(uint16_t x, uint16_t y, std::string_view name);  // name cut to 255 bytes
  const MapRecord& Map() const { return map_; }

 private:
  MapRecord map_;
};

}  // namespace hs::map
