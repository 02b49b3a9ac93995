// The data directory built from the real npm packages, checked against facts
// that do not come from it.
#include <gtest/gtest.h>

#include "server/locd/geodata.h"
#include "tests/server/test_support.h"

using namespace hs::locd;
using namespace hs::locwire;

namespace {

class RealData : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    data_ = GeoData::Load(hs::test::BuildDir() + "/share/hopsight-locd", &error).release();
    ASSERT_TRUE(data_) << error;
  }
  static void TearDownTestSuite() { delete data_; }
  static PlaceAnswer Ask(const char* country, const char* city = nullptr, const char* zip = nullptr) {
    PlaceQuery q;
    q.country = country;
    if (city) q.city = city;
    if (zip) q.zip = zip;
    return data_->Lookup(q);
  }
  static inline GeoData* data_ = nullptr;
};

}  // namespace

TEST_F(RealData, CountryListFitsTheClientsBufferAndCoversTheWorld) {
  std::string list = WriteCountryList(data_->CountryListFor("US"));
  EXPECT_LT(list.size(), kCountryListCapacity);
  EXPECT_GT(data_->CountryCount(), 230u);
  EXPECT_NE(list.find("^United States|US|2^"), std::string::npos);
  EXPECT_NE(list.find("^Germany|DE|1^"), std::string::npos);
  EXPECT_NE(list.find("^Canada|CA|5^"), std::string::npos);
  for (unsigned char c : list) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "8-bit names reach the client";
}

TEST_F(RealData, CapitalsAndWellKnownPlacesArePlaced) {
  auto near = [](const PlaceAnswer& a, double lat, double lon) {
    return a.status == 0 && std::abs(a.latitude - lat) < 0.2 && std::abs(a.longitude - lon) < 0.2;
  };
  EXPECT_TRUE(near(Ask("FR"), 48.86, 2.35));
  EXPECT_TRUE(near(Ask("AU"), -35.28, 149.13));
  EXPECT_TRUE(near(Ask("JP", "Osaka"), 34.69, 135.50));
  EXPECT_TRUE(near(Ask("CH", "Zurich"), 47.37, 8.55));
  EXPECT_TRUE(near(Ask("US", nullptr, "10001"), 40.75, -74.0));
  EXPECT_TRUE(near(Ask("US", nullptr, "90210"), 34.09, -118.41));
}

TEST_F(RealData, RegistryRangesGiveTheCountryOfWellKnownBlocks) {
  // 1.0.0.0/24 is APNIC's Australian research block; 193.0.0.0/21 is the RIPE NCC's own network (NL).
  EXPECT_EQ(data_->Locate(0x01000001)->country, "AU");
  EXPECT_EQ(data_->Locate(0xc1000001)->country, "NL");
  EXPECT_FALSE(data_->Locate(0x0a000001));
}
