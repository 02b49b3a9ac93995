#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "map/map_table.h"
#include "map/map_view.h"
#include "map/route_layout.h"
#include "test_maps.h"

namespace hs::map {
namespace {

namespace fs = std::filesystem;
using testing::SquareMap;
using testing::WriteFile;

class RecordingBoxes : public MapMessageBoxes {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    shown.emplace_back(std::string(text), std::string(caption));
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

class MapTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("hs-maps-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  void Put(const std::string& name, const MapRecord& m) { WriteFile((dir / name).string(), WriteMap(m)); }

  fs::path dir;
  RecordingBoxes boxes;
  MapTable table;
};

const MapRecord kWorld = SquareMap({0, 0, 64800, 32400}, true);
const MapRecord kEurope = SquareMap({30000, 3000, 40000, 10000}, false);
const MapRecord kAsia = SquareMap({45000, 5000, 60000, 15000}, false);

TEST_F(MapTableTest, OnlyTheWorldMapGivesOneMapInSlotZero) {
  Put("world.hsxmap", kWorld);
  EXPECT_TRUE(table.LoadAll(dir, &boxes));
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Map(0), kWorld);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MapTableTest, WorldMapComesFirstWhateverItsNameSortsAs) {
  Put("aaa.hsxmap", kEurope);
  Put("world.hsxmap", kWorld);
  Put("zzz.hsxmap", kAsia);
  ASSERT_TRUE(table.LoadAll(dir, &boxes));
  ASSERT_EQ(table.Count(), 3);
  EXPECT_EQ(table.Map(0), kWorld);
  EXPECT_EQ(table.Map(1), kEurope);
  EXPECT_EQ(table.Map(2), kAsia);
  EXPECT_EQ(table.Entry(0).Name(), "world.hsxmap");
}

TEST_F(MapTableTest, WorldMapNameInAnotherCaseIsNotLoadedTwice) {
  Put("world.hsxmap", kWorld);
  Put("WORLD.HSXMAP", kEurope);
  Put("asia.HsxMap", kAsia);  // the extension matches in any case
  ASSERT_TRUE(table.LoadAll(dir, &boxes));
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Map(0), kWorld);  // the exact name wins
  EXPECT_EQ(table.Map(1), kAsia);
  EXPECT_EQ(table.FileCount(), 2);
}

TEST_F(MapTableTest, TheWorldMapIsFoundInAnyCase) {
  Put("World.HSXMAP", kWorld);
  Put("europe.HsxMap", kEurope);
  ASSERT_TRUE(table.LoadAll(dir, &boxes));
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Map(0), kWorld);
  EXPECT_EQ(table.Entry(0).Name(), "World.HSXMAP");
  EXPECT_EQ(table.Map(1), kEurope);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MapTableTest, ADirectoryNamedLikeTheWorldMapIsNoWorldMap) {
  fs::create_directory(dir / "world.hsxmap");
  Put("World.hsxmap", kWorld);
  ASSERT_TRUE(table.LoadAll(dir, &boxes));
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Entry(0).Name(), "World.hsxmap");
  fs::remove(dir / "World.hsxmap");
  EXPECT_FALSE(MapTable().LoadAll(dir, &boxes));
}

TEST_F(MapTableTest, MissingWorldMapShowsBothBoxesAtStartUp) {
  Put("europe.hsxmap", kEurope);
  EXPECT_FALSE(table.LoadAtStartup(dir, &boxes));
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.FileCount(), 0);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].first,
            "World Map not found.  A world map file is required for the program to operate properly.");
  EXPECT_EQ(boxes.shown[0].second, "Map Loading Error");
  EXPECT_EQ(boxes.shown[1].first, "No Map files found!");
  EXPECT_EQ(boxes.shown[1].second, "Map Loading Error");
}

TEST_F(MapTableTest, SuccessfulStartUpShowsNoBox) {
  Put("world.hsxmap", kWorld);
  EXPECT_TRUE(table.LoadAtStartup(dir, &boxes));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MapTableTest, BrokenFilesAreSkippedAndTheRestStillLoad) {
  Put("world.hsxmap", kWorld);
  std::string noLayers = WriteMap(kEurope);
  noLayers[336] = 0;  // layerCount 1 -> 0
  WriteFile((dir / "a-nolayers.hsxmap").string(), noLayers);
  const std::string whole = WriteMap(kAsia);
  WriteFile((dir / "b-short-names.hsxmap").string(), whole.substr(0, whole.size() - 1));
  Put("c-good.hsxmap", kAsia);
  ASSERT_TRUE(table.LoadAll(dir, &boxes));
  EXPECT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Map(1), kAsia);
  EXPECT_EQ(table.FileCount(), 4);  // failed files keep their entries
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MapTableTest, BrokenWorldMapLeavesTheNextMapInSlotZero) {
  WriteFile((dir / "world.hsxmap").string(), "too short");
  Put("europe.hsxmap", kEurope);
  ASSERT_TRUE(table.LoadAll(dir, &boxes));
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Map(0), kEurope);
}

TEST_F(MapTableTest, NoMoreMapsThanSlots) {
  Put("world.hsxmap", kWorld);
  for (int i = 0; i < 40; ++i) Put("m" + std::to_string(100 + i) + ".hsxmap", kEurope);
  ASSERT_TRUE(table.LoadAll(dir, &boxes));
  EXPECT_EQ(table.Count(), MapTable::kSlots);
  EXPECT_EQ(table.FileCount(), 41);
  table.DestroyEntries();
  EXPECT_EQ(table.FileCount(), 0);
}

}  // namespace
}  // namespace hs::map

namespace hs::map {
namespace {

// The maps we ship: the world first and wrapping, every regional map inside it.
TEST(ShippedMaps, AllLoadWithTheWorldFirst) {
  const char* source = std::getenv("HOPSIGHT_SOURCE_DIR");
  if (!source) GTEST_SKIP() << "HOPSIGHT_SOURCE_DIR not set";
  MapTable table;
  ASSERT_TRUE(table.LoadAll(std::filesystem::path(source) / "maps", nullptr));
  EXPECT_EQ(table.Count(), table.FileCount());
  ASSERT_GE(table.Count(), 6);
  const MapRecord& world = table.Map(0);
  EXPECT_EQ(world.extent, (Extent{0, 0, 64800, 32400}));
  EXPECT_TRUE(world.Wraps());
  for (int i = 0; i < table.Count(); ++i) {
    const MapRecord& m = table.Map(i);
    EXPECT_GE(m.layers.size(), 2u);
    EXPECT_LE(m.layers.size(), 6u);
    EXPECT_FALSE(m.places.empty());
    EXPECT_LE(m.extent.right, 64800);
    EXPECT_LE(m.extent.bottom, 32400);
    for (const MapPolyline& p : m.polylines) {
      EXPECT_GE(p.box.left, m.extent.left);
      EXPECT_LE(p.box.right, m.extent.right + 1);
    }
  }
}


// Zoomed in anywhere on the continents, the view leaves the coarse world map
// for a finer one.
TEST(ShippedMaps, ZoomedViewsOnEveryContinentGetFinerMaps) {
  const char* source = std::getenv("HOPSIGHT_SOURCE_DIR");
  if (!source) GTEST_SKIP() << "HOPSIGHT_SOURCE_DIR not set";
  MapTable table;
  ASSERT_TRUE(table.LoadAll(std::filesystem::path(source) / "maps", nullptr));
  const struct { const char* place; double lat, lon; } places[] = {
      {"Buenos Aires", -34.6, -58.4}, {"Nairobi", -1.29, 36.82}, {"Delhi", 28.6, 77.2},
      {"Sydney", -33.87, 151.2},      {"Paris", 48.86, 2.35},     {"Chicago", 41.88, -87.63}};
  for (const auto& p : places) {
    MapView v;
    v.SetClient(1280, 720);
    v.ShowWholeWorld(table);
    const MapPos at = ProjectHop(p.lat, p.lon);
    const MapPos px = v.ToPixel(at.x, at.y, v.PointInView(at.x, at.y) == 2 ? 2 : 1);
    v.Zoom(table, px.x, px.y, true);
    for (int i = 1; i < 3; ++i) v.Zoom(table, -1, -1, true);
    EXPECT_NE(v.currentMap, 0) << p.place;
  }
}

}  // namespace
}  // namespace hs::map
