// LocateHop: the order of the local sources, the source and precision each
// stamps, and the Location cell text.
#include <gtest/gtest.h>

#include "config/caches.h"
#include "geo/hop_locator.h"
#include "geo/location_database.h"
#include "geo/place_file.h"
#include "geo/user_locations.h"
#include "platform/resolver.h"

namespace hs::geo {
namespace {

class LocateHopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DatabaseSpec spec;
    spec.domains.push_back({".", {{"198.18.1.*", {LocationSource::None, -33.875, 151.2, 40}}}});
    spec.domains.push_back({".example.net", {{"*.fra1.*", {LocationSource::None, 50.1, 8.675, 40}}}});
    ASSERT_EQ(LocDBInit(database, WriteLocationDatabase(spec)), 0u);
    user.Assign(ParseUserLocations("count=2\n198.18.1.9=1.5,2.5,222\n*.mine.example.net=3,4,111\n"));
    sources = {&user, &cache, &database};
  }
  static uint32_t Addr(const char* dotted) { return platform::DottedToAddress(dotted); }

  LocationDatabase database;
  UserLocations user;
  config::LocationCache cache;
  LocalSources sources;
};

TEST_F(LocateHopTest, UserLocationsComeFirstThenTheCacheThenTheDatabase) {
  cache.Insert("a.fra1.example.net", {LocationSource::Server, 9, 9, 99}, 1000);
  GeoLocation g;
  ASSERT_TRUE(LocateHop(sources, g, "a.fra1.example.net", Addr("198.18.1.9")));
  EXPECT_EQ(g, (GeoLocation{LocationSource::User, 1.5, 2.5, 222}));
  ASSERT_TRUE(LocateHop(sources, g, "a.fra1.mine.example.net", Addr("203.0.113.5")));
  EXPECT_EQ(g, (GeoLocation{LocationSource::User, 3, 4, 111}));
  ASSERT_TRUE(LocateHop(sources, g, "a.fra1.example.net", Addr("203.0.113.5")));
  EXPECT_EQ(g, (GeoLocation{LocationSource::Cache, 9, 9, 99}));
  ASSERT_TRUE(LocateHop(sources, g, "b.fra1.example.net", Addr("203.0.113.5")));
  EXPECT_EQ(g.source, LocationSource::Database);
  EXPECT_EQ(g.precision, 40);
  EXPECT_NEAR(g.latitude, 50.1, 1.0 / 240);
}

TEST_F(LocateHopTest, AHopWithoutANameIsLookedUpByItsDottedAddress) {
  GeoLocation g;
  ASSERT_TRUE(LocateHop(sources, g, "", Addr("198.18.1.7")));
  EXPECT_EQ(g.source, LocationSource::Database);
  EXPECT_NEAR(g.latitude, -33.875, 1e-9);
  cache.Insert("198.18.1.7", {LocationSource::Server, 7, 7, 77}, 1000);
  ASSERT_TRUE(LocateHop(sources, g, "", Addr("198.18.1.7")));
  EXPECT_EQ(g, (GeoLocation{LocationSource::Cache, 7, 7, 77}));
  // A named hop is not looked up by its address, neither in the cache nor in the database.
  EXPECT_FALSE(LocateHop(sources, g = {}, "unknown.example.org", Addr("198.18.1.7")));
}

TEST_F(LocateHopTest, NothingFoundLeavesTheLocationAsItWas) {
  GeoLocation g{LocationSource::WhoIsAddress, 5, 6, 8};
  EXPECT_FALSE(LocateHop(sources, g, "core1.example.org", Addr("203.0.113.5")));
  EXPECT_EQ(g, (GeoLocation{LocationSource::WhoIsAddress, 5, 6, 8}));
  EXPECT_EQ(cache.Size(), 0u);  // positions found here never go into the cache
  ASSERT_TRUE(LocateHop(sources, g, "x.fra1.example.net", Addr("203.0.113.5")));
  EXPECT_EQ(cache.Size(), 0u);
}

TEST_F(LocateHopTest, RowsAreReadAndWrittenThroughTheirAccessors) {
  HopRef row = HopRef::Create();
  row->address = Addr("203.0.113.5");
  row->SetName("xe-0.cr1.fra1.example.net");
  ASSERT_TRUE(LocateHop(sources, *row));
  EXPECT_EQ(row->Location().source, LocationSource::Database);
  // A row without an address (a silent hop) is left alone, whatever its name.
  HopRef silent = HopRef::Create();
  silent->SetName("xe-0.cr1.fra1.example.net");
  EXPECT_FALSE(LocateHop(sources, *silent));
  EXPECT_FALSE(silent->Location().HasPosition());
}

TEST(LocationText, NamesTheNearestPlaceAndTheSource) {
  const PlaceFile places = PlaceFile::FromBytes(WritePlaceFile({{50.11552, 8.68417, "Frankfurt am Main, DE"}}));
  EXPECT_EQ(LocationText({LocationSource::Database, 50.1, 8.675, 40}, &places), "Frankfurt am Main, DE (Database/40)");
  EXPECT_EQ(LocationText({LocationSource::User, -33.8688, 151.2093, 40}, &places), "-33.87, 151.21 (User/40)");
  EXPECT_EQ(LocationText({LocationSource::Server, 50.1, 8.675, 40}, nullptr), "50.10, 8.68 (Server/40)");
  EXPECT_EQ(LocationText({}, &places), "");
}

}  // namespace
}  // namespace hs::geo
