#include "map/route_fit.h"

#include <algorithm>

namespace hs::map {
namespace {

// Where a view of `size` map units starts along one axis: centred on the box
// [low, low + extent], then moved to lie within [0, limit) (the map, or the
// map and its copy east) when it can while holding the box and its margins.
// A view larger than the limit is centred on it.
int32_t PlaceView(int32_t low, int32_t extent, int32_t size, int32_t margin, int32_t limit) {
  if (size >= limit) return (limit - size) / 2;
  const int32_t lowest = std::max(0, low + extent + margin - size), highest = std::min(low - margin, limit - size);
  const int32_t centred = low + extent / 2 - size / 2;
  return lowest <= highest ? std::clamp(centred, lowest, highest) : centred;
}

}  // namespace

std::vector<HopRef> PlacedRoute(const std::vector<HopRef>& rows) {
  auto first = std::find_if(rows.begin(), rows.end(),
                            [](const HopRef& r) { return r && r->Location().HasPosition(); });
  return std::vector<HopRef>(first, rows.end());
}

bool FitRoute(MapView& view, const MapTable& maps, const std::vector<GeoLocation>& locations, int32_t marginPx) {
  std::vector<int32_t> xs;
  int32_t minY = kWorldHeight, maxY = 0;
  for (const GeoLocation& g : locations) {
    if (!g.HasPosition()) continue;
    const MapPos p = ProjectHop(g);
    xs.push_back(p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  const int32_t cw = view.client.Width(), ch = view.client.Height();
  if (xs.empty() || cw <= 0 || ch <= 0 || view.minScale <= 0) return false;

  // The box runs east from the hop after the widest gap between neighbours
  // (the gap from the easternmost hop round to the westernmost counts too).
  std::sort(xs.begin(), xs.end());
  size_t start = 0;
  int32_t widestGap = xs.front() + kWorldWidth - xs.back();
  for (size_t i = 1; i < xs.size(); ++i) {
    if (xs[i] - xs[i - 1] > widestGap) {
      widestGap = xs[i] - xs[i - 1];
      start = i;
    }
  }
  const int32_t west = xs[start], width = kWorldWidth - widestGap, height = maxY - minY;

  // The finest power-of-two scale that holds the box with its margins; no
  // coarser than the view can be placed (two world widths, the pole margins).
  int32_t scale = view.minScale;
  while ((int64_t{width} + 2 * marginPx * int64_t{scale} > int64_t{scale} * cw ||
          int64_t{height} + 2 * marginPx * int64_t{scale} > int64_t{scale} * ch) &&
         int64_t{scale} * cw < 2 * kWorldWidth && int64_t{scale} * ch < kWorldHeight + 2 * MapView::kPoleMargin) {
    scale *= 2;
  }
  // The renderer draws the map and one copy east of it, and nothing beyond
  // the poles: keep the view on what there is to see.
  const int32_t vw = scale * cw, vh = scale * ch, margin = marginPx * scale;
  view.scale = scale;
  view.maxScale = std::max(view.maxScale, scale);
  view.left = PlaceView(west, width, vw, margin, 2 * kWorldWidth);
  view.right = view.left + vw;
  view.top = PlaceView(minY, height, vh, margin, kWorldHeight);
  view.bottom = view.top + vh;
  view.centreX = view.left + vw / 2;
  view.centreY = view.top + vh / 2;
  view.NormaliseAndChooseMap(maps);
  view.baseMapValid = 0;
  return true;
}

}  // namespace hs::map
