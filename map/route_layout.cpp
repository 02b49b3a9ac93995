#include "map/route_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace hs::map {
namespace {

// The distance measure of the route's copy choice: sqrt(|dx| + |dy|), truncated.
int32_t Nearness(MapPos a, MapPos b) {
  return int32_t(std::sqrt(double(std::abs(int64_t(a.x) - b.x) + std::abs(int64_t(a.y) - b.y))));
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool AnyContains(const std::vector<MapLabel>& list, const std::string& text) {
  const std::string t = Lower(text);
  return std::any_of(list.begin(), list.end(),
                     [&](const MapLabel& l) { return Lower(l.text).find(t) != std::string::npos; });
}

struct PixelRect {
  int32_t l, t, r, b;
  bool Overlaps(const PixelRect& o) const { return std::max(l, o.l) < std::min(r, o.r) && std::max(t, o.t) < std::min(b, o.b); }
};

}  // namespace

MarkerList MarkerListForClass(uint32_t c) {
  switch (c) {
    case 0: return MarkerList::Small;
    case 1: return MarkerList::SingleB;
    case 2: return MarkerList::SingleA;
    case 3: case 8: return MarkerList::MediumB;
    case 4: case 5: return MarkerList::MediumA;
    case 6: case 7: return MarkerList::Large;
    default: return MarkerList::None;
  }
}

bool IsFourImageList(MarkerList l) {
  return l == MarkerList::Small || l == MarkerList::MediumA || l == MarkerList::MediumB || l == MarkerList::Large;
}

std::vector<RouteNode> LayOutRoute(const MapView& v, const std::vector<RouteHopInput>& hops, bool traceEnded) {
  std::vector<RouteNode> nodes(hops.size());
  if (hops.empty() || v.scale == 0) return nodes;
  const MapPos centre{v.centreX, v.centreY};

  // Hop 0 starts the route whether or not it carries a position.
  MapPos p0 = ProjectHop(hops[0].location);
  switch (v.PointInView(p0.x, p0.y)) {
    case 0:
      if (Nearness({p0.x + kWorldWidth, p0.y}, centre) < Nearness(p0, centre)) p0.x += kWorldWidth;
      break;
    case 2: p0.x += kWorldWidth; break;
    default: break;
  }
  nodes[0].map = p0;
  nodes[0].located = hops[0].location.HasPosition();

  int runStart = -1;  // first hop of the open run of unlocated hops
  int anchor = -1, reference = -1;
  for (size_t i = 1; i < hops.size(); ++i) {
    const MapPos prev = nodes[i - 1].map;
    if (hops[i].location.HasPosition()) {
      nodes[i].located = true;
      MapPos p = ProjectHop(hops[i].location);
      switch (v.PointInView(p.x, p.y)) {
        case 0: {
          const MapPos alt{prev.x >= kWorldWidth ? p.x + kWorldWidth : p.x - kWorldWidth, p.y};
          if (Nearness(alt, prev) < Nearness(p, prev)) p = alt;
          break;
        }
        case 2: p.x += kWorldWidth; break;
        default: break;
      }
      nodes[i].map = p;
      if (runStart >= 0) {
        const MapPos from = nodes[size_t(runStart - 1)].map;
        const int32_t k = int32_t(i) - runStart + 1;
        const int32_t dx = (p.x - from.x) / k, dy = (p.y - from.y) / k;
        for (size_t j = size_t(runStart); j < i; ++j)
          nodes[j].map = {nodes[j - 1].map.x + dx, nodes[j - 1].map.y + dy};
        runStart = -1;
      }
    } else {
      nodes[i].map = prev;
      if (runStart < 0) runStart = int(i);
      if (i + 1 == hops.size() && traceEnded) {
        anchor = runStart - 1;
        for (int j = anchor - 1; j >= 0; --j)
          if ((j == 0 || nodes[size_t(j)].located) && !(nodes[size_t(j)].map == nodes[size_t(anchor)].map)) {
            reference = j;
            break;
          }
      }
    }
  }

  for (RouteNode& n : nodes) n.pixel = {(n.map.x - v.left) / v.scale, (n.map.y - v.top) / v.scale};
  if (anchor >= 0) {
    const MapPos a = nodes[size_t(anchor)].pixel;
    MapPos to{a.x, a.y + 15};  // no earlier point to point away from: straight below
    if (reference >= 0) {
      const MapPos r = nodes[size_t(reference)].pixel;
      const int32_t ddx = a.x - r.x, ddy = a.y - r.y;
      if (ddx == 0 && ddy != 0) {
        to = {a.x, a.y + 15};
      } else if (ddy == 0) {
        to = {a.x + 15, a.y};
      } else {
        const double t = std::clamp(double(ddx) / double(ddy), -1.0, 1.0);
        const auto o = int32_t(-30.0 * t);
        to = {a.x - o, a.y - o};
      }
    }
    for (size_t j = size_t(anchor) + 1; j < nodes.size(); ++j) nodes[j].pixel = to;
  }

  // Markers: unlocated hops are Small between located ones, Single B at the tail.
  bool locatedAfter = false;
  for (size_t i = nodes.size(); i-- > 0;) {
    RouteNode& n = nodes[i];
    if (n.located) {
      n.list = MarkerListForClass(uint32_t(hops[i].location.source));
      n.image = IsFourImageList(n.list) ? hops[i].responseClass : 0;
      locatedAfter = true;
    } else {
      n.list = locatedAfter ? MarkerList::Small : MarkerList::SingleB;
      n.image = n.list == MarkerList::Small ? hops[i].responseClass : 0;
    }
  }
  return nodes;
}

std::optional<MapLabel> MapPlacesNamer::NearestPlace(int32_t x, int32_t y, int32_t radius) const {
  std::optional<MapLabel> best;
  int64_t bestD = int64_t(radius) * radius + 1;
  for (int m = 0; m < maps_.Count(); ++m) {
    const MapRecord& map = maps_.Map(m);
    for (const MapPlace& p : map.places) {
      const int64_t dx = p.x - x, dy = p.y - y;
      const int64_t d = dx * dx + dy * dy;
      if (d < bestD) {
        bestD = d;
        best = MapLabel{{p.x, p.y}, std::string(map.Name(p.nameIndex))};
      }
    }
  }
  return best;
}

std::vector<MapLabel> BuildLabels(const MapView& v, const MapRecord& map, const std::vector<RouteHopInput>& hops,
                                  const PlaceNamer* namer, bool christmas) {
  std::vector<MapLabel> list;
  if (christmas) list.push_back({kSantasVillage, "Santa's Village"});
  if (namer && v.scale > 0) {
    const int32_t margin = 500 / v.scale;
    auto inWide = [&](int32_t x, int32_t y) {
      return x >= v.left - margin && x < v.right + margin && y >= v.top - margin && y < v.bottom + margin;
    };
    for (const RouteHopInput& h : hops) {
      if (list.size() >= kMaxLabels) break;
      if (!h.location.HasPosition()) continue;
      const MapPos p = ProjectHop(h.location);
      if (!inWide(p.x, p.y) && !inWide(p.x + kWorldWidth, p.y)) continue;
      std::optional<MapLabel> place = namer->NearestPlace(p.x, p.y, 30);
      if (!place) continue;
      const bool same = std::any_of(list.begin(), list.end(), [&](const MapLabel& l) {
        return l.point == place->point && l.text == place->text;
      });
      if (!same && !AnyContains(list, place->text)) list.push_back(std::move(*place));
    }
  }
  for (const MapPlace& p : map.places) {
    if (list.size() >= kMaxLabels) break;
    if (!v.PointInView(p.x, p.y)) continue;
    std::string text(map.Name(p.nameIndex).substr(0, 254));
    if (!AnyContains(list, text)) list.push_back({{p.x, p.y}, std::move(text)});
  }
  return list;
}

std::string LabelText(const std::string& text) { return text.substr(0, text.find(',')); }

std::vector<PlacedLabel> PlaceLabels(const MapView& v, const std::vector<MapLabel>& labels,
                                     const std::function<MapPos(const std::string&)>& measure) {
  std::vector<PlacedLabel> placed;
  std::vector<PixelRect> earlier;  // every entry in view, drawn or not
  for (size_t i = 0; i < labels.size(); ++i) {
    const int r = v.PointInView(labels[i].point.x, labels[i].point.y);
    if (r == 0) continue;
    const MapPos size = measure(LabelText(labels[i].text));
    const MapPos px = v.ToPixel(labels[i].point.x, labels[i].point.y, r);
    PixelRect rect{px.x + 6, px.y - 6, px.x + 6 + size.x, px.y - 6 + size.y};
    bool left = false, drawn = true;
    for (size_t j = 0; j < earlier.size(); ++j) {
      if (!rect.Overlaps(earlier[j])) continue;
      if (left) {
        drawn = false;
        break;
      }
      left = true;
      rect = {px.x - size.x, px.y - 6, px.x, px.y - 6 + size.y};
      j = size_t(-1);  // compare again from the first entry
    }
    earlier.push_back(rect);
    if (drawn)
      placed.push_back({i, px, left ? MapPos{px.x - size.x - 6, px.y - 6} : MapPos{px.x + 6, px.y - 6}, left});
  }
  return placed;
}

}  // namespace hs::map
