#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "map/map_table.h"
#include "map/map_view.h"
#include "map/route_layout.h"
#include "test_maps.h"
#include "tests/config/temp_dir.h"

namespace hs::map {
namespace {

namespace fs = std::filesystem;
using testing::SquareMap;
using hs::testing::WriteFile;

class RecordingBoxes : public MapMessageBoxes {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    shown.emplace_back(std::string(text), std::string(caption));
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

const MapRecord kWorld = SquareMap({0, 0, 64800, 32400}, true);
const MapRecord kEurope = SquareMap({30000, 3000, 40000, 10000}, false);
const MapRecord kAsia = SquareMap({45000, 5000, 60000, 15000}, false);

// Each row: the maps folder (file name and its map; a null map writes
// broken bytes, "dir:" makes a directory) and the maps loaded, in order,
// with the world map's file name and the number of files listed.
TEST(MapTableTest, TheWorldMapInAnyCaseComesFirstAndBrokenFilesAreSkipped) {
  std::string noLayers = WriteMap(kEurope);
  noLayers[336] = 0;  // layerCount 1 -> 0
  const std::string whole = WriteMap(kAsia);
  const struct {
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<const MapRecord*> loaded;
    const char* worldName;
    int fileCount;
  } cases[] = {
      {{{"world.hsxmap", WriteMap(kWorld)}}, {&kWorld}, "world.hsxmap", 1},
      {{{"aaa.hsxmap", WriteMap(kEurope)}, {"world.hsxmap", WriteMap(kWorld)}, {"zzz.hsxmap", WriteMap(kAsia)}},
       {&kWorld, &kEurope, &kAsia}, "world.hsxmap", 3},
      // Another spelling of the world map is not loaded twice; the exact name wins.
      {{{"world.hsxmap", WriteMap(kWorld)}, {"WORLD.HSXMAP", WriteMap(kEurope)}, {"asia.HsxMap", WriteMap(kAsia)}},
       {&kWorld, &kAsia}, "world.hsxmap", 2},
      {{{"World.HSXMAP", WriteMap(kWorld)}, {"europe.HsxMap", WriteMap(kEurope)}}, {&kWorld, &kEurope},
       "World.HSXMAP", 2},
      {{{"dir:world.hsxmap", ""}, {"World.hsxmap", WriteMap(kWorld)}}, {&kWorld}, "World.hsxmap", 1},
      // Broken files keep their entries; the rest still load.
      {{{"world.hsxmap", WriteMap(kWorld)}, {"a-nolayers.hsxmap", noLayers},
        {"b-short-names.hsxmap", whole.substr(0, whole.size() - 1)}, {"c-good.hsxmap", WriteMap(kAsia)}},
       {&kWorld, &kAsia}, "world.hsxmap", 4},
      // A broken world map leaves the next map in slot zero.
      {{{"world.hsxmap", "too short"}, {"europe.hsxmap", WriteMap(kEurope)}}, {&kEurope}, "world.hsxmap", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.front().first + ", " + std::to_string(c.files.size()) + " files");
    hs::testing::TempDir dir;
    for (const auto& [name, bytes] : c.files) {
      if (name.rfind("dir:", 0) == 0) fs::create_directory(dir / name.substr(4));
      else WriteFile(dir / name, bytes);
    }
    RecordingBoxes boxes;
    MapTable table;
    ASSERT_TRUE(table.LoadAtStartup(dir.path(), &boxes));
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_EQ(table.Count(), int(c.loaded.size()));
    for (size_t i = 0; i < c.loaded.size(); ++i) EXPECT_EQ(table.Map(int(i)), *c.loaded[i]) << i;
    EXPECT_EQ(table.Entry(0).Name(), c.worldName);
    EXPECT_EQ(table.FileCount(), c.fileCount);
  }
}

TEST(MapTableTest, MissingWorldMapShowsBothBoxesAtStartUp) {
  for (bool worldIsADirectory : {false, true}) {
    hs::testing::TempDir dir;
    WriteFile(dir / "europe.hsxmap", WriteMap(kEurope));
    if (worldIsADirectory) fs::create_directory(dir / "world.hsxmap");
    RecordingBoxes boxes;
    MapTable table;
    EXPECT_FALSE(table.LoadAtStartup(dir.path(), &boxes));
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.FileCount(), 0);
    EXPECT_EQ(boxes.shown, (std::vector<std::pair<std::string, std::string>>{
                               {"World Map not found.  A world map file is required for the program to operate "
                                "properly.",
                                "Map Loading Error"},
                               {"No Map files found!", "Map Loading Error"}}));
  }
}

TEST(MapTableTest, NoMoreMapsThanSlots) {
  hs::testing::TempDir dir;
  WriteFile(dir / "world.hsxmap", WriteMap(kWorld));
  for (int i = 0; i < 40; ++i) WriteFile(dir / ("m" + std::to_string(100 + i) + ".hsxmap"), WriteMap(kEurope));
  MapTable table;
  ASSERT_TRUE(table.LoadAll(dir.path(), nullptr));
  EXPECT_EQ(table.Count(), MapTable::kSlots);
  EXPECT_EQ(table.FileCount(), 41);
  table.DestroyEntries();
  EXPECT_EQ(table.FileCount(), 0);
}

// The maps we ship: the world first and wrapping, and zoomed in on any
// continent the view leaves the coarse world map for a finer one.
TEST(ShippedMaps, AllLoadWithTheWorldFirstAndCoverTheContinentsFinely) {
  MapTable table;
  ASSERT_TRUE(table.LoadAll(std::filesystem::path(std::getenv("HOPSIGHT_BUILD_DIR")) / "bin" / "maps", nullptr));
  EXPECT_EQ(table.Count(), table.FileCount());
  ASSERT_GE(table.Count(), 6);
  const MapRecord& world = table.Map(0);
  EXPECT_EQ(world.extent, (Extent{0, 0, 64800, 32400}));
  EXPECT_TRUE(world.Wraps());
  const struct { const char* place; double lat, lon; } places[] = {
      {"Buenos Aires", -34.6, -58.4}, {"Nairobi", -1.29, 36.82}, {"Delhi", 28.6, 77.2},
      {"Sydney", -33.87, 151.2},      {"Paris", 48.86, 2.35},     {"Chicago", 41.88, -87.63}};
  for (const auto& p : places) {
    MapView v = testing::WholeWorldView(table, 1280, 720);
    const MapPos at = ProjectHop(p.lat, p.lon);
    const MapPos px = v.ToPixel(at.x, at.y, v.PointInView(at.x, at.y) == 2 ? 2 : 1);
    v.Zoom(table, px.x, px.y, true);
    for (int i = 1; i < 3; ++i) v.Zoom(table, -1, -1, true);
    EXPECT_NE(v.currentMap, 0) << p.place;
  }
}

}  // namespace
}  // namespace hs::map
