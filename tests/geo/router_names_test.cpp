// The shipped HopSight.gdp against router names of the big networks, written
// by hand from names seen in public traceroutes: each must land within 50 km
// of its city, or get no position at all. Prints the hit rate and every miss
// and false match.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "geo/location_database.h"
#include "geodb_source.h"
#include "platform/files.h"

namespace hs::geo {
namespace {

struct Case {
  const char* network;
  const char* continent;
  const char* name;
  double latitude, longitude;  // the city; NaN = must get no position
};

constexpr double kNone = __builtin_nan("");

// City centres.
#define FRANKFURT 50.11, 8.68
#define AMSTERDAM 52.37, 4.89
#define LONDON 51.51, -0.13
#define PARIS 48.86, 2.35
#define STOCKHOLM 59.33, 18.07
#define COPENHAGEN 55.68, 12.57
#define MILAN 45.46, 9.19
#define MADRID 40.42, -3.70
#define BERLIN 52.52, 13.40
#define HAMBURG 53.55, 10.00
#define ZURICH 47.37, 8.55
#define NEWYORK 40.71, -74.01
#define ASHBURN 39.04, -77.49
#define WASHINGTON 38.90, -77.04
#define ATLANTA 33.75, -84.39
#define CHICAGO 41.88, -87.63
#define DENVER 39.74, -104.99
#define SANJOSE 37.34, -121.89
#define LOSANGELES 34.05, -118.24
#define SEATTLE 47.61, -122.33
#define MIAMI 25.77, -80.19
#define BOSTON 42.36, -71.06
#define SUNNYVALE 37.37, -122.04
#define FREMONT 37.55, -121.99
#define DALLAS 32.78, -96.80
#define TOKYO 35.69, 139.69
#define OSAKA 34.69, 135.50
#define HONGKONG 22.28, 114.17
#define SINGAPORE 1.29, 103.85
#define MUMBAI 19.08, 72.88
#define SYDNEY -33.87, 151.21
#define MELBOURNE -37.81, 144.96
#define BRISBANE -27.47, 153.03
#define PERTH -31.95, 115.86
#define JOHANNESBURG -26.20, 28.04
#define NAIROBI -1.29, 36.82
#define SAOPAULO -23.55, -46.63
#define MOSCOW 55.75, 37.62
#define NONE kNone, kNone

const Case kCases[] = {
    {"Hurricane Electric", "EU", "100ge14-1.core1.fra1.he.net", FRANKFURT},
    {"Hurricane Electric", "EU", "port-channel1.core2.ams1.he.net", AMSTERDAM},
    {"Hurricane Electric", "EU", "100ge9-2.core1.lon2.he.net", LONDON},
    {"Hurricane Electric", "EU", "port-channel2.core3.par2.he.net", PARIS},
    {"Hurricane Electric", "NA", "10ge1-4.core1.lax1.he.net", LOSANGELES},
    {"Hurricane Electric", "NA", "100ge0-33.core2.nyc4.he.net", NEWYORK},
    {"Hurricane Electric", "NA", "e0-34.core2.ash1.he.net", ASHBURN},
    {"Hurricane Electric", "NA", "100ge7-1.core1.fmt2.he.net", FREMONT},
    {"Hurricane Electric", "AF", "100ge0-72.core1.jnb1.he.net", JOHANNESBURG},
    {"Hurricane Electric", "AF", "port-channel4.core1.nbo1.he.net", NAIROBI},
    {"Hurricane Electric", "AS", "port-channel8.core3.hkg1.he.net", HONGKONG},
    {"Hurricane Electric", "AS", "100ge4-1.core1.sin1.he.net", SINGAPORE},
    {"Hurricane Electric", "OC", "100ge0-36.core2.syd1.he.net", SYDNEY},
    {"Hurricane Electric", "SA", "10ge2-1.core1.sao1.he.net", SAOPAULO},
    {"Cogent", "EU", "be2813.ccr41.ams03.atlas.cogentco.com", AMSTERDAM},
    {"Cogent", "EU", "be2869.ccr22.lon13.atlas.cogentco.com", LONDON},
    {"Cogent", "EU", "be3187.ccr31.fra03.atlas.cogentco.com", FRANKFURT},
    {"Cogent", "EU", "be3672.ccr51.mad05.atlas.cogentco.com", MADRID},
    {"Cogent", "NA", "be2490.ccr42.jfk02.atlas.cogentco.com", NEWYORK},
    {"Cogent", "NA", "be3083.ccr41.dca01.atlas.cogentco.com", WASHINGTON},
    {"Cogent", "NA", "be2112.ccr41.atl01.atlas.cogentco.com", ATLANTA},
    {"Cogent", "NA", "be3036.ccr22.den01.atlas.cogentco.com", DENVER},
    {"Cogent", "NA", "be2063.ccr21.sjc01.atlas.cogentco.com", SANJOSE},
    {"Cogent", "AS", "be2217.ccr21.hkg02.atlas.cogentco.com", HONGKONG},
    {"Arelion", "EU", "ffm-bb2-link.ip.twelve99.net", FRANKFURT},
    {"Arelion", "EU", "ldn-bb1-link.ip.twelve99.net", LONDON},
    {"Arelion", "EU", "adm-b1-link.ip.twelve99.net", AMSTERDAM},
    {"Arelion", "EU", "s-bb4-link.ip.twelve99.net", STOCKHOLM},
    {"Arelion", "EU", "kbn-bb4-link.telia.net", COPENHAGEN},
    {"Arelion", "NA", "nyk-bb1-link.ip.twelve99.net", NEWYORK},
    {"Arelion", "NA", "sjo-b23-link.ip.twelve99.net", SANJOSE},
    {"Arelion", "AS", "hnk-b3-link.ip.twelve99.net", HONGKONG},
    {"Lumen", "EU", "ae-1-51.edge3.Frankfurt1.Level3.net", FRANKFURT},
    {"Lumen", "EU", "lag-4.ear3.London2.Level3.net", LONDON},
    {"Lumen", "NA", "ae-1-3502.ear1.NewYork1.Level3.net", NEWYORK},
    {"Lumen", "NA", "ae-11-11.car1.Atlanta1.Level3.net", ATLANTA},
    {"Lumen", "NA", "ae-2-52.edge2.SanJose3.Level3.net", SANJOSE},
    {"Lumen", "NA", "ae-1-60.edge1.Seattle3.Level3.net", SEATTLE},
    {"Lumen", "NA", "ae-2-3602.ear2.chicago2.level3.net", CHICAGO},  // as a case-folding resolver gives it
    {"GTT", "EU", "ae5.cr4-fra2.ip4.gtt.net", FRANKFURT},
    {"GTT", "EU", "ae11.cr0-lon1.ip4.gtt.net", LONDON},
    {"GTT", "NA", "et-1-1-0.cr2-nyc3.ip4.gtt.net", NEWYORK},
    {"GTT", "NA", "ae0.cr1-sea1.ip4.gtt.net", SEATTLE},
    {"Zayo", "EU", "ae27.cs1.fra9.de.eth.zayo.com", FRANKFURT},
    {"Zayo", "EU", "ae5.mpr1.lhr15.uk.zip.zayo.com", LONDON},
    {"Zayo", "NA", "ae10.cr1.ord2.us.zip.zayo.com", CHICAGO},
    {"Zayo", "NA", "ae3.cs3.iad93.us.eth.zayo.com", ASHBURN},
    {"Tata", "EU", "if-ae-2-2.tcore1.fr0-frankfurt.as6453.net", FRANKFURT},
    {"Tata", "EU", "if-ae-5-2.tcore2.l78-london.as6453.net", LONDON},
    {"Tata", "NA", "if-ae-12-2.tcore1.nto-newyork.as6453.net", NEWYORK},
    {"Tata", "AS", "if-ae-36-2.tcore1.svw-singapore.as6453.net", SINGAPORE},
    {"Tata", "AS", "if-ae-2-2.tcore2.mlv-mumbai.as6453.net", MUMBAI},
    {"Orange", "EU", "ae41-0.ffttr5.frankfurt.opentransit.net", FRANKFURT},
    {"Orange", "EU", "tengige0-0-2-0.pastr1.paris.opentransit.net", PARIS},
    {"Orange", "NA", "ae-0.nyktr3.newyork.opentransit.net", NEWYORK},
    {"Verizon", "NA", "0.ae1.GW7.IAD8.ALTER.NET", ASHBURN},
    {"Verizon", "NA", "TenGigE0-5-0-0.GW1.LAX15.ALTER.NET", LOSANGELES},
    {"Comcast", "NA", "be-33657-cr02.ashburn.va.ibone.comcast.net", ASHBURN},
    {"Comcast", "NA", "be-10-ar01.needham.ma.boston.comcast.net", BOSTON},
    {"Comcast", "NA", "be-36131-cs03.sunnyvale.ca.ibone.comcast.net", SUNNYVALE},
    {"Telstra", "OC", "bundle-ether1.chw-edge903.sydney.telstra.net", SYDNEY},
    {"Telstra", "OC", "bundle-ether13.exi-core10.melbourne.telstra.net", MELBOURNE},
    {"Telstra", "OC", "tengige0-0-0-4.woo-core1.brisbane.telstra.net", BRISBANE},
    {"Telstra", "OC", "bundle-ether2.pie-edge901.perth.telstra.net", PERTH},
    {"Deutsche Telekom", "EU", "f-ed5-i.F.DE.NET.DTAG.DE", FRANKFURT},
    {"Deutsche Telekom", "EU", "b-ea3-i.B.DE.NET.DTAG.DE", BERLIN},
    {"Deutsche Telekom", "EU", "hh-eb2-i.HH.DE.NET.DTAG.DE", HAMBURG},
    {"RETN", "EU", "ae1-10.RT.IRM.FKT.DE.retn.net", FRANKFURT},
    {"RETN", "EU", "ae4-8.RT.TC2.AMS.NL.retn.net", AMSTERDAM},
    {"RETN", "EU", "ae0-3.rt.m9p.msk.ru.retn.net", MOSCOW},
    {"Init7", "EU", "r1zrh1.core.init7.net", ZURICH},
    {"Init7", "EU", "r1fra3.core.init7.net", FRANKFURT},
    {"Sparkle", "EU", "xe-4-2-0.franco31.fra.seabone.net", FRANKFURT},
    {"Sparkle", "EU", "ae13.milano50.mil.seabone.net", MILAN},
    {"Sparkle", "NA", "xe-0-0-1.miami15.mia.seabone.net", MIAMI},
    {"PCCW", "AS", "TenGE0-0-0-1.br03.hkg15.pccwbtn.net", HONGKONG},
    {"PCCW", "NA", "ae-1.br02.lax15.pccwbtn.net", LOSANGELES},
    {"IIJ", "AS", "tky001bb00.IIJ.Net", TOKYO},
    {"IIJ", "AS", "osk004bb01.IIJ.Net", OSAKA},
    {"KDDI", "AS", "otejbb205.int-gw.kddi.ne.jp", TOKYO},
    {"KDDI", "AS", "obpjbb203.int-gw.kddi.ne.jp", OSAKA},
    // Telephone-company location codes are left out of the database on purpose:
    // these count as misses.
    {"NTT", "EU", "ae-5.r24.londen12.uk.bb.gin.ntt.net", LONDON},
    {"NTT", "EU", "ae-3.r21.frnkge13.de.bb.gin.ntt.net", FRANKFURT},
    {"NTT", "AS", "ae-2.r25.tokyjp05.jp.bb.gin.ntt.net", TOKYO},
    {"AT&T", "NA", "cr2.dlstx.ip.att.net", DALLAS},
    // Names that must not get a position.
    {"none", "-", "pop.example.com", NONE},
    {"none", "-", "router.asus.com", NONE},
    {"none", "-", "fritz.box", NONE},
    {"Comcast", "-", "c-73-15-2-1.hsd1.ca.comcast.net", NONE},
    {"none", "-", "cpe-74-70-1-1.nycap.res.rr.com", NONE},
    {"Cogent", "-", "be2813.ccr41.atlas.cogentco.com", NONE},
    {"Cogent", "-", "38.104.1.2.atlas.cogentco.com", NONE},
    {"Hurricane Electric", "-", "tserv1.core.he.net", NONE},
    {"Hurricane Electric", "-", "ge-0-0-0.pos1.he.net", NONE},
    {"GTT", "-", "ae12.cr1-atlas.ip4.gtt.net", NONE},
    {"Lumen", "-", "unknown.Level3.net", NONE},
    {"Arelion", "-", "customer-link.ip.twelve99.net", NONE},
    {"Telstra", "-", "cpe-1-2-3-4.bpw8.nsw.bigpond.net.au", NONE},
    {"none", "-", "dsl-187-156-1-1-dyn.prod-infinitum.com.mx", NONE},
    {"none", "-", "mail.frankfurt.example.de", NONE},
};

TEST(RouterNames, ShippedDatabasePlacesRoutersOfTheBigNetworks) {
  const char* build = std::getenv("HOPSIGHT_BUILD_DIR");
  ASSERT_NE(build, nullptr) << "run through ctest (HOPSIGHT_BUILD_DIR)";
  const std::string path = std::string(build) + "/bin/data/HopSight.gdp";
  const std::optional<std::string> image = platform::ReadWholeFile(path);
  ASSERT_TRUE(image) << path << " is missing: run scripts/bootstrap.sh and build hopsight-geo-data";
  LocationDatabase db;
  ASSERT_EQ(LocDBInit(db, *image), 0u);

  std::set<std::string> networks, continents;
  int placed = 0, shouldPlace = 0, misses = 0, wrong = 0, quietOk = 0, quiet = 0;
  for (const Case& c : kCases) {
    const GeoLocation* g = db.FindInDatabase(c.name, 0);
    EXPECT_EQ(g, db.FindByLinearScan(c.name, 0)) << c.name;
    if (std::isnan(c.latitude)) {
      ++quiet;
      if (g) {
        ++wrong;
        ADD_FAILURE() << "false match: " << c.name << " -> " << g->latitude << ", " << g->longitude;
      } else {
        ++quietOk;
      }
      continue;
    }
    networks.insert(c.network);
    continents.insert(c.continent);
    ++shouldPlace;
    if (!g) {
      ++misses;
      std::printf("miss: %s (%s)\n", c.name, c.network);
      continue;
    }
    const double km = geodb::DistanceKm(g->latitude, g->longitude, c.latitude, c.longitude);
    if (km > 50) {
      ++wrong;
      ADD_FAILURE() << "false match: " << c.name << " lands " << km << " km from its city";
    } else {
      ++placed;
    }
  }
  std::printf("router names: %d of %d placed within 50 km (%.0f%%), %d misses, %d false matches; "
              "%d of %d names that must not match got nothing; %zu networks, %zu continents\n",
              placed, shouldPlace, 100.0 * placed / shouldPlace, misses, wrong, quietOk, quiet, networks.size(),
              continents.size());
  EXPECT_GE(shouldPlace, 60);
  EXPECT_GE(networks.size(), 15u);
  EXPECT_GE(continents.size(), 5u);
  EXPECT_EQ(wrong, 0);
  // The misses are the networks whose codes we leave out on purpose.
  EXPECT_EQ(misses, 4);
}

}  // namespace
}  // namespace hs::geo
