// Whether a hop's position agrees with its round-trip time.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "geo/plausibility.h"

namespace hs::geo {
namespace {

constexpr GeoLocation kBerlin{LocationSource::Home, 52.52, 13.405, 240};
constexpr GeoLocation kSydney{LocationSource::Server, -33.8688, 151.2093, 160};

TEST(Plausibility, SydneyTwoMillisecondsFromBerlinIsImplausibleAndAtFourHundredPlausible) {
  const PositionVerdict near = JudgePosition(kBerlin, kSydney, 2);
  EXPECT_EQ(near.verdict, Plausibility::Implausible);
  EXPECT_NEAR(near.distanceKm, 16090, 30);  // the great circle, not the map's straight line
  EXPECT_NEAR(near.allowedKm, 300 + 1 + 10, 0.01);  // 3 ms of fibre, 1 km and 10 km margins
  EXPECT_EQ(JudgePosition(kBerlin, kSydney, 400).verdict, Plausibility::Plausible);
  // The same hop from a home in Melbourne is near enough at 12 ms.
  const GeoLocation melbourne{LocationSource::Home, -37.8136, 144.9631, 130};
  EXPECT_EQ(JudgePosition(melbourne, kSydney, 12).verdict, Plausibility::Plausible);
}

TEST(Plausibility, NoTimeNoPositionOrTheBuiltInHomeIsNotJudged) {
  EXPECT_EQ(JudgePosition(kBerlin, kSydney, std::nullopt).because, NotJudgedBecause::NoTime);
  EXPECT_EQ(JudgePosition(kDefaultHomeLocation, kSydney, 2).because, NotJudgedBecause::NoHome);
  EXPECT_EQ(JudgePosition(GeoLocation{}, kSydney, 2).because, NotJudgedBecause::NoHome);
  EXPECT_EQ(JudgePosition(kBerlin, GeoLocation{}, 2).because, NotJudgedBecause::NoPosition);
  for (auto v : {JudgePosition(kBerlin, kSydney, std::nullopt), JudgePosition(kDefaultHomeLocation, kSydney, 2)})
    EXPECT_EQ(v.verdict, Plausibility::NotJudged);
}

TEST(Plausibility, AtTheEdgeTheMarginDecides) {
  // Along the equator a degree is a fixed distance: put the hop exactly
  // where the bound lies, then a kilometre beyond it.
  const double kmPerDegree = kEarthRadiusKm * 3.14159265358979323846 / 180.0;
  const GeoLocation home{LocationSource::User, 0, 0, 200};  // 1 km
  auto hopAt = [&](double km) { return GeoLocation{LocationSource::Database, 0, km / kmPerDegree, 40}; };  // 50 km
  // 9 ms: (9 + 1) x 100 km of fibre, 1 + 50 km of margins.
  EXPECT_EQ(JudgePosition(home, hopAt(1050.5), 9).verdict, Plausibility::Plausible);
  EXPECT_EQ(JudgePosition(home, hopAt(1051.5), 9).verdict, Plausibility::Implausible);
  // A coarser home position (precision 80: 1,000 km) moves the edge out.
  const GeoLocation coarse{LocationSource::Cache, 0, 0, 80};
  EXPECT_EQ(JudgePosition(coarse, hopAt(2049), 9).verdict, Plausibility::Plausible);
  EXPECT_EQ(JudgePosition(coarse, hopAt(2051), 9).verdict, Plausibility::Implausible);
}

TEST(Plausibility, ARouteIsJudgedAgainstItsFirstRowWithTheTimesItShows) {
  auto row = [](GeoLocation where, uint32_t rtt, const char* address, int sent = 1, int dropped = 0) {
    HopRef r = HopRef::Create();
    r->SetLocation(where);
    r->lastRtt = rtt;
    r->address = inet_addr(address);
    r->sentCount = sent;
    r->droppedCount = dropped;
    return r;
  };
  const std::vector<HopRef> rows{row(kBerlin, 0, "198.18.1.1"), row(kSydney, 2, "198.18.1.2"),
                                 row(kSydney, 300, "198.18.1.3"), row(kSydney, 2, "0.0.0.0"),
                                 row(kSydney, 2, "198.18.1.5", 2, 2), row(kSydney, kNoTime, "198.18.1.6")};
  const std::vector<PositionVerdict> v = JudgeRoute(rows);
  ASSERT_EQ(v.size(), rows.size());
  EXPECT_EQ(v[0].because, NotJudgedBecause::IsHome);
  EXPECT_EQ(v[1].verdict, Plausibility::Implausible);
  EXPECT_EQ(v[2].verdict, Plausibility::Plausible);
  // Rows whose "RT (ms)" cell shows no time: no address, every probe dropped, no time.
  for (size_t i : {3, 4, 5}) EXPECT_EQ(v[i].because, NotJudgedBecause::NoTime) << i;
  // Without a home the whole route stays unjudged.
  rows[0]->SetLocation(kDefaultHomeLocation);
  EXPECT_EQ(JudgeRoute(rows)[1].verdict, Plausibility::NotJudged);
}

}  // namespace
}  // namespace hs::geo
