#include <gtest/gtest.h>

#include <array>

#include "map/map_view.h"
#include "test_maps.h"

namespace hs::map {
namespace {

using testing::SquareMap;
using testing::WholeWorldView;

MapTable Table(std::initializer_list<MapRecord> maps) {
  MapTable t;
  for (const MapRecord& m : maps) t.Add(m);
  return t;
}

const MapRecord kWorld = SquareMap({0, 0, 64800, 32400}, true);

GeoLocation At(double lat, double lon) { return {LocationSource::Database, lat, lon, 40}; }

// A view's left, top, right and bottom, compared in one go.
using Box = std::array<int32_t, 4>;
Box BoxOf(const MapView& v) { return {v.left, v.top, v.right, v.bottom}; }

// The world map shown whole in a 1000 x 500 window.
class WorldViewTest : public ::testing::Test {
 protected:
  const MapTable t = Table({kWorld});
  MapView v = WholeWorldView(t, 1000, 500);
};

TEST(ProjectHopTest, TruncatesTowardZeroAndTakesTheAbsoluteY) {
  EXPECT_EQ(ProjectHop(0, 0), (MapPos{32400, 16200}));
  EXPECT_EQ(ProjectHop(90, -180), (MapPos{0, 0}));
  EXPECT_EQ(ProjectHop(-90, 180), (MapPos{64800, 32400}));
  EXPECT_EQ(ProjectHop(51.50001, -0.12999), (MapPos{32376, 6929}));  // 32376.6, 6929.99
  EXPECT_EQ(ProjectHop(95, 0).y, 900);  // beyond the pole folds back
}

TEST(PointInViewTest, DateLineCopiesPassThroughTheEasternCopy) {
  MapView v;
  v.left = 60000, v.right = 70000, v.top = 1000, v.bottom = 2000, v.scale = 10;
  EXPECT_EQ(v.PointInView(64000, 1500), 1);  // just west of 180E
  EXPECT_EQ(v.PointInView(500, 1500), 2);    // just east of 180W
  EXPECT_EQ(v.PointInView(59999, 1500), 0);
  EXPECT_EQ(v.PointInView(70000 - 64800, 1500), 0);  // right edge exclusive
  EXPECT_EQ(v.PointInView(64000, 2000), 0);          // bottom edge exclusive
  EXPECT_EQ(v.ToPixel(500, 1500, 2), (MapPos{530, 50}));
  EXPECT_EQ(v.ToPixel(64000, 1000, 1), (MapPos{400, 0}));
}

TEST(ShowWholeWorldTest, TheWorldIsCentredInTheWindowAtTheFinestScaleThatShowsItAll) {
  const MapTable t = Table({kWorld});
  const struct {
    int w, h;
    int32_t maxScale;
    Box box;
  } cases[] = {
      {1000, 400, 64, {56700, 0, 120700, 25600}},  // height-limited: left -8100 moved into 0..64800
      {1000, 1000, 64, {0, -16200, 64000, 47800}},  // width-limited: centred vertically
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const MapView v = WholeWorldView(t, c.w, c.h);
    EXPECT_EQ(v.maxScale, c.maxScale);
    EXPECT_EQ(v.scale, c.maxScale);
    EXPECT_EQ(BoxOf(v), c.box);
  }
  // A zero-sized client leaves the view as it was.
  MapView v = WholeWorldView(t, 1000, 500);
  const MapView before = v;
  v.SetClient(0, 300);
  v.ShowWholeWorld(t);
  v.SetClient(300, 0);
  v.ShowWholeWorld(t);
  EXPECT_EQ(v.scale, before.scale);
  EXPECT_EQ(BoxOf(v), BoxOf(before));
  EXPECT_EQ(v.maxScale, before.maxScale);
}

TEST(ZoomTest, MaxScaleOneMakesZoomingDoNothing) {
  const MapTable t = Table({kWorld});
  MapView v = WholeWorldView(t, 70000, 500);  // wider than the world in map units
  EXPECT_EQ(v.maxScale, 1);
  EXPECT_EQ(v.scale, 1);
  const int32_t width = v.right - v.left;
  v.Zoom(t, -1, -1, true);
  EXPECT_EQ(v.scale, 1);
  v.Zoom(t, -1, -1, false);
  EXPECT_EQ(v.scale, 1);
  EXPECT_EQ(v.right - v.left, width);
}

TEST_F(WorldViewTest, ZoomInRecentresThenShrinksAboutTheCentre) {
  ASSERT_EQ(v.left, 0);
  int repaints = 0;
  v.requestRepaint = [&] { ++repaints; };
  v.baseMapValid = 1;
  v.Zoom(t, 600, 250, true);
  EXPECT_EQ(v.scale, 32);
  EXPECT_EQ(BoxOf(v), (Box{22400, 8000, 54400, 24000}));
  EXPECT_EQ(v.baseMapValid, 0);
  EXPECT_EQ(repaints, 1);
  v.Zoom(t, 600, 250, false);  // never re-centres
  EXPECT_EQ(v.scale, 64);
  EXPECT_EQ(BoxOf(v), (Box{6400, 0, 70400, 32000}));
  v.Zoom(t, -1, -1, false);  // at the coarsest scale nothing changes
  EXPECT_EQ(v.scale, 64);
  EXPECT_EQ(BoxOf(v), (Box{6400, 0, 70400, 32000}));
  EXPECT_EQ(repaints, 3);
}

TEST_F(WorldViewTest, AtTheFinestScaleZoomInOnlyRecentres) {
  for (int i = 0; i < 10; ++i) v.Zoom(t, -1, -1, true);
  ASSERT_EQ(v.scale, 2);
  const MapView before = v;
  v.Zoom(t, -1, 300, true);
  EXPECT_EQ(v.scale, 2);
  EXPECT_EQ(v.left, before.left);
  EXPECT_EQ(v.top, before.top + 100);
  EXPECT_EQ(v.bottom - v.top, before.bottom - before.top);
}

TEST_F(WorldViewTest, DraggingPastTheDateLineWraps) {
  v.Pan(t, 110, 0, 100, 0);  // map follows the pointer east
  EXPECT_EQ(v.left, 64800 - 640);
  EXPECT_EQ(v.right - v.left, 64000);
  EXPECT_EQ(v.centreX, (v.left + v.right) / 2);
  v.Pan(t, 80, 0, 100, 0);
  EXPECT_EQ(v.left, 640);
}

TEST_F(WorldViewTest, PanStopsAQuarterWorldBeyondThePoles) {
  v.Pan(t, 0, 300, 0, 0);
  EXPECT_EQ(v.top, -16200);
  EXPECT_EQ(v.bottom, -16200 + 32000);
  EXPECT_EQ(v.centreY, (v.top + v.bottom) / 2);
  v.Pan(t, 0, -1000, 0, 0);
  EXPECT_EQ(v.bottom, 48600);
  EXPECT_EQ(v.top, 48600 - 32000);
}

TEST(ChooseMapTest, SmallestContainingMapWinsAndTiesKeepTheEarlierMap) {
  const MapRecord a = SquareMap({20000, 2000, 40000, 12000}, true);
  const MapRecord b = SquareMap({21000, 2000, 41000, 12000}, true);  // same area
  const MapRecord big = SquareMap({10000, 1000, 50000, 20000}, true);
  const MapTable t = Table({kWorld, big, a, b});
  MapView v;
  v.left = 25000, v.right = 30000, v.top = 3000, v.bottom = 5000;
  v.NormaliseAndChooseMap(t);
  EXPECT_EQ(v.currentMap, 2);
  v.left = 39000, v.right = 40500;  // b alone contains it; big is larger
  v.NormaliseAndChooseMap(t);
  EXPECT_EQ(v.currentMap, 3);
}

TEST(ChooseMapTest, AfterANonWrappingMapAnyIntersectingMapPasses) {
  const MapRecord europe = SquareMap({30000, 3000, 40000, 10000}, false);
  const MapTable t = Table({kWorld, europe});
  MapView v;
  v.left = 35000, v.right = 45000, v.top = 5000, v.bottom = 9000;
  v.currentMap = 0;  // the world wraps: europe must contain the view
  v.NormaliseAndChooseMap(t);
  EXPECT_EQ(v.currentMap, 0);
  v.currentMap = 1;  // europe does not wrap: touching the view is enough
  v.NormaliseAndChooseMap(t);
  EXPECT_EQ(v.currentMap, 1);
  v.left = 50000, v.right = 60000;
  v.NormaliseAndChooseMap(t);
  EXPECT_EQ(v.currentMap, 0);
}

TEST(ChooseMapTest, NoMapsMeansMapZero) {
  MapTable empty;
  MapView v;
  v.currentMap = 5;
  v.left = -10;
  v.right = 100;
  v.NormaliseAndChooseMap(empty);
  EXPECT_EQ(v.currentMap, 0);
  EXPECT_EQ(v.left, 64790);
}

TEST_F(WorldViewTest, FollowingASingleHopIsCentredAndZoomedOneStepPerCall) {
  const std::vector<GeoLocation> route{At(48.85, 2.35)};
  const MapPos p = ProjectHop(route[0]);
  int expected = 64;
  for (int call = 0; call < 7; ++call) {
    v.FollowRoute(t, route, false, true);
    expected = std::max(2, expected / 2);
    EXPECT_EQ(v.scale, expected) << call;
    EXPECT_EQ(v.centreX, p.x);
    EXPECT_EQ(v.centreY, p.y);
    EXPECT_EQ(v.PointInView(p.x, p.y), 1);
  }
}

TEST_F(WorldViewTest, FollowingARouteThatDoesNotFitZoomsOutUntilItDoes) {
  for (int i = 0; i < 3; ++i) v.Zoom(t, -1, -1, true);
  ASSERT_EQ(v.scale, 8);
  v.baseMapValid = 0;
  const std::vector<GeoLocation> route{At(50, 0), At(45, 30), At(40, 60)};
  v.FollowRoute(t, route, false, true);
  EXPECT_EQ(v.scale, 16);
  for (const GeoLocation& g : route) EXPECT_EQ(v.PointInView(ProjectHop(g).x, ProjectHop(g).y), 1);
  EXPECT_EQ(v.baseMapValid, 1);  // the fit's stop mark
  v.FollowRoute(t, route, true, true);
  EXPECT_EQ(v.baseMapValid, 0);  // force asks for a fresh base map
}

TEST(FollowRouteTest, RouteWiderThanTheWorldViewTurnsHalfAWorldWest) {
  const MapTable t = Table({kWorld});
  MapView v = WholeWorldView(t, 1500, 750);
  ASSERT_EQ(v.maxScale, 32);
  v.baseMapValid = 0;
  const std::vector<GeoLocation> route{At(0, -60), At(0, -170), GeoLocation{}, At(0, 175)};
  v.FollowRoute(t, route, false, true);
  EXPECT_EQ(v.left, 41250);
  EXPECT_EQ(v.right, 89250);
  EXPECT_EQ(v.PointInView(ProjectHop(route[3]).x, ProjectHop(route[3]).y), 1);
}

TEST_F(WorldViewTest, FollowingNoLocatedHopLeavesTheViewAlone) {
  const MapView before = v;
  v.FollowRoute(t, {GeoLocation{}, GeoLocation{}}, false, true);
  EXPECT_EQ(v.scale, before.scale);
  EXPECT_EQ(BoxOf(v), BoxOf(before));
}

}  // namespace
}  // namespace hs::map
