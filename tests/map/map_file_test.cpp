#include <gtest/gtest.h>

#include <sstream>

#include "map/map_file.h"
#include "test_maps.h"

namespace hs::map {
namespace {

using testing::SquareMap;

bool Read(const std::string& bytes, MapRecord& m) {
  std::istringstream in(bytes);
  return ReadMap(in, m);
}

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xff);
}

// A file built byte by byte: one layer, one polyline of two points, one place named "Ab".
std::string HandMadeFile() {
  std::string s(492, '\0');
  auto u16 = [&](size_t at, uint16_t v) { s[at] = char(v & 0xff); s[at + 1] = char(v >> 8); };
  u16(320, 100); u16(322, 200); u16(324, 300); u16(326, 400);
  Put32(s, 336, 1); Put32(s, 340, 1); Put32(s, 344, 1); Put32(s, 348, 2);
  Put32(s, 352, 1); Put32(s, 356, 2); Put32(s, 360, 0xfffffffe | 1);
  for (int i = 0; i < 8; ++i) { Put32(s, 364 + 4 * size_t(i), 0x100 + uint32_t(i)); Put32(s, 396 + 4 * size_t(i), 0x200 + uint32_t(i)); }
  std::string layer(34, '\0');
  Put32(layer, 0, 1); Put32(layer, 8, 0x00ff00); Put32(layer, 12, 0x0000ff);
  s += layer;
  std::string pl(16, '\0');
  Put32(pl, 0, 0); Put32(pl, 4, 1);
  s += pl;
  std::string place(9, '\0');
  place[0] = 5; place[2] = 6; Put32(place, 4, 1);
  s += place;
  s += std::string("\x0a\x00\x0b\x00\x0c\x00\x0d\x00", 8);
  s += "\x02";
  s += "Ab";
  return s;
}

TEST(MapFileReader, ReadsHandMadeBytesAtTheirOffsets) {
  MapRecord m;
  ASSERT_TRUE(Read(HandMadeFile(), m));
  EXPECT_EQ(m.extent, (Extent{100, 200, 300, 400}));
  EXPECT_TRUE(m.Wraps());
  EXPECT_EQ(m.flags, 1);  // only bit 0 is kept
  EXPECT_EQ(m.coloursHigh[5], 0x105u);
  EXPECT_EQ(m.coloursHigh[6], 0u);  // slots 6 and 7 are not copied
  EXPECT_EQ(m.coloursLow[0], 0x200u);
  ASSERT_EQ(m.layers.size(), 1u);
  EXPECT_TRUE(m.layers[0].Filled());
  ASSERT_EQ(m.points.size(), 2u);
  EXPECT_EQ(m.points[1], (MapPoint{12, 13}));
  ASSERT_EQ(m.places.size(), 1u);
  EXPECT_EQ(m.places[0].nameIndex, 0u);  // 1-based in the file
  EXPECT_EQ(m.Name(0), "Ab");
  EXPECT_EQ(m.maxLastOffset, 1u);
}

TEST(MapFileReader, RejectsEveryTruncation) {
  const std::string bytes = HandMadeFile();
  MapRecord m;
  for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(Read(bytes.substr(0, n), m)) << n;
  EXPECT_TRUE(Read(bytes, m));
}

TEST(MapFileReader, RejectsReferencesOutsideTheTables) {
  std::string bytes = HandMadeFile();
  Put32(bytes, 492 + 34 + 4, 2);  // the polyline claims three points
  MapRecord m;
  EXPECT_FALSE(Read(bytes, m));
  bytes = HandMadeFile();
  Put32(bytes, 492 + 34 + 16 + 4, 2);  // the place names the second of one name
  EXPECT_FALSE(Read(bytes, m));
}

TEST(MapFileReader, NamesKeepTheLengthsOfTheirLengthBytes) {
  MapBuilder b({0, 0, 10, 10}, false);
  b.AddLayer(0, 1, 0, 1);
  b.AddPlace(1, 1, "Paris, FR");
  b.AddPlace(2, 2, "");
  b.AddPlace(3, 3, "Oslo");
  b.AddPlace(4, 4, std::string(300, 'x'));
  MapRecord m;
  ASSERT_TRUE(Read(WriteMap(b.Map()), m));
  EXPECT_EQ(m.Name(0), "Paris, FR");
  EXPECT_EQ(m.Name(1), "");
  EXPECT_EQ(m.Name(2), "Oslo");
  EXPECT_EQ(m.Name(3).size(), 255u);
  EXPECT_EQ(m.nameText, "Paris, FROslo" + std::string(255, 'x'));
}

TEST(MapFileWriter, WritesWhatTheReaderReadsBack) {
  MapRecord original = SquareMap({1000, 2000, 3000, 4000}, false, 3);
  original.layers[1].tail[3] = 7;
  MapRecord m;
  ASSERT_TRUE(Read(WriteMap(original), m));
  EXPECT_EQ(m, original);
  EXPECT_EQ(WriteMap(m), WriteMap(original));
}

TEST(MapBuilderTest, BoxesAreExclusiveOfTheirRightAndBottomEdges) {
  MapBuilder b({0, 0, 100, 100}, false);
  b.AddLayer(0, 1, 0, 1);
  b.AddPolyline({{5, 9}, {20, 3}});
  b.AddPolyline({{5, 9}});  // one point draws nothing and is dropped
  ASSERT_EQ(b.Map().polylines.size(), 1u);
  EXPECT_EQ(b.Map().polylines[0].box, (Extent{5, 3, 21, 10}));
  EXPECT_EQ(b.Map().layers[0].polylineCount, 1u);
}

}  // namespace
}  // namespace hs::map
