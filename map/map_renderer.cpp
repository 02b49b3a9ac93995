#include "map/map_renderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <ctime>

#include "geo/plausibility.h"
#include "map/language_font.h"

namespace hs::map {
namespace {

QColor ToQColor(Colour c) { return QColor(Red(c), Green(c), Blue(c)); }

// Pixels beyond the client rectangle that clipped shapes keep. A 1-pixel
// antialiased stroke with its square cap reaches less than 2 pixels past a
// point, so whatever lies further out cannot colour a visible pixel.
constexpr int32_t kClipMargin = 4;

// Sutherland-Hodgman against one side of the clip rectangle: keeps the part of
// the closed ring `in` where inside(p) holds, with exact (fractional) crossing
// points so that the edges that remain in view keep their slope.
template <typename Inside, typename Cross>
void ClipRing(const std::vector<QPointF>& in, std::vector<QPointF>& out, Inside inside, Cross cross) {
  out.clear();
  if (in.empty()) return;
  QPointF prev = in.back();
  bool prevIn = inside(prev);
  for (const QPointF& cur : in) {
    const bool curIn = inside(cur);
    if (curIn != prevIn) out.push_back(cross(prev, cur));
    if (curIn) out.push_back(cur);
    prev = cur;
    prevIn = curIn;
  }
}

// Cuts a filled ring to `area`; the result is in `a` (`b` is scratch).
void ClipPolygon(const QPoint* pts, size_t n, const QRect& area, std::vector<QPointF>& a, std::vector<QPointF>& b) {
  a.assign(pts, pts + n);
  const double l = area.left(), t = area.top(), r = area.right() + 1, bt = area.bottom() + 1;
  auto atX = [](double x) {
    return [x](const QPointF& p, const QPointF& q) {
      return QPointF(x, p.y() + (q.y() - p.y()) * (x - p.x()) / (q.x() - p.x()));
    };
  };
  auto atY = [](double y) {
    return [y](const QPointF& p, const QPointF& q) {
      return QPointF(p.x() + (q.x() - p.x()) * (y - p.y()) / (q.y() - p.y()), y);
    };
  };
  ClipRing(a, b, [l](const QPointF& p) { return p.x() >= l; }, atX(l));
  ClipRing(b, a, [r](const QPointF& p) { return p.x() <= r; }, atX(r));
  ClipRing(a, b, [t](const QPointF& p) { return p.y() >= t; }, atY(t));
  ClipRing(b, a, [bt](const QPointF& p) { return p.y() <= bt; }, atY(bt));
}

// Draws the runs of consecutive segments that come near `area`, each as its
// own polyline of the original points.
void DrawPolylineRuns(QPainter& p, const QPoint* pts, size_t n, const QRect& area) {
  auto near = [&](size_t k) {  // segment k..k+1 by its box
    const QPoint& a = pts[k];
    const QPoint& b = pts[k + 1];
    return std::max(a.x(), b.x()) >= area.left() && std::min(a.x(), b.x()) <= area.right() &&
           std::max(a.y(), b.y()) >= area.top() && std::min(a.y(), b.y()) <= area.bottom();
  };
  size_t k = 0;
  while (k + 1 < n) {
    if (!near(k)) {
      ++k;
      continue;
    }
    size_t e = k + 1;
    while (e + 1 < n && near(e)) ++e;
    // One hidden segment more at each end: the stroker starts a line with a
    // cap and carries the join state from the segment before, and both shift
    // the antialiasing of the first pixels a segment shows.
    const size_t from = k > 0 ? k - 1 : 0, to = std::min(e + 1, n - 1);
    p.drawPolyline(pts + from, int(to - from + 1));
    k = e;
  }
}

}  // namespace

std::vector<RouteHopInput> RouteInputs(const std::vector<HopRef>& hops) {
  std::vector<RouteHopInput> in;
  in.reserve(hops.size());
  const std::vector<geo::PositionVerdict> verdicts = geo::JudgeRoute(hops);
  for (size_t i = 0; i < hops.size(); ++i)
    in.push_back({hops[i]->Location(), hops[i]->HopResponseClass(),
                  verdicts[i].verdict == geo::Plausibility::Implausible});
  return in;
}

QPointF WarningRingCentre(const RouteNode& node) {
  const double half = MarkerImages::Size(node.list) / 2.0;
  return QPointF(node.pixel.x - 3 + half, node.pixel.y - 3 + half);
}

double WarningRingRadius(const RouteNode& node) { return MarkerImages::Size(node.list) / 2.0 + 4; }

bool IsChristmasToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_mon == 11 && (local.tm_mday == 24 || local.tm_mday == 25);
}

MapRenderer::MapRenderer(const MapTable& maps, const PlaceNamer* namer)
    : maps_(maps), namer_(namer), christmasCheck_(IsChristmasToday) {}

void MapRenderer::Paint(QImage& target, MapView& view, const std::vector<HopRef>& hops, bool traceEnded,
                        qreal ratio) {
  if (maps_.Count() == 0 || view.scale == 0) return;
  if (!(ratio > 0)) ratio = 1.0;
  const QSize size(int(std::lround(view.client.Width() * ratio)), int(std::lround(view.client.Height() * ratio)));
  if (size.isEmpty()) return;
  const std::vector<RouteHopInput> in = RouteInputs(hops);
  if (!view.baseMapValid || base_.size() != size || base_.devicePixelRatio() != ratio) {
    if (base_.size() != size) base_ = QImage(size, QImage::Format_RGB32);
    base_.setDevicePixelRatio(ratio);
    DrawBaseMap(base_, view, in);
    view.baseMapValid = 1;
  }
  if (target.size() != size || target.format() != base_.format()) target = QImage(size, base_.format());
  target.setDevicePixelRatio(ratio);
  std::copy_n(base_.constBits(), base_.sizeInBytes(), target.bits());
  QPainter p(&target);
  std::vector<RouteNode> nodes;
  DrawRoute(p, view, in, traceEnded, &nodes);
  for (size_t i = 0; i < nodes.size() && i < hops.size(); ++i) {
    hops[i]->mapX.store(nodes[i].pixel.x);
    hops[i]->mapY.store(nodes[i].pixel.y);
  }
}

void MapRenderer::DrawBaseMap(QImage& image, MapView& v, const std::vector<RouteHopInput>& hops) {
  if (maps_.Count() == 0 || v.scale == 0) return;
  const int current = v.currentMap < maps_.Count() ? v.currentMap : 0;
  const MapRecord& m = maps_.Map(current);
  v.colourBits = image.depth();
  QPainter p(&image);
  p.fillRect(QRect(0, 0, v.client.Width(), v.client.Height()), ToQColor(m.Scheme(v.colourBits)[kBackground]));
  DrawGrid(p, v, m);
  if (DrawLayers(p, v, m)) DrawLabels(p, v, m, hops);
}

void MapRenderer::DrawLayersOnly(QImage& image, const MapView& v) {
  if (maps_.Count() == 0 || v.scale == 0) return;
  QPainter p(&image);
  DrawLayers(p, v, maps_.Map(v.currentMap < maps_.Count() ? v.currentMap : 0));
}

void MapRenderer::DrawGrid(QPainter& p, const MapView& v, const MapRecord& m) {
  const int32_t step = 1800 / v.scale;  // ten degrees
  if (step <= 0) return;
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(ToQColor(m.Scheme(v.colourBits)[kGrid]), 1));
  const int32_t xWest = -(v.left / v.scale);
  int32_t xEast = (kWorldWidth - v.left) / v.scale;
  if (xEast < v.client.right) xEast += v.client.Width();
  const int32_t yNorth = (0 - v.top) / v.scale, ySouth = (kWorldHeight - v.top) / v.scale;
  for (int32_t x = xWest; x < v.client.right; x += step) p.drawLine(x, yNorth, x, ySouth);
  for (int32_t y = yNorth; y < ySouth; y += step) p.drawLine(xEast, y, xWest, y);
}

bool MapRenderer::DrawLayers(QPainter& p, const MapView& v, const MapRecord& m) {
  polylinesDrawn_ = 0;
  buffer_.resize(size_t(m.maxLastOffset) + 1);
  const int32_t cr = v.client.right, cb = v.client.bottom;
  const int32_t east = kWorldWidth / v.scale;
  const bool clip = culling_ && clipping_;
  const QRect area(-kClipMargin, -kClipMargin, cr + 2 * kClipMargin, cb + 2 * kClipMargin);
  size_t first = 0;
  for (size_t li = 0; li < m.layers.size(); ++li) {
    const MapLayer& layer = m.layers[li];
    const size_t end = std::min(first + layer.polylineCount, m.polylines.size());
    if (li >= 6) break;  // layers 6 and 7 are never drawn
    const bool filled = layer.Filled();
    const bool high = v.colourBits > 8;
    if (filled) {
      // Fills meet along cut and tile edges; without antialiasing they meet seamlessly.
      p.setRenderHint(QPainter::Antialiasing, false);
      p.setPen(Qt::NoPen);
      p.setBrush(ToQColor(high ? layer.fillHigh : layer.fillLow));
    } else {
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(QPen(ToQColor(high ? layer.lineHigh : layer.lineLow), 1));
      p.setBrush(Qt::NoBrush);
    }
    for (size_t pi = first; pi < end; ++pi) {
      const MapPolyline& pl = m.polylines[pi];
      bool here = true, copy = false;
      if (culling_) {
        const bool meets = std::max<int32_t>(pl.box.left, v.left) < std::min<int32_t>(pl.box.right, v.right) &&
                           std::max<int32_t>(pl.box.top, v.top) < std::min<int32_t>(pl.box.bottom, v.bottom);
        const bool covers = pl.box.left <= v.left && pl.box.top <= v.top && pl.box.right >= v.right &&
                            pl.box.bottom >= v.bottom;
        if (!m.Wraps()) {
          here = meets;
        } else if (covers) {
          here = true;
        } else if (meets) {
          copy = true;
        } else {
          here = false;
          copy = true;
        }
      } else {
        copy = true;
      }
      const size_t n = size_t(pl.lastOffset) + 1;
      const MapPoint* pts = m.points.data() + pl.firstPoint;
      for (int c = 0; c < 2; ++c) {
        if (c == 0 ? !here : !copy) continue;
        const int32_t shift = c == 0 ? 0 : east;
        int32_t minX = 2 * cr, minY = 2 * cb, maxX = -cr, maxY = -cb;
        for (size_t k = 0; k < n; ++k) {
          const int32_t x = (pts[k].x - v.left) / v.scale + shift, y = (pts[k].y - v.top) / v.scale;
          buffer_[k] = QPoint(x, y);
          minX = std::min(minX, x);
          maxX = std::max(maxX, x);
          minY = std::min(minY, y);
          maxY = std::max(maxY, y);
        }
        // The pixel box is inclusive of its last pixel.
        if (culling_ && (maxX < 0 || minX >= cr || maxY < 0 || minY >= cb)) continue;
        ++polylinesDrawn_;
        const bool inside = minX >= area.left() && maxX <= area.right() && minY >= area.top() && maxY <= area.bottom();
        if (clip && !inside && filled) {
          ClipPolygon(buffer_.data(), n, area, clipIn_, clipOut_);
          if (clipIn_.size() >= 3) p.drawPolygon(clipIn_.data(), int(clipIn_.size()));
        } else if (clip && !inside && !filled) {
          DrawPolylineRuns(p, buffer_.data(), n, area);
        } else if (filled) {
          p.drawPolygon(buffer_.data(), int(n));
        } else {
          p.drawPolyline(buffer_.data(), int(n));
        }
      }
    }
    first = end;
  }
  return true;
}

void MapRenderer::DrawLabels(QPainter& p, const MapView& v, const MapRecord& m,
                             const std::vector<RouteHopInput>& hops) {
  if (christmas_ < 0) christmas_ = christmasCheck_ && christmasCheck_() ? 1 : 0;
  const auto& scheme = m.Scheme(v.colourBits);
  const QColor text = ToQColor(scheme[kLabelText]);
  QFont font = LanguageFont(style_.labelFace, style_.labelCharSet);
  font.setPixelSize(style_.labelHeight);
  int weight = style_.labelWeight;
  if (weight < 0) weight = (text.red() > 126 || text.green() > 126 || text.blue() > 126) ? 700 : 400;
  font.setWeight(QFont::Weight(weight));
  p.setFont(font);
  const QFontMetrics fm(font);
  const std::vector<MapLabel> labels = BuildLabels(v, m, hops, namer_, christmas_ == 1);
  const std::vector<PlacedLabel> placed = PlaceLabels(v, labels, [&](const std::string& s) {
    const QString q = QString::fromLatin1(s);
    return MapPos{fm.horizontalAdvance(q), fm.height()};
  });
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  for (const PlacedLabel& l : placed) {
    p.setPen(QPen(ToQColor(scheme[kPlaceDotOutline]), 1));
    p.setBrush(ToQColor(scheme[kPlaceDotFill]));
    p.drawEllipse(QRect(l.pixel.x - 4, l.pixel.y - 4, 8, 8));
    p.setPen(text);
    const QString s = QString::fromLatin1(LabelText(labels[l.entry].text));
    p.drawText(QPoint(l.textAt.x, l.textAt.y + fm.ascent()), s);
  }
}

void MapRenderer::DrawRoute(QPainter& p, const MapView& v, const std::vector<RouteHopInput>& hops, bool traceEnded,
                            std::vector<RouteNode>* out) {
  if (hops.empty() || v.scale == 0) return;
  std::vector<RouteNode> nodes = LayOutRoute(v, hops, traceEnded);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QPen wide(style_.routeWide, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  const QPen narrow(style_.routeNarrow, 1);
  for (size_t i = 0; i + 1 < nodes.size(); ++i) {
    const QPoint a(nodes[i].pixel.x, nodes[i].pixel.y), b(nodes[i + 1].pixel.x, nodes[i + 1].pixel.y);
    p.setPen(wide);
    p.drawLine(a, b);
    p.setPen(narrow);
    p.drawLine(a, b);
  }
  for (const RouteNode& n : nodes)
    if (n.list != MarkerList::None) p.drawImage(QPoint(n.pixel.x - 3, n.pixel.y - 3), markers_.Marker(n.list, n.image));
  const RouteNode& last = nodes.back();
  if (last.list != MarkerList::None) {
    p.drawImage(QPoint(last.pixel.x - 3, last.pixel.y - 3), markers_.Marker(last.list, last.image));
    p.drawImage(QPoint(last.pixel.x - 5, last.pixel.y - 5), markers_.Target(last.list));
  }
  // Around the marker of a hop whose position its round-trip time rules out.
  for (size_t i = 0; i < nodes.size() && i < hops.size(); ++i) {
    if (!hops[i].implausible || nodes[i].list == MarkerList::None) continue;
    const QPointF centre = WarningRingCentre(nodes[i]);
    const double r = WarningRingRadius(nodes[i]);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(style_.warningRingOutline, 4));
    p.drawEllipse(centre, r, r);
    p.setPen(QPen(style_.warningRing, 2));
    p.drawEllipse(centre, r, r);
  }
  if (out) *out = std::move(nodes);
}

}  // namespace hs::map
