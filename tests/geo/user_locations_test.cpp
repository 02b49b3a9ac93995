// HopLoc.ini: reading, the lookup order, and the normalised file written back
// (under a locale with a decimal comma: comma_locale.cpp). The values read show
// in the normalised text.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "geo/user_locations.h"
#include "tests/config/temp_dir.h"

namespace hs::geo {
namespace {

// Each row: a file and the patterns read from it.
TEST(UserLocationsFile, TakesAsManyEntriesAsTheCountSaysSkippingOtherLines) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      // A line without its second comma is skipped without counting.
      {"COUNT=2\na=1,2,3\nb=1,2\nc=4,5,6\nd=7,8,9\n", {"a", "c"}},
      {"count=1\na=1,2,3\nb=1,2,3\n", {"a"}},
      {"count=1\n[x]\na=1,2,3\n", {"a"}},  // a "[" after the count is just a line that is no entry
      // No usable count: nothing.
      {"[options]\ncount=1\na=1,2,3\n", {}},
      {"a=1,2,3\n", {}},
      {"count=0\na=1,2,3\n", {}},
      {"count=-3\na=1,2,3\n", {}},
      // The tail of a line longer than 1023 characters is read as a line of its own.
      {"count=1\n" + std::string(1023, 'x') + "tail=1,2,3\n", {"tail"}},
  };
  for (const auto& [text, patterns] : cases) {
    std::vector<std::string> got;
    for (const UserLocation& e : ParseUserLocations(text)) got.push_back(e.pattern);
    EXPECT_EQ(got, patterns) << text.substr(0, 60);
  }
}

TEST(UserLocationsFile, WritesTheNormalisedForm) {
  const auto e = ParseUserLocations("count=1\nx=1.234,5.678,9\n");
  EXPECT_EQ(UserLocationsText(e), "count=1\nx=1.23,5.68,9\n");
  std::vector<UserLocation> more = {{"a*", {LocationSource::None, -33.8688, 151.2093, 250}},
                                    {"b", {LocationSource::None, 0.005, -0.004, 0}}};
  EXPECT_EQ(UserLocationsText(more), "count=2\na*=-33.87,151.21,250\nb=0.01,-0.00,0\n");
  // Out-of-range values from a hand-edited file still read back as written.
  const std::string huge = UserLocationsText(ParseUserLocations("count=1\nh=2e72,-1e300,1\n"));
  EXPECT_EQ(UserLocationsText(ParseUserLocations(huge)), huge);
  EXPECT_EQ(huge.substr(0, 10), "count=1\nh=");
  EXPECT_GT(huge.find(','), 80u);  // all 73 digits of the latitude
}

TEST(UserLocations, AddressMatchesComeBeforeNameMatches) {
  UserLocations u;
  u.Assign(ParseUserLocations("count=3\n*.example.net=1,1,10\n10.*=40.71,-74.01,200\n10.1.*=2,2,20\n"));
  const UserLocation* e = u.Find("10.1.2.3", "gw.example.net");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->pattern, "10.*");  // the first address match, whatever the name
  e = u.Find("192.0.2.1", "gw.example.net");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->pattern, "*.example.net");
  EXPECT_EQ(u.Find("192.0.2.1", ""), nullptr);
  EXPECT_EQ(u.Find("192.0.2.1", "gw.example.org"), nullptr);
  // Twice the same pattern: both kept, the first wins.
  u.Assign(ParseUserLocations("count=2\nr1=1,1,1\nr1=2,2,2\n"));
  ASSERT_EQ(u.Entries().size(), 2u);
  EXPECT_DOUBLE_EQ(u.Find("0.0.0.1", "r1")->location.latitude, 1);
}

TEST(UserLocationsFile, IsWrittenBackOnlyWhenItsBytesChange) {
  testing::TempDir dir;
  const std::string path = dir.File("HopLoc.ini");
  UserLocations u;
  // An empty list leaves the file as it was.
  testing::WriteFile(path, "[options]\nhand-written\n");
  LoadUserLocations(dir.path(), u);
  EXPECT_TRUE(u.Entries().empty());
  EXPECT_TRUE(SaveUserLocations(dir.path(), u));
  EXPECT_EQ(testing::ReadFile(path), "[options]\nhand-written\n");
  // A hand-made file is normalised.
  testing::WriteFile(path, "; mine\ncount=1\nx=1.234,5.678,9\n");
  LoadUserLocations(dir.path(), u);
  ASSERT_TRUE(SaveUserLocations(dir.path(), u));
  EXPECT_EQ(testing::ReadFile(path), "count=1\nx=1.23,5.68,9\n");
  // Unchanged bytes: the file is not replaced (its inode stays).
  struct stat s1 {}, s2 {};
  ::stat(path.c_str(), &s1);
  LoadUserLocations(dir.path(), u);
  ASSERT_TRUE(SaveUserLocations(dir.path(), u));
  ::stat(path.c_str(), &s2);
  EXPECT_EQ(s1.st_ino, s2.st_ino);
  // A missing file loads nothing.
  UserLocations none;
  LoadUserLocations(dir.path() + "/absent", none);
  EXPECT_TRUE(none.Entries().empty());
}

}  // namespace
}  // namespace hs::geo
