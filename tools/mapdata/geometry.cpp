#include "geometry.h"

#include <algorithm>
#include <cmath>

namespace mapdata {

double SignedArea(const Ring& r) {
  double a = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    const Pt& p = r[i];
    const Pt& q = r[(i + 1) % r.size()];
    a += p.lon * q.lat - q.lon * p.lat;
  }
  return a / 2;
}

Ring UnwrapRing(const Ring& ring) {
  Ring out;
  if (ring.size() < 3) return out;
  out.reserve(ring.size() + 2);
  double offset = 0;
  out.push_back(ring[0]);
  for (size_t i = 1; i < ring.size(); ++i) {
    const double d = ring[i].lon - ring[i - 1].lon;
    if (d > 180) offset -= 360;
    if (d < -180) offset += 360;
    out.push_back({ring[i].lon + offset, ring[i].lat});
  }
  // Closed rings repeat their first point; a polar ring ends a world away from it.
  const double gap = out.back().lon - out.front().lon;
  if (std::fabs(gap) > 180) {
    double lat = 0;
    for (const Pt& p : out) lat += p.lat;
    const double pole = lat < 0 ? -90 : 90;
    const double endLon = out.back().lon, startLon = out.front().lon;
    out.push_back({endLon, pole});
    out.push_back({startLon, pole});
  }
  if (std::fabs(SignedArea(out)) < 1e-6) out.clear();
  return out;
}

namespace {

template <typename Inside, typename Cross>
Ring ClipEdge(const Ring& in, Inside inside, Cross cross) {
  Ring out;
  if (in.empty()) return out;
  out.reserve(in.size() + 4);
  Pt prev = in.back();
  bool prevIn = inside(prev);
  for (const Pt& cur : in) {
    const bool curIn = inside(cur);
    if (curIn != prevIn) out.push_back(cross(prev, cur));
    if (curIn) out.push_back(cur);
    prev = cur;
    prevIn = curIn;
  }
  return out;
}

Pt AtLon(const Pt& a, const Pt& b, double lon) {
  const double t = (lon - a.lon) / (b.lon - a.lon);
  return {lon, a.lat + t * (b.lat - a.lat)};
}
Pt AtLat(const Pt& a, const Pt& b, double lat) {
  const double t = (lat - a.lat) / (b.lat - a.lat);
  return {a.lon + t * (b.lon - a.lon), lat};
}

}  // namespace

Ring ClipRing(const Ring& ring, const Box& b) {
  Ring r = ClipEdge(ring, [&](const Pt& p) { return p.lon >= b.west; }, [&](const Pt& p, const Pt& q) { return AtLon(p, q, b.west); });
  r = ClipEdge(r, [&](const Pt& p) { return p.lon <= b.east; }, [&](const Pt& p, const Pt& q) { return AtLon(p, q, b.east); });
  r = ClipEdge(r, [&](const Pt& p) { return p.lat >= b.south; }, [&](const Pt& p, const Pt& q) { return AtLat(p, q, b.south); });
  r = ClipEdge(r, [&](const Pt& p) { return p.lat <= b.north; }, [&](const Pt& p, const Pt& q) { return AtLat(p, q, b.north); });
  if (r.size() < 3 || std::fabs(SignedArea(r)) < 1e-9) r.clear();
  return r;
}

std::vector<std::vector<Pt>> ClipLine(const std::vector<Pt>& line, const Box& b) {
  std::vector<std::vector<Pt>> pieces;
  std::vector<Pt> cur;
  auto flush = [&] {
    if (cur.size() >= 2) pieces.push_back(cur);
    cur.clear();
  };
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    Pt a = line[i], c = line[i + 1];
    if (std::fabs(c.lon - a.lon) > 180) {  // crosses the date line: split here
      flush();
      continue;
    }
    // Liang-Barsky.
    double t0 = 0, t1 = 1;
    const double dx = c.lon - a.lon, dy = c.lat - a.lat;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.lon - b.west, b.east - a.lon, a.lat - b.south, b.north - a.lat};
    bool visible = true;
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0) {
        if (q[k] < 0) visible = false;
      } else {
        const double t = q[k] / p[k];
        if (p[k] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) visible = false;
      }
    }
    if (!visible) {
      flush();
      continue;
    }
    const Pt s{a.lon + t0 * dx, a.lat + t0 * dy}, e{a.lon + t1 * dx, a.lat + t1 * dy};
    if (cur.empty() || t0 > 0) {
      flush();
      cur.push_back(s);
    }
    cur.push_back(e);
    if (t1 < 1) flush();
  }
  flush();
  return pieces;
}

std::vector<Ring> CutRing(const Ring& r, const Box& box, double tile) {
  std::vector<Ring> out;
  if (r.empty()) return out;
  double w = 1e9, e = -1e9;
  for (const Pt& p : r) {
    w = std::min(w, p.lon);
    e = std::max(e, p.lon);
  }
  for (int k = -1; k <= 1; ++k) {
    const double shift = 360.0 * k;  // the ring's copy at lon - shift
    const double cw = std::max(box.west, w - shift), ce = std::min(box.east, e - shift);
    if (cw >= ce) continue;
    const double firstTile = box.west + std::floor((cw - box.west) / tile) * tile;
    for (double tw = firstTile; tw < ce; tw += tile) {
      for (double ts = box.south; ts < box.north; ts += tile) {
        const Box t{tw + shift, ts, std::min(tw + tile, box.east) + shift, std::min(ts + tile, box.north)};
        Ring c = ClipRing(r, t);
        if (c.empty()) continue;
        for (Pt& p : c) p.lon -= shift;
        out.push_back(std::move(c));
      }
    }
  }
  return out;
}

std::vector<hs::map::MapPoint> ToMapUnits(const std::vector<Pt>& pts, bool ring) {
  std::vector<hs::map::MapPoint> out;
  out.reserve(pts.size());
  for (const Pt& p : pts) {
    const long x = std::lround((p.lon + 180.0) * 180.0), y = std::lround((90.0 - p.lat) * 180.0);
    const hs::map::MapPoint m{uint16_t(std::clamp<long>(x, 0, hs::map::kWorldWidth)),
                              uint16_t(std::clamp<long>(y, 0, hs::map::kWorldHeight))};
    if (out.empty() || !(out.back() == m)) out.push_back(m);
  }
  if (ring && out.size() > 1 && out.front() == out.back()) out.pop_back();
  return out;
}

hs::map::Extent ToExtent(const Box& b) {
  auto x = [](double lon) { return uint16_t(std::lround((lon + 180.0) * 180.0)); };
  auto y = [](double lat) { return uint16_t(std::lround((90.0 - lat) * 180.0)); };
  return {x(b.west), y(b.north), x(b.east), y(b.south)};
}

}  // namespace mapdata
