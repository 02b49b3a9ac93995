#include <gtest/gtest.h>

#include "map/route_layout.h"
#include "test_maps.h"

namespace hs::map {
namespace {

// The whole world at 64 units a pixel: left 0, top 0.
MapView World() {
  MapView v;
  v.SetClient(1000, 500);
  v.scale = 64, v.maxScale = 64, v.minScale = 2;
  v.left = 0, v.right = 64000, v.top = 0, v.bottom = 32000;
  v.centreX = 32000, v.centreY = 16000;
  return v;
}

RouteHopInput Hop(double lat, double lon, LocationSource s = LocationSource::Database, int response = 3) {
  return {{s, lat, lon, 40}, response};
}
RouteHopInput Unlocated(int response = 0) { return {GeoLocation{}, response}; }

TEST(RouteLayoutTest, UnlocatedHopsAreSpreadEvenlyBetweenLocatedOnes) {
  const auto two = LayOutRoute(World(), {Hop(0, 0), Unlocated(), Unlocated(), Hop(30, 30)}, false);
  // Three steps of (5400 / 3, -5400 / 3).
  EXPECT_EQ(two[1].map, (MapPos{32400 + 1800, 16200 - 1800}));
  EXPECT_EQ(two[2].map, (MapPos{32400 + 3600, 16200 - 3600}));
}

TEST(RouteLayoutTest, MarkersFollowTheSourceAndTheResponseClass) {
  const auto nodes = LayOutRoute(World(),
                                 {Hop(10, 10, LocationSource::DefaultHome), Hop(10, 11, LocationSource::Database, 3),
                                  Hop(10, 12, LocationSource::Server, 0), Unlocated(3), Hop(10, 13, LocationSource::User),
                                  Hop(10, 14, LocationSource::Home), Hop(10, 15, LocationSource(9)), Unlocated()},
                                 false);
  EXPECT_EQ(nodes[0].list, MarkerList::SingleB);
  EXPECT_EQ(nodes[1].list, MarkerList::MediumA);
  EXPECT_EQ(nodes[1].image, 3);
  EXPECT_EQ(nodes[2].list, MarkerList::MediumB);
  EXPECT_EQ(nodes[2].image, 0);
  EXPECT_EQ(nodes[3].list, MarkerList::Small);  // a located hop follows
  EXPECT_EQ(nodes[3].image, 3);
  EXPECT_EQ(nodes[4].list, MarkerList::Large);
  EXPECT_EQ(nodes[5].list, MarkerList::SingleA);
  EXPECT_EQ(nodes[5].image, 0);
  EXPECT_EQ(nodes[6].list, MarkerList::None);  // unknown class: no marker
  EXPECT_EQ(nodes[7].list, MarkerList::SingleB);  // trailing unlocated hop
}

TEST(RouteLayoutTest, UnplacedTargetOfAnEndedTraceSitsOffTheAnchor) {
  const MapView v = World();
  // Reference due west of the anchor: the target goes 15 pixels east.
  auto nodes = LayOutRoute(v, {Hop(0, -40), Hop(0, 0), Unlocated(), Unlocated()}, true);
  const MapPos a = nodes[1].pixel;
  EXPECT_EQ(nodes[2].pixel, (MapPos{a.x + 15, a.y}));
  EXPECT_EQ(nodes[3].pixel, (MapPos{a.x + 15, a.y}));
  // Due north: 15 pixels below.
  nodes = LayOutRoute(v, {Hop(40, 0), Hop(0, 0), Unlocated()}, true);
  EXPECT_EQ(nodes[2].pixel, (MapPos{a.x, a.y + 15}));
  // Diagonal: ddx / ddy = 0.5 gives an offset of 15 on both axes.
  v.ToPixel(0, 0, 1);
  const MapPos anchorMap = ProjectHop(0, 0);
  const MapPos ref{anchorMap.x - 10 * 64, anchorMap.y - 20 * 64};
  const double refLon = ref.x / 180.0 - 180, refLat = 90 - ref.y / 180.0;
  nodes = LayOutRoute(v, {Hop(refLat, refLon), Hop(0, 0), Unlocated()}, true);
  EXPECT_EQ(nodes[2].pixel, (MapPos{a.x + 15, a.y + 15}));
  // Only hops at the anchor's own position before it: straight below.
  nodes = LayOutRoute(v, {Hop(0, 0), Hop(0, 0), Unlocated()}, true);
  EXPECT_EQ(nodes[2].pixel, (MapPos{a.x, a.y + 15}));
  // A trace still running leaves the unplaced target on the last located hop.
  nodes = LayOutRoute(v, {Hop(0, -40), Hop(0, 0), Unlocated()}, false);
  EXPECT_EQ(nodes[2].pixel, a);
}

TEST(RouteLayoutTest, RouteCrossingTheDateLineContinuesEastAndStartsAtTheCopyNearerTheCentre) {
  MapView v;
  v.SetClient(1000, 500);
  v.scale = 10, v.left = 60000, v.right = 70000, v.top = 10000, v.bottom = 15000;
  v.centreX = 65000, v.centreY = 12500;
  const auto nodes = LayOutRoute(v, {Hop(20, 179), Hop(20, -179), Hop(20, -150)}, false);
  EXPECT_EQ(nodes[0].map.x, 64620);
  EXPECT_EQ(nodes[1].map.x, 180 + 64800);   // its copy is in view
  EXPECT_EQ(nodes[2].map.x, 5400 + 64800);  // out of view, nearer east of the previous hop
  EXPECT_EQ(nodes[2].pixel.x, (5400 + 64800 - 60000) / 10);
  EXPECT_EQ(LayOutRoute(v, {Hop(20, -150)}, false)[0].map.x, 5400 + 64800) << "a start out of view";
}

class FixedNamer : public PlaceNamer {
 public:
  std::optional<MapLabel> NearestPlace(int32_t x, int32_t y, int32_t radius) const override {
    ++asked;
    EXPECT_EQ(radius, 30);
    if (x == 32400) return MapLabel{{32410, 16200}, "Null Island, ZZ"};
    return std::nullopt;
  }
  mutable int asked = 0;
};

TEST(LabelListTest, ChristmasRouteAndMapPlacesInThatOrder) {
  MapBuilder b({0, 0, 64800, 32400}, true);
  b.AddLayer(1, 1, 1, 1);
  b.AddPlace(1000, 1000, "Alpha, AA");
  b.AddPlace(2000, 1000, "null island");   // contained in an earlier text: left out
  b.AddPlace(64500, 100, "Out of view");
  b.AddPlace(3000, 1000, "Beta");
  FixedNamer namer;
  const std::vector<MapLabel> labels =
      BuildLabels(World(), b.Map(), {Hop(0, 0), Unlocated(), Hop(10, 10)}, &namer, true);
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(labels[0].text, "Santa's Village");
  EXPECT_EQ(labels[0].point, (MapPos{16200, 17}));
  EXPECT_EQ(labels[1].text, "Null Island, ZZ");
  EXPECT_EQ(labels[2].text, "Alpha, AA");
  EXPECT_EQ(labels[3].text, "Beta");
  EXPECT_EQ(namer.asked, 2);  // located hops only
  EXPECT_EQ(BuildLabels(World(), b.Map(), {}, nullptr, false).front().text, "Alpha, AA");
}

TEST(LabelListTest, NoMoreThanThirtyEntries) {
  MapBuilder b({0, 0, 64800, 32400}, true);
  b.AddLayer(1, 1, 1, 1);
  for (int i = 0; i < 50; ++i) b.AddPlace(uint16_t(100 + 1000 * i), 5000, "P" + std::to_string(100 + i));
  EXPECT_EQ(BuildLabels(World(), b.Map(), {}, nullptr, true).size(), kMaxLabels);
}

TEST(LabelPlacementTest, RightThenLeftThenNotDrawn) {
  MapView v = World();
  const MapPos p{6400, 6400};  // pixel (100, 100)
  const std::vector<MapLabel> labels{{p, "First"}, {p, "Second"}, {p, "Third"}, {{6400 + 64 * 200, 6400}, "Far, XY"}};
  std::vector<std::string> measured;
  const auto placed = PlaceLabels(v, labels, [&](const std::string& s) {
    measured.push_back(s);
    return MapPos{50, 12};
  });
  ASSERT_EQ(placed.size(), 3u);
  EXPECT_EQ(placed[0].entry, 0u);
  EXPECT_FALSE(placed[0].onLeft);
  EXPECT_EQ(placed[0].textAt, (MapPos{106, 94}));
  EXPECT_EQ(placed[1].entry, 1u);
  EXPECT_TRUE(placed[1].onLeft);
  EXPECT_EQ(placed[1].textAt, (MapPos{100 - 50 - 6, 94}));
  EXPECT_EQ(placed[2].entry, 3u);  // "Third" collides on both sides
  EXPECT_EQ(measured.back(), "Far");  // measured up to the comma
}

TEST(LabelPlacementTest, LabelsOutOfViewBlockNothing) {
  auto measure = [](const std::string&) { return MapPos{50, 12}; };
  const auto placed = PlaceLabels(World(), {{{64500, 6400}, "Gone"}, {{6400, 6400}, "Here"}}, measure);
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].entry, 1u);
}

}  // namespace
}  // namespace hs::map
