#include <gtest/gtest.h>

#include <cmath>

#include "geometry.h"

namespace mapdata {
namespace {

const Box kWorld{-180, -90, 180, 90};

double MinLon(const Ring& r) { double m = 1e9; for (const Pt& p : r) m = std::min(m, p.lon); return m; }
double MaxLon(const Ring& r) { double m = -1e9; for (const Pt& p : r) m = std::max(m, p.lon); return m; }

TEST(BuilderGeometry, RingAcrossTheDateLineIsCutIntoBothSides) {
  // A square from lon 170 to lon -170 (190), as the data stores it.
  const Ring r{{170, 60}, {-170, 60}, {-170, 70}, {170, 70}, {170, 60}};
  const Ring u = UnwrapRing(r);
  ASSERT_FALSE(u.empty());
  EXPECT_DOUBLE_EQ(MaxLon(u), 190);
  const std::vector<Ring> parts = CutRing(u, kWorld, 360);
  ASSERT_EQ(parts.size(), 2u);
  double area = 0;
  for (const Ring& p : parts) {
    EXPECT_GE(MinLon(p), -180);
    EXPECT_LE(MaxLon(p), 180);
    area += std::fabs(SignedArea(p));
  }
  EXPECT_NEAR(area, 200, 1e-9);
}

TEST(BuilderGeometry, RingRoundThePoleIsClosedOverIt) {
  // Round the south pole at lat -70, west to east across the whole earth.
  Ring r;
  for (int lon = -180; lon <= 180; lon += 30) r.push_back({double(lon == 180 ? -180 : lon), -70});
  r.back() = {180, -70};
  const Ring u = UnwrapRing(r);
  ASSERT_GE(u.size(), r.size() + 2);
  EXPECT_DOUBLE_EQ(u.back().lat, -90);
  EXPECT_DOUBLE_EQ(u[u.size() - 2].lat, -90);
  EXPECT_NEAR(std::fabs(SignedArea(u)), 360 * 20, 1e-6);
}

TEST(BuilderGeometry, ZeroAreaRingIsDropped) {
  const Ring r{{-180, -90}, {0, -90}, {180, -90}, {0, -90}, {-180, -90}};
  EXPECT_TRUE(UnwrapRing(r).empty());
}

TEST(BuilderGeometry, TilesCoverTheRingWithoutOverlap) {
  const Ring square{{0, 0}, {25, 0}, {25, 25}, {0, 25}};
  const std::vector<Ring> tiles = CutRing(square, kWorld, 10);
  EXPECT_EQ(tiles.size(), 9u);
  double area = 0;
  for (const Ring& t : tiles) area += std::fabs(SignedArea(t));
  EXPECT_NEAR(area, 625, 1e-9);
}

TEST(BuilderGeometry, LinesSplitAtTheDateLineAndAtTheBox) {
  const std::vector<Pt> line{{170, 10}, {179, 10}, {-179, 10}, {-170, 10}};
  const auto pieces = ClipLine(line, kWorld);
  ASSERT_EQ(pieces.size(), 2u);  // never a stroke across the whole map
  const auto clipped = ClipLine({{0, 0}, {20, 0}, {20, 20}}, Box{5, -5, 15, 5});
  ASSERT_EQ(clipped.size(), 1u);
  EXPECT_DOUBLE_EQ(clipped[0].front().lon, 5);
  EXPECT_DOUBLE_EQ(clipped[0].back().lon, 15);
}

TEST(BuilderGeometry, MapUnitsRoundClampAndDropRepeats) {
  const auto pts = ToMapUnits({{-180, 90}, {-180, 90.001}, {180, -90}, {-180, 90}}, true);
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_EQ(pts[0], (hs::map::MapPoint{0, 0}));
  EXPECT_EQ(pts[1], (hs::map::MapPoint{64800, 32400}));
  EXPECT_EQ(ToMapUnits({{0, 0}, {1, 1}, {0, 0}}, false).size(), 3u);
  EXPECT_EQ(ToExtent(Box{-25, 33, 45, 72}), (hs::map::Extent{27900, 3240, 40500, 10260}));
}

}  // namespace
}  // namespace mapdata
