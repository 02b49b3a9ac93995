// Route labels from the place-name file: the adapter's answers and their
// 8-bit texts.
#include <gtest/gtest.h>

#include "geo/place_file.h"
#include "map/place_file_namer.h"

namespace hs::map {
namespace {

TEST(PlaceFileNamer, NamesTheNearestPlaceInLatin1) {
  const geo::PlaceFile places = geo::PlaceFile::FromBytes(
      geo::WritePlaceFile({{-23.5475, -46.63611, "São Paulo, BR"}, {51.75, 19.46667, "Łódź, PL"},
                           {35.6895, 139.69171, "東京, JP"}}));
  const PlaceFileNamer namer(places);
  const MapPos sp = ProjectHop(-23.55, -46.63);
  const auto label = namer.NearestPlace(sp.x, sp.y, 30);
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text, "S\xe3o Paulo, BR");
  EXPECT_EQ(label->point, (MapPos{geo::PlaceX(-46.63611), geo::PlaceY(-23.5475)}));
  const MapPos lodz = ProjectHop(51.75, 19.47);
  EXPECT_EQ(namer.NearestPlace(lodz.x, lodz.y, 30)->text, "L\xf3" "dz, PL");
  EXPECT_FALSE(namer.NearestPlace(sp.x + 40, sp.y, 30));
  EXPECT_EQ(LabelFromUtf8("Zürich"), "Z\xfcrich");
  EXPECT_EQ(LabelFromUtf8("Kraków"), "Krak\xf3w");
  EXPECT_EQ(LabelFromUtf8("Ostrava-Přívoz"), "Ostrava-Pr\xedvoz");
  EXPECT_EQ(LabelFromUtf8("東京, JP"), "??, JP");
}

}  // namespace
}  // namespace hs::map
