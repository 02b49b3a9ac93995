// hopsight.loca: the writer against hand-made bytes, the reader against the
// writer, and the nearest-place search with its radius rules.
#include <gtest/gtest.h>

#include "geo/place_file.h"
#include "tests/config/temp_dir.h"

namespace hs::geo {
namespace {

std::string U16(uint32_t v) { return {char(v & 0xFF), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

// Records (x, y, name) in the order given, names after them.
std::string HandMade(const std::vector<std::tuple<int, int, std::string>>& places) {
  std::string head = U32(uint32_t(places.size())), names;
  const size_t base = 4 + 8 * places.size();
  for (const auto& [x, y, name] : places) {
    head += U16(uint32_t(x)) + U16(uint32_t(y)) + U32(uint32_t(base + names.size()));
    names += name + '\0';
  }
  return head + names;
}

TEST(PlaceFileWriter, SortsByXAndStoresUtf8NamesAfterTheRecords) {
  const std::string bytes = WritePlaceFile({{50.11552, 8.68417, "Frankfurt am Main, DE"},
                                            {-23.5475, -46.63611, "São Paulo, BR"},
                                            {51.5, -0.125, "London, GB"}});
  const int32_t fx = PlaceX(8.68417), fy = PlaceY(50.11552);
  EXPECT_EQ(bytes, HandMade({{PlaceX(-46.63611), PlaceY(-23.5475), "São Paulo, BR"},
                             {PlaceX(-0.125), PlaceY(51.5), "London, GB"},
                             {fx, fy, "Frankfurt am Main, DE"}}));
  EXPECT_EQ(PlaceX(-180), 0);
  EXPECT_EQ(PlaceX(180), 64800);
  EXPECT_EQ(PlaceY(90), 0);
  EXPECT_EQ(PlaceY(-90), 32400);
  const PlaceFile f = PlaceFile::FromBytes(bytes);
  const auto p = f.FindNearestPlace(fx + 3, fy - 2, 30);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->name, "Frankfurt am Main, DE");
  EXPECT_EQ(p->x, fx);
  EXPECT_EQ(p->y, fy);
  EXPECT_EQ(f.NearestTo(-23.55, -46.63, 30)->name, "São Paulo, BR");
}

TEST(FindNearestPlace, AcceptsOnlyPlacesLessThanTheRadiusAwayInXAndY) {
  const PlaceFile f = PlaceFile::FromBytes(HandMade({{1000, 500, "a"}, {1030, 500, "b"}, {2000, 500, "c"}}));
  // 30 units away in x is outside a radius of 30; 29 is inside.
  EXPECT_FALSE(f.FindNearestPlace(970, 500, 30));
  EXPECT_EQ(f.FindNearestPlace(971, 500, 30)->name, "a");
  EXPECT_FALSE(f.FindNearestPlace(2000, 530, 30));
  EXPECT_EQ(f.FindNearestPlace(2000, 471, 30)->name, "c");
  EXPECT_FALSE(f.FindNearestPlace(1500, 500, 30));
}

TEST(FindNearestPlace, PicksTheNearestInStraightLineDistance) {
  // Both inside the box; "far-x" is nearer in x, "near" nearer in a straight line.
  const PlaceFile f = PlaceFile::FromBytes(
      HandMade({{990, 520, "near"}, {998, 528, "far-x"}, {1010, 480, "other"}, {1200, 500, "out"}}));
  EXPECT_EQ(f.FindNearestPlace(1000, 515, 30)->name, "near");
  // A tie keeps the record met first: the scan starts where the bisection stops.
  const PlaceFile tie = PlaceFile::FromBytes(HandMade({{990, 500, "west"}, {1010, 500, "east"}}));
  EXPECT_EQ(tie.FindNearestPlace(1000, 500, 30)->name, "east");
}

TEST(FindNearestPlace, FindsPlacesAnywhereInALongFile) {
  std::vector<std::tuple<int, int, std::string>> many;
  for (int i = 0; i < 5000; ++i) many.emplace_back(i * 12, (i * 7919) % 32400, "p" + std::to_string(i));
  const PlaceFile f = PlaceFile::FromBytes(HandMade(many));
  for (int i : {0, 1, 2, 1234, 2500, 4998, 4999}) {
    const auto p = f.FindNearestPlace(i * 12 + 1, (i * 7919) % 32400, 30);
    ASSERT_TRUE(p) << i;
    EXPECT_EQ(p->name, "p" + std::to_string(i));
  }
  EXPECT_FALSE(f.FindNearestPlace(64000, 100, 30));
}

TEST(PlaceFile, AMissingOrDamagedFileAnswersNothing) {
  testing::TempDir dir;
  const PlaceFile missing(dir.File("hopsight.loca"));
  EXPECT_FALSE(missing.FindNearestPlace(0, 0, 30));
  EXPECT_FALSE(missing.Available());
  // Created afterwards: still unavailable, the file is not tried again.
  testing::WriteFile(dir.File("hopsight.loca"), HandMade({{0, 0, "x"}}));
  EXPECT_FALSE(missing.FindNearestPlace(0, 0, 30));
  EXPECT_TRUE(PlaceFile(dir.File("hopsight.loca")).FindNearestPlace(0, 0, 30));
  // Records beyond the end, a name without its NUL, an empty file.
  EXPECT_FALSE(PlaceFile::FromBytes(U32(3) + std::string(8, '\0')).Available());
  std::string noNul = HandMade({{5, 5, "abc"}});
  noNul.pop_back();
  EXPECT_FALSE(PlaceFile::FromBytes(noNul).Available());
  EXPECT_FALSE(PlaceFile::FromBytes("").Available());
  const PlaceFile empty = PlaceFile::FromBytes(U32(0));
  EXPECT_TRUE(empty.Available());
  EXPECT_FALSE(empty.FindNearestPlace(0, 0, 30));
}

}  // namespace
}  // namespace hs::geo
