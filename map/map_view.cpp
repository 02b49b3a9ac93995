#include "map/map_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace hs::map {
namespace {

bool Contains(const Extent& e, const MapView& v) {
  return v.left < v.right && v.top < v.bottom && e.left <= v.left && e.top <= v.top && e.right >= v.right &&
         e.bottom >= v.bottom;
}

bool Intersects(const Extent& e, const MapView& v) {
  return std::max<int32_t>(e.left, v.left) < std::min<int32_t>(e.right, v.right) &&
         std::max<int32_t>(e.top, v.top) < std::min<int32_t>(e.bottom, v.bottom);
}

}  // namespace

MapPos ProjectHop(double latitude, double longitude) {
  const auto x = static_cast<int32_t>((longitude + 180.0) * 180.0);
  const auto y = static_cast<int32_t>((latitude - 90.0) * 180.0);
  return {x, std::abs(y)};
}

int MapView::PointInView(int32_t x, int32_t y) const {
  if (y < top || y >= bottom) return 0;
  if (x >= left && x < right) return 1;
  if (x + kWorldWidth >= left && x + kWorldWidth < right) return 2;
  return 0;
}

MapPos MapView::ToPixel(int32_t x, int32_t y, int r) const {
  const int32_t dx = r == 2 ? x - left + kWorldWidth : x - left;
  return {dx / scale, (y - top) / scale};
}

void MapView::NormaliseAndChooseMap(const MapTable& maps) {
  if (left < 0) {
    left += kWorldWidth;
    right += kWorldWidth;
    centreX += kWorldWidth;
  }
  if (left > kWorldWidth) {
    left -= kWorldWidth;
    right -= kWorldWidth;
    centreX -= kWorldWidth;
  }
  if (top < -kPoleMargin) {
    const int32_t d = -kPoleMargin - top;
    top += d;
    bottom += d;
    centreY += d;
  }
  if (bottom > kWorldHeight + kPoleMargin) {
    const int32_t d = bottom - (kWorldHeight + kPoleMargin);
    top -= d;
    bottom -= d;
    centreY -= d;
  }
  if (maps.Count() == 0) {
    currentMap = 0;
    return;
  }
  const bool wraps = currentMap >= 0 && currentMap < maps.Count() && maps.Map(currentMap).Wraps();
  int best = -1;
  int64_t bestArea = 0;
  for (int i = 0; i < maps.Count(); ++i) {
    const Extent& e = maps.Map(i).extent;
    if (!(wraps ? Contains(e, *this) : Intersects(e, *this))) continue;
    const int64_t area = int64_t(e.right - e.left) * int64_t(e.bottom - e.top);
    if (best < 0 || area < bestArea) {  // equal areas keep the earlier map
      best = i;
      bestArea = area;
    }
  }
  currentMap = best < 0 ? 0 : best;
}

void MapView::ShowWholeWorld(const MapTable& maps) {
  if (maps.Count() == 0) return;
  const Extent& e = maps.Map(0).extent;
  const int32_t W = e.right - e.left, H = e.bottom - e.top;
  const int32_t cw = client.Width(), ch = client.Height();
  if (W <= 0 || H <= 0) return;
  const double rx = cw * 180.0 / W, ry = ch * 180.0 / H;
  if (rx == 0 || ry == 0 || cw <= 0 || ch <= 0) return;

  int32_t s = 2;
  while (s <= W / cw) s *= 2;
  maxScale = s / 2;
  minScale = 2;
  scale = maxScale;
  currentMap = 0;
  if (rx >= ry) {
    top = e.top;
    bottom = top + scale * ch;
    left = e.left - int32_t((int64_t(cw) * H / ch - W) / 2);
    right = left + scale * cw;
  } else {
    left = e.left;
    right = left + scale * cw;
    top = e.top - int32_t((int64_t(ch) * W / cw - H) / 2);
    bottom = top + scale * ch;
  }
  centreX = (left + right) / 2;
  centreY = (top + bottom) / 2;
  NormaliseAndChooseMap(maps);
}

void MapView::Zoom(const MapTable& maps, int32_t x, int32_t y, bool zoomIn) {
  bool changed = false;
  if (zoomIn) {
    const int32_t dx = x < 0 ? 0 : x - client.Width() / 2;
    const int32_t dy = y < 0 ? 0 : y - client.Height() / 2;
    left += dx * scale;
    right += dx * scale;
    centreX += dx * scale;
    top += dy * scale;
    bottom += dy * scale;
    centreY += dy * scale;
    if (scale > minScale) {
      scale /= 2;
      const int32_t qw = (right - left) / 4, qh = (bottom - top) / 4;
      left += qw;
      right -= qw;
      top += qh;
      bottom -= qh;
      changed = true;
    }
  } else if (scale < maxScale) {
    scale *= 2;
    const int32_t hw = (right - left) / 2, hh = (bottom - top) / 2;
    left -= hw;
    right += hw;
    top -= hh;
    bottom += hh;
    changed = true;
  }
  if (changed) NormaliseAndChooseMap(maps);
  baseMapValid = 0;
  RequestRepaint();
}

void MapView::Pan(const MapTable& maps, int32_t x, int32_t y, int32_t anchorX, int32_t anchorY) {
  const int32_t dx = (x - anchorX) * scale, dy = (y - anchorY) * scale;
  left -= dx;
  right -= dx;
  centreX -= dx;
  top -= dy;
  bottom -= dy;
  centreY -= dy;
  NormaliseAndChooseMap(maps);
  baseMapValid = 0;
  RequestRepaint();
}

void MapView::FollowRoute(const MapTable& maps, const std::vector<GeoLocation>& locations, bool force,
                          bool mapShown) {
  MapPos mx{0, 0}, mn{kWorldWidth + 1, kWorldHeight + 1};
  bool any = false;
  for (const GeoLocation& g : locations) {
    if (!g.HasPosition()) continue;
    any = true;
    const MapPos p = ProjectHop(g);
    mx = {std::max(mx.x, p.x), std::max(mx.y, p.y)};
    mn = {std::min(mn.x, p.x), std::min(mn.y, p.y)};
    if (PointInView(p.x, p.y) == 0) baseMapValid = 0;
  }
  // Without a located hop there is no box to centre on.
  if (!any) return;
  const int32_t w = mx.x - mn.x, h = mx.y - mn.y;
  const int32_t cx = mn.x + w / 2, cy = mn.y + h / 2;
  left += cx - centreX;
  right += cx - centreX;
  top += cy - centreY;
  bottom += cy - centreY;
  centreX = cx;
  centreY = cy;
  NormaliseAndChooseMap(maps);

  const int32_t vw = right - left, vh = bottom - top;
  if (vw > w && vh > h) {
    if (vw > 2 * w && vh > 2 * h) Zoom(maps, -1, -1, true);
  } else {
    ZoomOutToFit(maps, mx, mn, locations);
  }
  NormaliseAndChooseMap(maps);
  if (force) baseMapValid = 0;
  if (mapShown && !baseMapValid) RequestRepaint();
}

void MapView::ZoomOutToFit(const MapTable& maps, MapPos mx, MapPos mn, const std::vector<GeoLocation>& locations) {
  // baseMapValid doubles as the stop mark of this loop.
  while (!baseMapValid) {
    if (scale >= maxScale) {
      baseMapValid = 1;
      break;
    }
    scale = std::min(2 * scale, maxScale);
    const int32_t hw = (right - left) / 2, hh = (bottom - top) / 2;
    left -= hw;
    right += hw;
    top -= hh;
    bottom += hh;
    NormaliseAndChooseMap(maps);
    if (PointInView(mx.x, mx.y) && PointInView(mn.x, mn.y)) baseMapValid = 1;
  }
  int first = -1, last = -1;
  for (size_t i = 0; i < locations.size(); ++i)
    if (locations[i].HasPosition()) {
      first = int(i);
      break;
    }
  if (first < 0) return;
  for (int i = int(locations.size()) - 1; i >= 0; --i)
    if (i == 0 || locations[size_t(i)].HasPosition()) {
      last = i;
      break;
    }
  const MapPos a = ProjectHop(locations[size_t(first)]), b = ProjectHop(locations[size_t(last)]);
  if (PointInView(a.x, a.y) == 1 && PointInView(b.x, b.y) == 0) {
    // Keep the centre with the rectangle it describes.
    left -= kWorldWidth / 2;
    right -= kWorldWidth / 2;
    centreX -= kWorldWidth / 2;
    NormaliseAndChooseMap(maps);
  }
}

}  // namespace hs::map
