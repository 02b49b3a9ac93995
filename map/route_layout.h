// Where the route and the place labels go on the picture: plain geometry,
// shared by the renderer and the tests. Drawing itself is in map_renderer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "map/map_view.h"
#include "trace/records.h"

namespace hs::map {

// Marker image lists; the four-image lists are indexed by the hop's response class.
enum class MarkerList { None, Small, MediumA, MediumB, Large, SingleA, SingleB };
inline constexpr int kMarkerListCount = 7;

// The list a located hop takes for the source of its position.
MarkerList MarkerListForClass(uint32_t locationClass);
bool IsFourImageList(MarkerList list);

// What the route needs to know of one hop.
struct RouteHopInput {
  GeoLocation location;
  int responseClass = 0;
  // The position disagrees with the round-trip time: a warning ring is
  // drawn around the hop's marker (our addition to the route's drawing).
  bool implausible = false;
};

struct RouteNode {
  MapPos map;  // map units, copies one world-width east already applied
  MapPos pixel;
  MarkerList list = MarkerList::None;
  int image = 0;
  bool located = false;
};

// Projects, interpolates and offsets the route as the renderer draws it.
std::vector<RouteNode> LayOutRoute(const MapView& view, const std::vector<RouteHopInput>& hops, bool traceEnded);

struct MapLabel {
  MapPos point;
  std::string text;
};

// Names a place near a hop. The program uses the place-name file
// (PlaceFileNamer); MapPlacesNamer answers from the maps' own places.
class PlaceNamer {
 public:
  virtual ~PlaceNamer() = default;
  // The nearest named place within `radius` map units of (x, y).
  virtual std::optional<MapLabel> NearestPlace(int32_t x, int32_t y, int32_t radius) const = 0;
};

class MapPlacesNamer : public PlaceNamer {
 public:
  explicit MapPlacesNamer(const MapTable& maps) : maps_(maps) {}
  std::optional<MapLabel> NearestPlace(int32_t x, int32_t y, int32_t radius) const override;

 private:
  const MapTable& maps_;
};

inline constexpr size_t kMaxLabels = 30;
inline constexpr MapPos kSantasVillage{16200, 17};

// The label list of one paint: the Christmas label, places near located hops,
// then the current map's places in view.
std::vector<MapLabel> BuildLabels(const MapView& view, const MapRecord& map, const std::vector<RouteHopInput>& hops,
                                  const PlaceNamer* namer, bool christmas);

struct PlacedLabel {
  size_t entry = 0;
  MapPos pixel;      // the place's pixel
  MapPos textAt;     // top-left of the text
  bool onLeft = false;
};

// Places labels right of their point, else left, else drops them.
// `measure` gives the text's width and height in pixels.
std::vector<PlacedLabel> PlaceLabels(const MapView& view, const std::vector<MapLabel>& labels,
                                     const std::function<MapPos(const std::string&)>& measure);

// The text shown for a label: up to its first comma.
std::string LabelText(const std::string& text);

}  // namespace hs::map
