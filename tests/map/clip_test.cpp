// Cutting shapes to the picture before drawing must not change a pixel: the
// same layers are painted with and without the cut and compared.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "map/map_renderer.h"
#include "test_maps.h"

namespace hs::map {
namespace {

constexpr Colour kSea = Rgb(10, 20, 30);
constexpr Colour kLand = Rgb(200, 180, 160);
constexpr Colour kLine = Rgb(250, 40, 0);

MapPoint At(double x, double y) { return {uint16_t(std::lround(x)), uint16_t(std::lround(y))}; }

// Around (lon 10, lat 50): a filled, jagged ring larger than the view, so that it
// leaves the picture on all four sides, and lines that wander in and out of it.
MapRecord CrossingShapes() {
  MapBuilder b({0, 0, 64800, 32400}, true);
  b.SetColours({kSea, Rgb(11, 21, 31), Rgb(0, 0, 0), 0, Rgb(255, 255, 255), Rgb(0, 0, 0), 0, 0}, {});
  const MapPos c = ProjectHop(50, 10);
  b.AddLayer(kLand, 0, kLand, 0);
  std::vector<MapPoint> ring;
  for (int i = 0; i < 61; ++i) {
    const double a = i * 2 * M_PI / 61, r = 4700 + (i % 3) * 370 - (i % 5) * 190;
    ring.push_back(At(c.x + r * std::cos(a), c.y + 0.8 * r * std::sin(a)));
  }
  b.AddPolyline(ring);
  // A thin sliver that only touches the view near its left edge.
  b.AddPolyline({At(c.x - 9000, c.y - 7), At(c.x - 3990, c.y + 33), At(c.x - 9000, c.y + 300)});
  b.AddLayer(0, kLine, 0, kLine);
  std::vector<MapPoint> zigzag;
  for (int i = 0; i < 40; ++i) zigzag.push_back(At(c.x - 5200 + i * 270, c.y + ((i % 2) ? 3600 : -3300) + i * 7));
  b.AddPolyline(zigzag);
  std::vector<MapPoint> wave;
  for (int i = 0; i < 64; ++i) wave.push_back(At(c.x - 6000 + i * 190, c.y + 2900 * std::sin(i * 0.37)));
  b.AddPolyline(wave);
  // Leaves the view across a corner and comes back.
  b.AddPolyline({At(c.x + 1000, c.y + 1000), At(c.x + 9000, c.y + 7000), At(c.x + 3000, c.y + 2500)});
  return b.Map();
}

int DifferingPixels(const QImage& a, const QImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      n += a.pixel(x, y) != b.pixel(x, y);
    }
  return n;
}

QImage Layers(const MapTable& table, const MapView& view, bool clip) {
  MapRenderer r(table, nullptr);
  r.SetClipping(clip);
  QImage image(view.client.Width(), view.client.Height(), QImage::Format_RGB32);
  image.fill(Qt::black);
  r.DrawLayersOnly(image, view);
  return image;
}

TEST(ShapeClipping, CutShapesPaintTheSamePixelsAsWholeOnes) {
  MapTable table;
  table.Add(CrossingShapes());
  MapView view = testing::WholeWorldView(table, 400, 300);
  const MapPos c = ProjectHop(50, 10);
  const MapPos px = view.ToPixel(c.x, c.y, 1);
  view.Zoom(table, px.x, px.y, true);
  for (int i = 0; i < 2; ++i) view.Zoom(table, -1, -1, true);
  view.colourBits = 32;
  // The ring and the lines must reach past every side of the view for the cut to matter.
  ASSERT_LT(c.x - 4500, view.left);
  ASSERT_GT(c.x + 4500, view.right);
  ASSERT_LT(c.y - 3400, view.top);
  ASSERT_GT(c.y + 3400, view.bottom);

  const QImage clipped = Layers(table, view, true), whole = Layers(table, view, false);
  int land = 0, line = 0;
  for (int y = 0; y < clipped.height(); ++y)
    for (int x = 0; x < clipped.width(); ++x) {
      land += clipped.pixel(x, y) == qRgb(200, 180, 160);
      // Lines are antialiased; fills are not, so every other colour is a line's.
      line += clipped.pixel(x, y) != qRgb(200, 180, 160) && clipped.pixel(x, y) != qRgb(0, 0, 0);
    }
  EXPECT_GT(land, 10000);
  EXPECT_GT(line, 3000);
  EXPECT_EQ(DifferingPixels(clipped, whole), 0);
}

}  // namespace
}  // namespace hs::map
