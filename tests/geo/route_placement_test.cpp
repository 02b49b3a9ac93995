// Placing a whole route: the request bytes, the acceptance
// rules and where accepted positions go, the out-flag, and a route longer
// than 45 hops placed by the companion server (hopsight-trace against it: the
// lab's lab_plausible test).
#include "geo/route_placement.h"

#include <gtest/gtest.h>

#include "platform/resolver.h"
#include "tests/geo/companion.h"
#include "tests/platform/scripted_http_server.h"

namespace hs::geo {
namespace {

using hs::test::ScriptedHttpServer;

const locwire::InstallIdentity kId{1733400000, 0x00c0ffee, locwire::kProductCode};

HopRef Row(const std::string& dotted, int32_t precision = 0, uint32_t rtt = 12, const std::string& name = "") {
  HopRef r = HopRef::Create();
  r->address = platform::DottedToAddress(dotted);
  r->lastRtt = rtt;
  r->SetName(name);
  GeoLocation location;
  location.precision = precision;
  r->SetLocation(location);
  return r;
}

const std::string kBanner = "Copyright (c) test" + std::string(110, ' ');

// A hand-made answer from ten-character entries.
std::string Answer(const std::vector<std::string>& entries) {
  std::string a = kBanner;
  for (const auto& e : entries) a += e;
  return a + "fdb6\r\n";
}

const auto Entry = hs::test::RouteEntryText;

TEST(RouteRequest, EveryHopBecomesSixteenHexCharactersUpToTheFirstEmptySlot) {
  std::vector<HopRef> rows = {Row("192.168.1.1", 240, 0), Row("10.0.0.1", 0, 12), Row("0.0.0.0", 0, kNoTime),
                              HopRef(), Row("8.8.8.8")};
  EXPECT_EQ(BuildRouteRequest(kId, rows), "loc/?" + locwire::WriteIdentity(kId, locwire::kRequestMasks) +
                                               "&Z"
                                               "c0a80101f0000000"
                                               "0a0000010000000c"
                                               "000000000098967f");
  EXPECT_EQ(RouteHopCount(rows), 3u);
  std::vector<HopRef> many;
  for (int i = 0; i < 64; ++i) many.push_back(Row("198.18.0." + std::to_string(i + 1)));
  EXPECT_EQ(RouteHopCount(many), 63u) << "a 64th row is only ever the synthetic end row";
}

struct Placed {
  std::vector<HopRef> rows;
  config::LocationCache cache;
  std::vector<GeoLocation> homes;
  bool outFlag = false;
};

void Apply(Placed& p, const std::string& answer) {
  p.outFlag = ApplyRouteAnswer(answer, p.rows,
                               {&p.cache, 1800000000, [&](const GeoLocation& g) { p.homes.push_back(g); }});
}

TEST(RouteAnswer, AcceptedEntriesReplaceTheHopAndGoToTheCacheOrHome) {
  Placed p;
  p.rows = {Row("192.168.1.1"), Row("198.18.1.2", 0, 5, "r1.lab.test"), Row("198.18.2.2"),
            Row("198.18.3.2"), Row("198.18.4.2"), Row("198.18.5.2"), Row("198.18.6.2")};
  p.rows[5]->SetLocation({LocationSource::Database, 10, 20, 40});
  Apply(p, Answer({Entry(48.8566, 2.3522, 200), Entry(51.5, -0.12, 150), Entry(85, 10, 9),
                   "0000000000",  // longitude -180, latitude 90
                   Entry(85.01, 10, 9),  // a code above 85
                   "00g0000000",  // not hex: no position
                   Entry(-33.9, 151.2, 77)}));
  const GeoLocation home = p.rows[0]->Location();
  EXPECT_EQ(home.source, LocationSource::Server);
  EXPECT_NEAR(home.latitude, 48.8566, 0.006);
  EXPECT_EQ(home.precision, 200);
  ASSERT_EQ(p.homes.size(), 1u);
  EXPECT_EQ(p.homes[0], home) << "row 0 replaces the home location";
  EXPECT_FALSE(p.cache.Find("192.168.1.1")) << "and is not cached";

  EXPECT_EQ(p.rows[1]->Location().source, LocationSource::Server);
  ASSERT_TRUE(p.cache.Find("r1.lab.test")) << "cached under the name";
  EXPECT_EQ(p.cache.Find("r1.lab.test")->precision, 150);
  EXPECT_EQ(p.rows[2]->Location().latitude, 85) << "85 degrees is accepted";
  EXPECT_TRUE(p.cache.Find("198.18.2.2")) << "no name: cached under the dotted address";
  EXPECT_EQ(p.rows[3]->Location(), (GeoLocation{LocationSource::None, 0, 0, 0})) << "ten zeros are rejected";
  EXPECT_EQ(p.rows[4]->Location().source, LocationSource::None) << "beyond 85 degrees";
  EXPECT_EQ(p.rows[5]->Location(), (GeoLocation{LocationSource::Database, 10, 20, 40})) << "a letter past f";
  EXPECT_NEAR(p.rows[6]->Location().longitude, 151.2, 0.006);
  EXPECT_EQ(p.cache.Size(), 3u);
  EXPECT_FALSE(p.outFlag);
}

TEST(RouteAnswer, TheOutFlagWantsThreeOrMoreHopsEndingAtLatitudeCodeZeroAndACoarseDestination) {
  const std::string codeZero = "1234000010";  // latitude code 0: latitude exactly 90
  struct Case {
    const char* what;
    std::vector<int32_t> precisions;  // one per hop; the last is the destination's
    std::vector<std::string> entries;
    bool flag;
  } cases[] = {
      {"three hops, all code 0, precision 0", {0, 0, 0}, {codeZero, codeZero, codeZero}, true},
      {"two hops never", {0, 0}, {codeZero, codeZero}, false},
      {"destination precision 7", {0, 0, 0, 7}, {Entry(1, 2, 3), codeZero, codeZero, codeZero}, true},
      {"destination precision 8", {0, 0, 8}, {codeZero, codeZero, codeZero}, false},
      {"one of the last three placed", {0, 0, 0, 0}, {codeZero, codeZero, Entry(1, 2, 3), codeZero}, false},
      {"a non-hex entry is latitude 0, not code 0", {0, 0, 0}, {codeZero, "12340000x0", codeZero}, false},
  };
  for (const Case& c : cases) {
    Placed p;
    for (size_t i = 0; i < c.precisions.size(); ++i)
      p.rows.push_back(Row("198.18.0." + std::to_string(i + 1), c.precisions[i]));
    Apply(p, Answer(c.entries));
    EXPECT_EQ(p.outFlag, c.flag) << c.what;
  }
}

// ------------------------------------------------ against real servers

TEST(RoutePlacer, RoutesOfFortySixHopsAndMoreAreSentWhole) {
  hs::test::Companion companion("198.19.0.0/16 -33.8688 151.2093 120\n");
  if (!companion.Started()) GTEST_SKIP() << companion.Why();
  LocationServerTable servers;
  servers.Assign({0, {{true, companion.Host(), 1}}});
  config::LocationCache cache;
  RoutePlacer placer({&servers, &cache, kId, {}, [] { return int64_t{1800000000}; }});
  std::vector<HopRef> rows;
  for (int i = 0; i < 64; ++i) rows.push_back(Row("198.19.0." + std::to_string(i + 1)));
  RoutePlacement r = placer.LocateRoute(rows);
  EXPECT_TRUE(r.answered);
  for (int i = 0; i < 63; ++i) {
    EXPECT_EQ(rows[i]->Location().source, LocationSource::Server) << i;
    EXPECT_NEAR(rows[i]->Location().latitude, -33.8688, 0.006) << i;
  }
  EXPECT_EQ(rows[63]->Location().source, LocationSource::None) << "the 64th row is not sent";
  EXPECT_EQ(cache.Size(), 62u) << "every placed row but the first";
}

TEST(RoutePlacer, AStoppedTraceOrNoAnsweringServerPlacesNothing) {
  ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::Ok(Answer({Entry(1, 2, 3)})); });
  LocationServerTable servers;
  config::LocationCache cache;
  std::vector<GeoLocation> homes;
  RoutePlacer placer({&servers, &cache, kId, [&](const GeoLocation& g) { homes.push_back(g); }, {}});
  std::vector<HopRef> rows = {Row("198.18.1.1")};

  servers.Assign({0, {{true, server.host(), 1}}});
  RoutePlacement stopped = placer.LocateRoute(rows, [] { return false; });
  EXPECT_FALSE(stopped.answered);
  EXPECT_EQ(server.RequestCount(), 0u);

  servers.Assign({0, {{true, "loc2.hopsight.invalid", 1}, {true, "loc3.hopsight.invalid", 2}}});
  RoutePlacement none = placer.LocateRoute(rows);
  EXPECT_FALSE(none.answered);
  EXPECT_FALSE(none.destinationNeedsAddress);
  EXPECT_FALSE(placer.LocateRoute({}).answered) << "nothing is sent for an empty route";

  EXPECT_EQ(rows[0]->Location().source, LocationSource::None);
  EXPECT_TRUE(homes.empty());
  EXPECT_EQ(cache.Size(), 0u);

  // The same route, wanted and answered, is placed.
  servers.Assign({0, {{true, server.host(), 1}}});
  EXPECT_TRUE(placer.LocateRoute(rows).answered);
  EXPECT_EQ(homes.size(), 1u);
}

}  // namespace
}  // namespace hs::geo
