// The viewport of the map display: which rectangle of the earth is shown at
// which power-of-two scale, the projection of hop positions to map units and
// pixels, the choice of map, and the view operations (whole world, zoom, pan,
// follow the route). Plain C++; the widget and the renderer drive it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "map/map_table.h"
#include "trace/records.h"

namespace hs::map {

struct MapPos {
  int32_t x = 0, y = 0;
  friend bool operator==(const MapPos&, const MapPos&) = default;
};

struct ClientRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

// Map units of a position, truncated toward zero.
MapPos ProjectHop(double latitude, double longitude);
inline MapPos ProjectHop(const GeoLocation& g) { return ProjectHop(g.latitude, g.longitude); }

// The 12 x 12 pixel square around a hop's node as the last route drawing put
// it (the row's mapX, mapY): what to invalidate when one hop changes.
inline ClientRect MarkerRect(int32_t px, int32_t py) { return {px - 6, py - 6, px + 6, py + 6}; }

class MapView {
 public:
  static constexpr int32_t kPoleMargin = 16200;  // how far the view may reach past a pole

  int32_t maxScale = 0;
  int32_t minScale = 0;
  int32_t baseMapValid = 0;
  int32_t currentMap = 0;
  int32_t scale = 0;
  int32_t centreX = 0, centreY = 0;
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  ClientRect client;
  int32_t colourBits = 0;

  // Asked for by every view operation; the window invalidates the map area.
  std::function<void()> requestRepaint;

  void SetClient(int32_t width, int32_t height) { client = {0, 0, width, height}; }

  // 1: inside the view; 2: its copy one world-width east is; 0: neither.
  int PointInView(int32_t x, int32_t y) const;
  MapPos ToPixel(int32_t x, int32_t y, int r) const;

  void NormaliseAndChooseMap(const MapTable& maps);
  // Fits map 0 into the client area. Does nothing for an empty client area.
  void ShowWholeWorld(const MapTable& maps);
  // x, y in client pixels; a negative coordinate means "do not re-centre" on that axis.
  void Zoom(const MapTable& maps, int32_t x, int32_t y, bool zoomIn);
  // Moves the map by (x, y) - anchor pixels, so it follows the pointer.
  void Pan(const MapTable& maps, int32_t x, int32_t y, int32_t anchorX, int32_t anchorY);
  // Centres the located hops and zooms so they fit; `locations` in hop order.
  // The caller skips this while the main window is minimised.
  void FollowRoute(const MapTable& maps, const std::vector<GeoLocation>& locations, bool force, bool mapShown);
  void ZoomOutToFit(const MapTable& maps, MapPos max, MapPos min, const std::vector<GeoLocation>& locations);

 private:
  void RequestRepaint() {
    if (requestRepaint) requestRepaint();
  }
};

}  // namespace hs::map
