// City level from an operator's MaxMind DB file, in both schemas. The test
// writes its own small databases (Perl's MaxMind::DB::Writer) and checks the
// server's answers.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "server/locd/geodata.h"
#include "server/wire/locwire.h"
#include "tests/server/server_process.h"

using namespace hs::locwire;
using hs::test::RouteEntryText;
using hs::test::ServerProcess;

namespace {

const InstallIdentity kId{1, 2, kProductCode};

// 81.2.69.0/24 London with a 20 km radius, 81.2.70.0/24 a position without city or radius.
const char kNested[] = R"([
 {"network": "81.2.69.0/24", "data": {"location": {"latitude": 51.5142, "longitude": -0.0931, "accuracy_radius": 20},
   "city": {"names": {"en": "London"}}, "country": {"iso_code": "GB"}}},
 {"network": "81.2.70.0/24", "data": {"location": {"latitude": 52.0, "longitude": -1.5}, "country": {"iso_code": "GB"}}},
 {"network": "8.8.4.0/24", "data": {"country": {"iso_code": "US"}}}
])";
// The flattened schema of the ip-location-db packages: no radius.
const char kFlat[] = R"([
 {"network": "81.2.69.0/24", "data": {"latitude": 51.5142, "longitude": -0.0931, "city": "London", "country_code": "GB",
   "state1": "England", "postcode": "EC2V"}},
 {"network": "8.8.4.0/24", "data": {"country_code": "US"}}
])";

// hopsight-locd over the hand-made data directory and a database made from `json`.
std::unique_ptr<ServerProcess> ServeWithDatabase(const hs::test::TempDir& dir, const char* json) {
  hs::test::WriteSmallData(dir.path());
  hs::test::WriteFile(dir / "records.json", json);
  std::string out;
  int rc = hs::test::RunCommand("perl " + hs::test::SourceDir() + "/tests/server/make_mmdb.pl " + (dir / "city.mmdb") +
                                    " < " + (dir / "records.json") + " 2>&1",
                                &out);
  EXPECT_EQ(rc, 0) << out;
  return std::make_unique<ServerProcess>(std::vector<std::string>{"--data", dir.path(), "--mmdb", dir / "city.mmdb"},
                                         dir / "log");
}

std::string RouteOf(const ServerProcess& s, std::vector<std::array<uint8_t, 4>> addrs) {
  RouteRequest req{kId, false, {}};
  for (auto a : addrs) req.hops.push_back({a, 0, 3});
  hs::test::HttpReply r = s.Get("/" + WriteRouteRequest(req));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body.size(), RouteAnswerLength(addrs.size()));
  return r.body.substr(kBannerLength, 10 * addrs.size());
}

}  // namespace

TEST(CityDatabase, NestedSchemaGivesCityPositionWithPrecisionFromAccuracyRadius) {
  hs::test::TempDir dir;
  const auto s = ServeWithDatabase(dir, kNested);
  ASSERT_GT(s->port(), 0);
  // 20 km: 200 - 40 log10(20) = 148 (0x94). No city, no radius: 60. A record
  // without a position falls through to the country ranges (8.0.0.0/8 is US).
  EXPECT_EQ(RouteOf(*s, {{81, 2, 69, 160}, {81, 2, 70, 1}, {8, 8, 4, 4}, {81, 2, 71, 1}}),
            RouteEntryText(51.5142, -0.0931, 148) + RouteEntryText(52.0, -1.5, 60) +
                RouteEntryText(38.89511, -77.03637, 16) + "0000000000");
  EXPECT_EQ(s->Get("/lookup/?ip=81.2.69.1").body, "TVGS0,51.5142,-0.0931");
}

TEST(CityDatabase, FlatSchemaGivesCityPositionWithCityPrecision) {
  hs::test::TempDir dir;
  const auto s = ServeWithDatabase(dir, kFlat);
  ASSERT_GT(s->port(), 0);
  EXPECT_EQ(RouteOf(*s, {{81, 2, 69, 7}, {8, 8, 4, 4}, {10, 0, 0, 1}}),
            RouteEntryText(51.5142, -0.0931, hs::locd::kCityNoRadiusPrecision) +
                RouteEntryText(38.89511, -77.03637, 16) + "0000000000");
}
