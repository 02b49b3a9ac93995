// Paints the map picture: the base map (background, grid, layers, labels)
// into a kept image when the view changed, and the route over a copy of it.
#pragma once

#include <QFont>
#include <QImage>
#include <QPointF>
#include <functional>
#include <vector>

#include "map/markers.h"
#include "map/route_layout.h"

class QPainter;

namespace hs::map {

// Pens, brushes and fonts of the map display. The route pens and the label
// font are the renderer's; the rest is for the status line's event strip,
// which draws with the map's objects.
struct MapStyle {
  QColor routeWide{0, 96, 0};     // 3 pixels
  QColor routeNarrow{0, 160, 0};  // 1 pixel
  QString labelFace = "Arial";
  int labelCharSet = 0;    // the script the face must have letters for
  int labelHeight = 12;    // pixels
  int labelWeight = -1;    // -1: bold on light text, normal on dark
  QColor warningRing{245, 130, 0};       // 2 pixels, around implausible hops
  QColor warningRingOutline{40, 20, 0};  // 4 pixels under it, for contrast on any map colour
  QColor eventPen{0, 0, 255};      // 1 pixel
  QColor eventBrushGreen{0, 255, 0};
  QColor eventBrushGrey{128, 128, 128};
};

class MapRenderer {
 public:
  MapRenderer(const MapTable& maps, const PlaceNamer* namer);

  // Benchmarks compare with the culls switched off; the picture is the same.
  void SetCulling(bool on) { culling_ = on; }
  // With culling on, shapes that reach out of the picture are cut to it (plus
  // a margin) before drawing; off only to compare pictures and times.
  void SetClipping(bool on) { clipping_ = on; }
  // Asked once, at the first label pass: is it 24 or 25 December?
  void SetChristmasCheck(std::function<bool()> check) { christmasCheck_ = std::move(check); }
  MapStyle& Style() { return style_; }

  // Paints the view into `target` (client size times `ratio` device pixels,
  // at that device pixel ratio, so that a scaled screen shows it sharp).
  // Nothing when no map is loaded or the view has no scale. Pixel positions
  // (logical) go back into the rows.
  void Paint(QImage& target, MapView& view, const std::vector<HopRef>& hops, bool traceEnded, qreal ratio = 1.0);

  // The parts, for benchmarks and tests.
  void DrawBaseMap(QImage& image, MapView& view, const std::vector<RouteHopInput>& hops);
  void DrawRoute(QPainter& p, const MapView& view, const std::vector<RouteHopInput>& hops, bool traceEnded,
                 std::vector<RouteNode>* out = nullptr);
  // The layers step alone, into `image`.
  void DrawLayersOnly(QImage& image, const MapView& view);
  const QImage& BaseImage() const { return base_; }
  int LastPolylinesDrawn() const { return polylinesDrawn_; }

 private:
  void DrawGrid(QPainter& p, const MapView& v, const MapRecord& m);
  bool DrawLayers(QPainter& p, const MapView& v, const MapRecord& m);
  void DrawLabels(QPainter& p, const MapView& v, const MapRecord& m, const std::vector<RouteHopInput>& hops);

  const MapTable& maps_;
  const PlaceNamer* namer_;
  MarkerImages markers_;
  MapStyle style_;
  QImage base_;
  std::vector<QPoint> buffer_;
  std::vector<QPointF> clipIn_, clipOut_;  // kept between paints: no allocation per polygon
  bool culling_ = true;
  bool clipping_ = true;
  int christmas_ = -1;  // unknown until the first label pass
  std::function<bool()> christmasCheck_;
  int polylinesDrawn_ = 0;
};

// The route's input: each hop's position and response class, and whether
// its position is implausible against row 0's home (geo/plausibility.h).
std::vector<RouteHopInput> RouteInputs(const std::vector<HopRef>& hops);
// Where the warning ring of an implausible hop goes: around its marker image.
QPointF WarningRingCentre(const RouteNode& node);
double WarningRingRadius(const RouteNode& node);
bool IsChristmasToday();

}  // namespace hs::map
