// Placing addresses and looking up places over a small hand-made data directory.
#include <gtest/gtest.h>

#include <numeric>

#include "server/locd/geodata.h"
#include "tests/server/test_support.h"

using namespace hs::locd;
using namespace hs::locwire;
using hs::test::SmallData;
using hs::test::WriteFile;

namespace {

uint32_t Addr(const char* dotted) { return AddressValue(*ParseDotted(dotted)); }

const double kWhiteRiver[2] = {(43.6442 + 43.6542) / 2, (-72.3833 + -72.3633) / 2};

class GeoDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hs::test::WriteSmallData(dir_.path());
    std::string error;
    data_ = GeoData::Load(dir_.path(), &error);
    ASSERT_TRUE(data_) << error;
  }
  hs::test::TempDir dir_;
  std::unique_ptr<GeoData> data_;
};

}  // namespace

TEST_F(GeoDataTest, CountryRangesPlaceAtTheCapitalWithCountryPrecision) {
  auto p = data_->Locate(Addr("8.8.8.8"));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->level, Placement::Country);
  EXPECT_EQ(p->country, "US");
  EXPECT_EQ(p->precision, kCountryPrecision);
  EXPECT_DOUBLE_EQ(p->latitude, SmallData::kWashington[0]);
  EXPECT_EQ(data_->Locate(Addr("5.0.255.255"))->country, "DE") << "last address of a range";
  EXPECT_FALSE(data_->Locate(Addr("5.1.0.0"))) << "first address after a range";
  EXPECT_FALSE(data_->Locate(Addr("7.255.255.255"))) << "address before every range";
  EXPECT_FALSE(data_->Locate(Addr("200.1.1.1")));
}

TEST_F(GeoDataTest, PrivateLoopbackAndTestAddressesHaveNoPlace) {
  for (const char* a : {"10.1.2.3", "172.16.0.1", "192.168.1.1", "127.0.0.1", "100.64.0.1", "169.254.1.1",
                        "192.0.2.10", "198.18.0.1", "198.19.255.255", "198.51.100.7", "203.0.113.9", "224.0.0.1",
                        "255.255.255.255", "0.0.0.0"})
    EXPECT_TRUE(IsSpecialAddress(Addr(a))) << a;
  for (const char* a : {"8.8.8.8", "172.32.0.1", "198.20.0.1", "192.0.3.1", "100.128.0.1"})
    EXPECT_FALSE(IsSpecialAddress(Addr(a))) << a;
  WriteFile(dir_ / "ranges.tsv", "167772160\t184549375\tUS\n");  // 10.0.0.0/8, as if a source listed it
  auto withPrivate = GeoData::Load(dir_.path(), nullptr);
  ASSERT_TRUE(withPrivate);
  EXPECT_FALSE(withPrivate->Locate(Addr("10.1.2.3")));
}

TEST_F(GeoDataTest, RouteEntryIsAllZeroWhenUnknownOrWhenTheClientKnowsBetter) {
  EXPECT_EQ(data_->RouteEntryFor({{10, 0, 0, 1}, 0, 5}), RouteEntry::Unknown());
  RouteEntry us = data_->RouteEntryFor({{8, 8, 8, 8}, 0, 5});
  EXPECT_EQ(us, RouteEntry::FromPosition(SmallData::kWashington[0], SmallData::kWashington[1], kCountryPrecision));
  EXPECT_EQ(data_->RouteEntryFor({{8, 8, 8, 8}, kCountryPrecision, 5}), us) << "equal precision: ours is fresher";
  EXPECT_EQ(data_->RouteEntryFor({{8, 8, 8, 8}, 40, 5}), RouteEntry::Unknown()) << "client's database is finer";
}

TEST_F(GeoDataTest, RouteEntryNeverLandsOnTheZeroCoordinatesClientsReject) {
  RouteEntry e = data_->RouteEntryFor({{41, 0, 0, 1}, 0, 5});
  EXPECT_NE(e.Latitude(), 0.0);
  EXPECT_NEAR(e.Latitude(), 0.0, 1.0 / 90);
  EXPECT_NEAR(e.Longitude(), 8.78166, 1.0 / 180);
}

// Each row: the query's fields (country, city, state, zip, ip, domain, url;
// nullptr when absent) and the answer's status and position.
TEST_F(GeoDataTest, PlaceLookupsFollowTheirRules) {
  using P = const char*;
  const struct {
    P country, city, state, zip, ip, domain, url;
    int status;
    const double* at;  // nullptr: no position
  } cases[] = {
      // A country alone, by code or name in any case, gives its default place.
      {"DE", 0, 0, 0, 0, 0, 0, kPlaceFound, SmallData::kBerlin},
      {"de", 0, 0, 0, 0, 0, 0, kPlaceFound, SmallData::kBerlin},
      {"Germany", 0, 0, 0, 0, 0, 0, kPlaceFound, SmallData::kBerlin},
      {"UNITED STATES", 0, 0, 0, 0, 0, 0, kPlaceFound, SmallData::kWashington},
      {"USA", 0, 0, 0, 0, 0, 0, kPlaceFound, SmallData::kWashington},
      // An unknown country is status 1 without a position.
      {"XX", 0, 0, 0, 0, 0, 0, kPlaceBadCountry, nullptr},
      {"Deutschl\xe4nd", 0, 0, 0, 0, 0, 0, kPlaceBadCountry, nullptr},
      {0, 0, 0, 0, 0, 0, 0, kPlaceBadCountry, nullptr},
      // US postcodes give their centroid; unknown ones, and other countries', the default.
      {"US", 0, 0, "10001", 0, 0, 0, kPlaceFound, SmallData::kZip10001},
      {"US", 0, 0, "10001-1234", 0, 0, 0, kPlaceFound, SmallData::kZip10001},
      {"US", 0, 0, "99999", 0, 0, 0, kPlaceNoPostcode, SmallData::kWashington},
      {"DE", 0, 0, "10001", 0, 0, 0, kPlaceNoPostcode, SmallData::kBerlin},
      // Cities match without case or punctuation; the largest namesake wins.
      {"DE", "  MUNICH ", 0, 0, 0, 0, 0, kPlaceFound, SmallData::kMunich},
      {"US", "Paris", 0, 0, 0, 0, 0, kPlaceFound, SmallData::kParisTexas},
      // The state narrows the city, by code or by name.
      {"US", "paris", "TN", 0, 0, 0, 0, kPlaceFound, SmallData::kParisTennessee},
      {"US", "paris", "Tennessee", 0, 0, 0, 0, kPlaceFound, SmallData::kParisTennessee},
      {"CA", "London", "Ontario", 0, 0, 0, 0, kPlaceFound, SmallData::kLondonOntario},
      // A missing city falls back to its state's largest city, or the country's default.
      {"US", "Springfield", "TN", 0, 0, 0, 0, kPlaceNoCity, SmallData::kNashville},
      {"US", "Springfield", 0, 0, 0, 0, 0, kPlaceNoCity, SmallData::kWashington},
      {"US", "M\xfcnchen", 0, 0, 0, 0, 0, kPlaceNoCity, SmallData::kWashington},  // 8-bit text matches nothing
      // An unknown state is status 4; a state alone gives its largest city.
      {"CA", 0, "Atlantis", 0, 0, 0, 0, kPlaceNoState, SmallData::kOttawa},
      {"CA", 0, "ontario", 0, 0, 0, 0, kPlaceFound, SmallData::kOttawa},
      {"US", 0, "TN", 0, 0, 0, 0, kPlaceFound, SmallData::kNashville},
      // Small US towns are placed from their postcodes.
      {"US", "White River Junction", "VT", 0, 0, 0, 0, kPlaceFound, kWhiteRiver},
      // Without a country the address, the domain or the web address decides.
      {0, 0, 0, 0, "8.1.2.3", 0, 0, kPlaceFound, SmallData::kWashington},
      {0, 0, 0, 0, "10.0.0.1", "example.de", 0, kPlaceFound, SmallData::kBerlin},
      {0, 0, 0, 0, "10.0.0.1", "example.com", "http://www.example.ca/path", kPlaceFound, SmallData::kOttawa},
      {0, 0, 0, 0, "10.0.0.1", "example.com", "5.0.0.9", kPlaceFound, SmallData::kBerlin},
      {0, 0, 0, 0, "10.0.0.1", "example.com", "", kPlaceBadCountry, nullptr},
      {"Narnia", 0, 0, 0, "5.0.0.1", 0, 0, kPlaceFound, SmallData::kBerlin},  // an unparsable WhoIs country
  };
  for (const auto& c : cases) {
    PlaceQuery q;
    auto set = [](std::optional<std::string>& field, P value) {
      if (value) field = value;
    };
    set(q.country, c.country), set(q.city, c.city), set(q.state, c.state), set(q.zip, c.zip);
    set(q.ip, c.ip), set(q.domain, c.domain), set(q.url, c.url);
    const PlaceAnswer a = data_->Lookup(q);
    SCOPED_TRACE(WritePlaceQuery(q) + " -> " + WritePlaceAnswer(a));
    EXPECT_EQ(a.status, c.status);
    if (c.at) {
      EXPECT_NEAR(a.latitude, c.at[0], 1e-9);
      EXPECT_NEAR(a.longitude, c.at[1], 1e-9);
    } else {
      EXPECT_EQ(a.latitude, 0);
      EXPECT_EQ(a.longitude, 0);
    }
  }
}

TEST(GeoDataLoading, RejectsMissingOrBrokenFilesWithTheirLine) {
  hs::test::TempDir dir;
  std::string error;
  EXPECT_FALSE(GeoData::Load(dir.path(), &error));
  EXPECT_NE(error.find("countries.tsv"), std::string::npos);
  hs::test::WriteSmallData(dir.path());
  hs::test::WriteFile(dir / "cities.tsv", "DE\t16\tberlin\t52.5\t13.4\t100\nDE\t16\tbroken\t95\t13.4\t1\n");
  EXPECT_FALSE(GeoData::Load(dir.path(), &error));
  EXPECT_NE(error.find("cities.tsv: line 2"), std::string::npos) << error;
  hs::test::WriteSmallData(dir.path());
  hs::test::WriteFile(dir / "ranges.tsv", "100\t200\tUS\n150\t300\tDE\n");
  EXPECT_FALSE(GeoData::Load(dir.path(), &error));
  EXPECT_NE(error.find("overlapping"), std::string::npos);
  hs::test::WriteSmallData(dir.path());
  hs::test::WriteFile(dir / "countries.tsv", "US\tUnited|States\t2\t1\t1\n");
  EXPECT_FALSE(GeoData::Load(dir.path(), &error)) << "a name that would break the country list";
}

TEST(OverrideFile, WriterAndReaderAgreeAndBadLinesAreNamed) {
  OverrideTable t;
  t.Add({0xc6120000, 0xc61200ff, 48.5, -3.25, 180});
  t.Add({0xc6120107, 0xc6120107, -33.875, 151.25, 255});
  std::string text = WriteOverrides(t);
  std::string error;
  auto back = ReadOverrides(text, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->entries(), t.entries());
  auto cidr = ReadOverrides("# lab\n\n198.18.0.0/15 1 2 3\n", &error);
  ASSERT_TRUE(cidr);
  EXPECT_EQ(cidr->entries()[0].first, 0xc6120000u);
  EXPECT_EQ(cidr->entries()[0].last, 0xc613ffffu);
  for (const char* bad : {"1.2.3.4 1 2", "1.2.3.4/33 1 2 3", "1.2.3.4 91 0 1", "1.2.3.4 0 181 1",
                          "1.2.3.4 0 0 256", "1.2.3.9-1.2.3.4 0 0 1", "1.2.3 0 0 1", "1.2.3.4 0 0 1 extra"}) {
    EXPECT_FALSE(ReadOverrides(std::string("# ok\n") + bad, &error)) << bad;
    EXPECT_EQ(error.substr(0, 7), "line 2:") << bad;
  }
}

TEST(OverrideFile, IndexedLookupGivesTheNarrowestRangeAsAScanDoes) {
  auto table = ReadOverrides(
      "10.0.0.0/8 1 1 1\n10.1.0.0/16 2 2 2\n10.1.2.3 3 3 3\n10.1.0.0-10.1.255.255 4 4 4\n"
      "255.255.255.0/24 5 5 5\n0.0.0.0/0 6 6 6\n",
      nullptr);
  ASSERT_TRUE(table);
  auto latitudeAt = [&](const char* dotted) {
    const OverrideEntry* e = table->Find(AddressValue(*hs::locwire::ParseDotted(dotted)));
    return e ? e->latitude : -1;
  };
  EXPECT_EQ(latitudeAt("10.1.2.3"), 3);
  EXPECT_EQ(latitudeAt("10.1.2.4"), 2) << "of two ranges as wide, the earlier";
  EXPECT_EQ(latitudeAt("10.2.0.0"), 1);
  EXPECT_EQ(latitudeAt("11.0.0.0"), 6);
  EXPECT_EQ(latitudeAt("255.255.255.255"), 5);
  EXPECT_EQ(latitudeAt("0.0.0.0"), 6);

  // Many overlapping ranges in a small space: the index agrees with a scan everywhere.
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245 + 12345, seed >> 8; };
  OverrideTable indexed, scanned;
  for (int i = 0; i < 400; ++i) {
    uint32_t first = next() % 5000, last = first + next() % (i % 7 == 0 ? 3000 : 40);
    if (i % 50 == 0) last = 0xffffffff;
    OverrideEntry e{first, last, double(i % 90), 0, uint8_t(i)};
    indexed.Add(e);
    scanned.Add(e);
  }
  indexed.Index();
  std::vector<uint32_t> probes(9000);
  std::iota(probes.begin(), probes.end(), 0u);
  probes.insert(probes.end(), {0x7fffffffu, 0xfffffffeu, 0xffffffffu});
  for (uint32_t a : probes) {
    const OverrideEntry* x = indexed.Find(a);
    const OverrideEntry* y = scanned.Find(a);
    ASSERT_EQ(x ? x - indexed.entries().data() : -1, y ? y - scanned.entries().data() : -1) << a;
  }
}

TEST(PrecisionScale, AccuracyRadiusMapsDownwardAndStaysAboveCountryLevel) {
  EXPECT_EQ(PrecisionForRadius(1), 200);
  EXPECT_EQ(PrecisionForRadius(100), 120);
  EXPECT_EQ(PrecisionForRadius(20000), 60);
  EXPECT_EQ(PrecisionForRadius(0), 200);
}

TEST(PlaceKeys, FoldCaseBlanksAndPunctuationButNotEightBitText) {
  EXPECT_EQ(PlaceKey("  Saint-Jean-sur-Richelieu "), "saint jean sur richelieu");
  EXPECT_EQ(PlaceKey("St. John's"), "st johns");
  EXPECT_EQ(PlaceKey("NEW   YORK"), "new york");
  EXPECT_EQ(PlaceKey("Z\xc3\xbcrich"), "");
  EXPECT_EQ(PlaceKey("a\tb\x01"), "");
}
