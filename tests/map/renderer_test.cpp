#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>

#include "map/map_renderer.h"
#include "test_maps.h"

namespace hs::map {
namespace {

constexpr Colour kSea = Rgb(10, 20, 30);
constexpr Colour kLand = Rgb(200, 180, 160);
constexpr Colour kLine = Rgb(250, 0, 0);

// A world map with one filled square around (lon 0, lat 0) and one line that
// runs along lat 60 from lon 170 to lon 179.
MapRecord TestWorld() {
  MapBuilder b({0, 0, 64800, 32400}, true);
  b.SetColours({kSea, Rgb(11, 21, 31), Rgb(0, 0, 0), 0, Rgb(255, 255, 255), Rgb(0, 0, 0), 0, 0}, {});
  b.AddLayer(kLand, 0, kLand, 0);
  const MapPos c = ProjectHop(0, 0);
  b.AddPolyline({{uint16_t(c.x - 900), uint16_t(c.y - 900)}, {uint16_t(c.x + 900), uint16_t(c.y - 900)},
                 {uint16_t(c.x + 900), uint16_t(c.y + 900)}, {uint16_t(c.x - 900), uint16_t(c.y + 900)}});
  b.AddLayer(0, kLine, 0, kLine);
  const MapPos a = ProjectHop(60, 170), z = ProjectHop(60, 179);
  b.AddPolyline({{uint16_t(a.x), uint16_t(a.y)}, {uint16_t(z.x), uint16_t(z.y)}});
  return b.Map();
}

QRgb Colour32(Colour c) { return qRgb(Red(c), Green(c), Blue(c)); }

HopRef Row(double lat, double lon, uint32_t rtt = 30, LocationSource s = LocationSource::Database) {
  HopRef r = HopRef::Create();
  r->lastRtt = rtt;
  if (s != LocationSource::None || lat != 0 || lon != 0) r->SetLocation({s, lat, lon, 40});
  return r;
}

class RendererTest : public ::testing::Test {
 protected:
  RendererTest() : renderer(table, nullptr) {
    table.Add(TestWorld());
    renderer.SetChristmasCheck([] { return false; });
    view = testing::WholeWorldView(table, 1000, 500);  // scale 64, left 0, top 0
  }
  MapTable table;
  MapRenderer renderer;
  MapView view;
  QImage image;
};

// Whether the marker image's opaque pixels sit with its corner at (px - 3, py - 3).
void ExpectMarkerAt(const QImage& frame, const QImage& marker, int px, int py) {
  int checked = 0;
  for (int y = 0; y < marker.height(); ++y)
    for (int x = 0; x < marker.width(); ++x) {
      const QRgb m = marker.pixel(x, y);
      if (qAlpha(m) != 255) continue;
      EXPECT_EQ(frame.pixel(px - 3 + x, py - 3 + y) & 0xffffff, m & 0xffffff) << x << "," << y;
      ++checked;
    }
  EXPECT_GT(checked, 10);
}

TEST_F(RendererTest, MarkerIsDrawnAtTheHopsComputedPixel) {
  std::vector<HopRef> rows{Row(20, 40)};
  renderer.Paint(image, view, rows, false);
  const MapPos p = ProjectHop(20, 40);
  const int px = p.x / 64, py = p.y / 64;
  EXPECT_EQ(rows[0]->mapX.load(), px);
  EXPECT_EQ(rows[0]->mapY.load(), py);
  MarkerImages markers;
  // One hop is also the last: its marker, then the target image over it at (px - 5, py - 5).
  const QImage target = markers.Target(MarkerList::MediumA);
  QImage expected = renderer.BaseImage().copy();
  {
    QPainter painter(&expected);
    painter.drawImage(px - 3, py - 3, markers.Marker(MarkerList::MediumA, 3));
    painter.drawImage(px - 3, py - 3, markers.Marker(MarkerList::MediumA, 3));
    painter.drawImage(px - 5, py - 5, target);
  }
  for (int y = py - 8; y < py + 16; ++y)
    for (int x = px - 8; x < px + 16; ++x) EXPECT_EQ(image.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
  EXPECT_EQ(image.pixel(px - 20, py - 20), renderer.BaseImage().pixel(px - 20, py - 20));
}

TEST_F(RendererTest, UnlocatedHopBetweenTwoLocatedOnesLiesHalfway) {
  std::vector<HopRef> rows{Row(-30, -60), Row(0, 0, 30, LocationSource::None), Row(10, 60)};
  renderer.Paint(image, view, rows, false);
  const MapPos a = ProjectHop(-30, -60), b = ProjectHop(10, 60);
  EXPECT_EQ(rows[1]->mapX.load(), (a.x + (b.x - a.x) / 2) / 64);
  EXPECT_EQ(rows[1]->mapY.load(), (a.y + (b.y - a.y) / 2) / 64);
  MarkerImages markers;
  ExpectMarkerAt(image, markers.Marker(MarkerList::Small, 3), rows[1]->mapX, rows[1]->mapY);
  // The route line passes through the middle hop's pixel.
  const QRgb line = image.pixel(rows[1]->mapX + 8, rows[1]->mapY + int(8.0 * (b.y - a.y) / (b.x - a.x)));
  EXPECT_GT(qGreen(line), qRed(line) + 50);
}

TEST_F(RendererTest, ScaledScreensGetTheMapAtDevicePixels) {
  std::vector<HopRef> rows{Row(20, 40)};
  renderer.Paint(image, view, rows, false);
  const int x1 = rows[0]->mapX, y1 = rows[0]->mapY;
  QImage sharp;
  renderer.Paint(sharp, view, rows, false, 2.0);
  EXPECT_EQ(sharp.size(), QSize(2000, 1000));
  EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
  EXPECT_EQ(rows[0]->mapX.load(), x1) << "hop pixels stay logical: the mouse finds them";
  EXPECT_EQ(rows[0]->mapY.load(), y1);
  // The same picture, twice as fine: land and sea where they were, and the
  // marker around the hop's doubled pixel rather than in the top-left quarter.
  const MapPos c = ProjectHop(0, 0);
  EXPECT_EQ(sharp.pixel(2 * (c.x / 64), 2 * (c.y / 64)), Colour32(kLand));
  EXPECT_EQ(sharp.pixel(6, 2 * (3 + 1800 / 64 / 2)), Colour32(kSea));
  int changed = 0;
  for (int y = 2 * y1 - 6; y <= 2 * y1 + 6; ++y)
    for (int x = 2 * x1 - 6; x <= 2 * x1 + 6; ++x) changed += sharp.pixel(x, y) != renderer.BaseImage().pixel(x, y);
  EXPECT_GT(changed, 40);
}

TEST_F(RendererTest, EasternCopyCarriesShapesAcrossTheDateLine) {
  // The view starts at lon 170 and runs 30 degrees past 180E: the land
  // square at lon 0 is out, but a square at lon -175 (x 900) must appear
  // through its copy at x + 64800.
  MapBuilder b({0, 0, 64800, 32400}, true);
  b.SetColours({kSea, Rgb(11, 21, 31), 0, 0, 0, 0, 0, 0}, {});
  b.AddLayer(kLand, 0, kLand, 0);
  const MapPos c = ProjectHop(10, -175);
  b.AddPolyline({{uint16_t(c.x - 300), uint16_t(c.y - 300)}, {uint16_t(c.x + 300), uint16_t(c.y - 300)},
                 {uint16_t(c.x + 300), uint16_t(c.y + 300)}, {uint16_t(c.x - 300), uint16_t(c.y + 300)}});
  MapTable t;
  t.Add(b.Map());
  MapRenderer r(t, nullptr);
  MapView v;
  v.SetClient(400, 200);
  v.scale = 16, v.minScale = 2, v.maxScale = 128;
  v.left = ProjectHop(0, 170).x, v.right = v.left + 16 * 400;
  v.top = ProjectHop(20, 0).y, v.bottom = v.top + 16 * 200;
  v.centreX = (v.left + v.right) / 2, v.centreY = (v.top + v.bottom) / 2;
  QImage img;
  r.Paint(img, v, {}, false);
  const int px = (c.x + 64800 - v.left) / 16, py = (c.y - v.top) / 16;
  ASSERT_LT(px, 400);
  ASSERT_LT(py, 200);
  EXPECT_EQ(img.pixel(px, py), Colour32(kLand));
  EXPECT_EQ(r.LastPolylinesDrawn(), 1);
}

TEST_F(RendererTest, BaseMapIsRedrawnOnlyWhenTheViewChanged) {
  renderer.Paint(image, view, {}, false);
  ASSERT_EQ(view.baseMapValid, 1);
  // Change the map under a valid view: the kept picture is used.
  const QImage before = renderer.BaseImage().copy();
  const_cast<MapRecord&>(table.Map(0)).coloursHigh[kBackground] = Rgb(0, 255, 0);
  std::vector<HopRef> rows{Row(20, 40)};
  renderer.Paint(image, view, rows, false);
  EXPECT_EQ(renderer.BaseImage(), before);
  view.Pan(table, 1, 0, 0, 0);
  renderer.Paint(image, view, rows, false);
  EXPECT_EQ(image.pixel(2, 2), qRgb(0, 255, 0));
}

TEST_F(RendererTest, NothingIsPaintedWithoutMapsOrScale) {
  MapTable empty;
  MapRenderer r(empty, nullptr);
  QImage img;
  r.Paint(img, view, {Row(1, 1)}, false);
  EXPECT_TRUE(img.isNull());
  view.scale = 0;
  renderer.Paint(img, view, {Row(1, 1)}, false);
  EXPECT_TRUE(img.isNull());
}

TEST_F(RendererTest, LabelThatCollidesOnBothSidesIsNotDrawn) {
  MapBuilder b({0, 0, 64800, 32400}, true);
  b.SetColours({kSea, kSea, Rgb(0, 0, 0), 0, Rgb(255, 0, 0), Rgb(255, 0, 0), 0, 0}, {});
  b.AddLayer(kLand, 0, kLand, 0);
  // Three places 20 pixels apart on one row; the middle one is blocked on
  // the right by the first's text and on the left by it as well.
  const MapPos p = ProjectHop(0, 0);
  b.AddPlace(uint16_t(p.x), uint16_t(p.y), "Wwwwwwwwww");
  b.AddPlace(uint16_t(p.x + 64 * 400), uint16_t(p.y), "Lone");
  b.AddPlace(uint16_t(p.x + 64 * 20), uint16_t(p.y), "Blocked");
  b.AddPlace(uint16_t(p.x), uint16_t(p.y + 64 * 5), "Tucked");
  MapTable t;
  t.Add(b.Map());
  MapRenderer r(t, nullptr);
  r.SetChristmasCheck([] { return false; });
  MapView v = testing::WholeWorldView(t, 1000, 500);
  QImage img;
  r.Paint(img, v, {}, false);
  auto dotDrawn = [&](int32_t x, int32_t y) {
    const MapPos px = v.ToPixel(x, y, 1);
    return qRed(img.pixel(px.x, px.y)) == 255 && qGreen(img.pixel(px.x, px.y)) == 0;
  };
  EXPECT_TRUE(dotDrawn(p.x, p.y));
  EXPECT_TRUE(dotDrawn(p.x + 64 * 400, p.y));
  // "Blocked" meets the first text on its right and on its left: neither
  // its text nor its dot is drawn.
  const MapPos bp = v.ToPixel(p.x + 64 * 20, p.y, 1);
  EXPECT_FALSE(dotDrawn(p.x + 64 * 20, p.y)) << bp.x;
  EXPECT_FALSE(dotDrawn(p.x, p.y + 64 * 5));  // blocked by the dropped label's rectangle
}

TEST_F(RendererTest, SantasVillageOnlyOnChristmas) {
  MapBuilder b({0, 0, 64800, 32400}, true);
  b.SetColours({kSea, kSea, Rgb(0, 0, 0), 0, Rgb(255, 0, 0), Rgb(255, 0, 0), 0, 0}, {});
  b.AddLayer(kLand, 0, kLand, 0);
  MapTable t;
  t.Add(b.Map());
  MapView v = testing::WholeWorldView(t, 1000, 1000);  // shows the north pole with room above it
  auto dotAtSanta = [&](bool christmas) {
    MapRenderer r(t, nullptr);
    int asked = 0;
    r.SetChristmasCheck([&] { ++asked; return christmas; });
    QImage img;
    v.baseMapValid = 0;
    r.Paint(img, v, {}, false);
    v.baseMapValid = 0;
    r.Paint(img, v, {}, false);
    EXPECT_EQ(asked, 1);  // the date is looked at once
    const MapPos px = v.ToPixel(kSantasVillage.x, kSantasVillage.y, 1);
    return img.pixel(px.x, px.y) == qRgb(255, 0, 0);
  };
  EXPECT_TRUE(dotAtSanta(true));
  EXPECT_FALSE(dotAtSanta(false));
}

// Pixels near the warning ring's colour on the ring around a hop's marker.
int RingPixels(const QImage& frame, const HopRef& row, const QColor& ring) {
  RouteNode node;
  node.pixel = {row->mapX.load(), row->mapY.load()};
  node.list = MarkerListForClass(uint32_t(row->Location().source));
  const QPointF c = WarningRingCentre(node);
  const double r = WarningRingRadius(node);
  int count = 0;
  for (int y = int(c.y() - r - 2); y <= int(c.y() + r + 2); ++y)
    for (int x = int(c.x() - r - 2); x <= int(c.x() + r + 2); ++x) {
      const double d = std::hypot(x + 0.5 - c.x(), y + 0.5 - c.y());
      const QColor p = frame.pixelColor(x, y);
      if (std::abs(d - r) < 1.0 && std::abs(p.red() - ring.red()) < 40 && std::abs(p.green() - ring.green()) < 40 &&
          std::abs(p.blue() - ring.blue()) < 40)
        ++count;
    }
  return count;
}

TEST_F(RendererTest, AHopWhosePositionItsTimeRulesOutGetsAWarningRingAroundItsMarker) {
  // Home in Berlin; Sydney 2 ms away is impossible, 400 ms away is not.
  HopRef home = Row(52.52, 13.405, 0, LocationSource::Home);
  home->SetLocation({LocationSource::Home, 52.52, 13.405, 240});
  auto hop = [](double lat, double lon, uint32_t rtt) {
    HopRef r = Row(lat, lon, rtt, LocationSource::Server);
    r->address = 0x0100000A;
    r->sentCount = 1;
    return r;
  };
  std::vector<HopRef> rows{home, hop(-33.87, 151.21, 2), hop(35.68, 139.69, 400), hop(-33.0, -60.0, 500)};
  renderer.Paint(image, view, rows, false);
  const QColor ring = renderer.Style().warningRing;
  EXPECT_GT(RingPixels(image, rows[1], ring), 12);
  EXPECT_EQ(RingPixels(image, rows[2], ring), 0);
  EXPECT_EQ(RingPixels(image, rows[0], ring), 0);
  // The same route from the built-in home: nothing is judged, no ring.
  home->SetLocation(kDefaultHomeLocation);
  renderer.Paint(image, view, rows, false);
  EXPECT_EQ(RingPixels(image, rows[1], ring), 0);
}

TEST(MarkerArtworkTest, MagentaIsTransparentAndSilentHopsLookDifferent) {
  MarkerImages m;
  for (MarkerList list : {MarkerList::Small, MarkerList::MediumA, MarkerList::MediumB, MarkerList::Large,
                          MarkerList::SingleA, MarkerList::SingleB}) {
    const QImage art = MarkerImages::Artwork(list, 3), marker = m.Marker(list, 3);
    EXPECT_EQ(art.pixel(art.width() - 1, 0), kMagenta);  // a corner off the drawing
    EXPECT_EQ(qAlpha(marker.pixel(art.width() - 1, 0)), 0);
    EXPECT_EQ(qAlpha(marker.pixel(3, 3)), 255);  // the node dot
  }
  EXPECT_NE(MarkerImages::Artwork(MarkerList::Small, 0), MarkerImages::Artwork(MarkerList::Small, 3));
}

}  // namespace
}  // namespace hs::map
