// What the map viewer shows of a trace file: the placed route, fitted.
#include <gtest/gtest.h>

#include "map/route_fit.h"
#include "test_maps.h"

namespace hs::map {
namespace {

GeoLocation At(double latitude, double longitude) { return {LocationSource::Server, latitude, longitude, 0}; }

// San Francisco over Chicago, London, Moscow and Beijing to Tokyo: 261
// degrees of longitude eastwards, more than the whole-world view of a 16:9
// picture shows.
const std::vector<GeoLocation> kAroundTheWorld{At(37.77, -122.42), At(41.88, -87.63), {},
                                               At(51.51, -0.13),   At(55.76, 37.62),  At(39.90, 116.40),
                                               At(35.68, 139.69)};

class RouteFit : public ::testing::Test {
 protected:
  void SetUp() override {
    maps.Add(testing::WorldMap());
    view = testing::WholeWorldView(maps, 1280, 720);
  }
  // Every placed hop is in the view and `margin` pixels inside the picture.
  void ExpectAllInside(const std::vector<GeoLocation>& route, int32_t margin) {
    for (const GeoLocation& g : route) {
      if (!g.HasPosition()) continue;
      const MapPos p = ProjectHop(g);
      const int r = view.PointInView(p.x, p.y);
      ASSERT_NE(r, 0) << g.latitude << "," << g.longitude;
      const MapPos px = view.ToPixel(p.x, p.y, r);
      EXPECT_GE(px.x, margin);
      EXPECT_LE(px.x, view.client.Width() - margin);
      EXPECT_GE(px.y, margin);
      EXPECT_LE(px.y, view.client.Height() - margin);
    }
  }
  MapTable maps;
  MapView view;
};

TEST_F(RouteFit, ARouteAroundTheWorldFitsAtACoarserScaleThanTheWholeWorld) {
  const int32_t wholeWorld = view.maxScale;
  ASSERT_TRUE(FitRoute(view, maps, kAroundTheWorld, 20));
  ExpectAllInside(kAroundTheWorld, 20);
  EXPECT_EQ(view.scale, 2 * wholeWorld);
  EXPECT_EQ(view.maxScale, view.scale);  // zooming out can come back here
  // The view stays within the map and its one copy to the east.
  EXPECT_GE(view.left, 0);
  EXPECT_LE(view.right, 2 * kWorldWidth);
  EXPECT_EQ(view.right - view.left, view.scale * 1280);
}

TEST_F(RouteFit, ARouteOverThePacificIsBoxedTheShortWay) {
  const std::vector<GeoLocation> pacific{At(35.68, 139.69), At(21.31, -157.86), At(37.77, -122.42)};
  ASSERT_TRUE(FitRoute(view, maps, pacific, 20));
  ExpectAllInside(pacific, 20);
  EXPECT_LT(view.scale, view.maxScale);  // 98 degrees, not 262
}

TEST_F(RouteFit, ASinglePlacedHopIsCentredAtTheFinestScaleAndNoneChangesNothing) {
  EXPECT_FALSE(FitRoute(view, maps, {{}, {}}, 20));
  EXPECT_EQ(view.scale, view.maxScale);
  const std::vector<GeoLocation> one{{}, At(48.14, 11.58)};
  ASSERT_TRUE(FitRoute(view, maps, one, 20));
  EXPECT_EQ(view.scale, view.minScale);
  const MapPos p = ProjectHop(one[1]);
  const MapPos px = view.ToPixel(p.x, p.y, view.PointInView(p.x, p.y));
  EXPECT_NEAR(px.x, 640, 1);
  EXPECT_NEAR(px.y, 360, 1);
}

TEST(PlacedRoute, StartsAtTheFirstHopWithAPosition) {
  std::vector<HopRef> rows;
  for (GeoLocation g : {GeoLocation{}, GeoLocation{}, At(1, 2), GeoLocation{}, At(3, 4)}) {
    rows.push_back(HopRef::Create());
    rows.back()->SetLocation(g);
  }
  const std::vector<HopRef> placed = PlacedRoute(rows);
  ASSERT_EQ(placed.size(), 3u);
  EXPECT_EQ(placed[0].get(), rows[2].get());
  EXPECT_TRUE(PlacedRoute({rows[0], rows[1]}).empty());
}

}  // namespace
}  // namespace hs::map
