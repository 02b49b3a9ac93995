// hopsight-trace through the lab with the companion server on the client's
// loopback: an override file places the lab's routers, and every hop that it
// knows must come back placed by the server, with the override's precision,
// in the JSON report and in the printed Location column. --no-geo must ask no
// server at all. Run by lab.sh; exits 77 (skipped) outside a lab.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "tests/geo/companion.h"
#include "tests/lab/lab_support.h"
#include "tests/platform/scripted_http_server.h"

namespace hs::lab {
namespace {

std::string g_trace;

struct Place {
  double latitude, longitude;
  int precision;
};

// Every router of the target route except the silent r3, each somewhere else.
const std::map<std::string, Place> kPlaces = {
    {"198.18.1.2", {48.8566, 2.3522, 200}},   {"198.18.2.2", {50.1109, 8.6821, 190}},
    {"198.18.4.2", {52.3676, 4.9041, 180}},   {"198.18.5.2", {51.5072, -0.1276, 170}},
    {"198.18.6.2", {40.7128, -74.0060, 160}}, {"198.18.7.2", {37.7749, -122.4194, 150}},
};

std::string OverrideFile() {
  std::ostringstream out;
  for (const auto& [address, p] : kPlaces) out << address << " " << p.latitude << " " << p.longitude << " " << p.precision << "\n";
  return out.str();
}

TEST(LabGeo, EveryHopTheOverrideKnowsIsPlacedWithItsSourceAndPrecision) {
  hs::test::Companion companion(OverrideFile());
  ASSERT_TRUE(companion.Started()) << companion.Why();
  const std::string target = Env("LAB_TARGET");

  const std::string json = DataDir("json", "", companion.Host());
  Ran ran = RunCommand(Quote(g_trace) + " --json --quiet --data-dir " + Quote(json) + " " + target);
  ASSERT_EQ(ran.exitCode, 0) << ran.out;
  int placed = 0, rows = 0;
  std::istringstream lines(ran.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("{\"index\":") == std::string::npos) continue;
    ++rows;
    const std::string address = Field(line, "address");
    auto known = kPlaces.find(address);
    if (known == kPlaces.end()) {
      if (address.empty() || address == "0.0.0.0") {
        EXPECT_NE(Field(line, "source"), "8") << line;
      }
      continue;
    }
    ++placed;
    EXPECT_EQ(Field(line, "source"), "8") << "placed by the server: " << line;
    EXPECT_EQ(Field(line, "precision"), std::to_string(known->second.precision)) << line;
    EXPECT_NEAR(std::stod(Field(line, "latitude")), known->second.latitude, 0.006) << line;
    EXPECT_NEAR(std::stod(Field(line, "longitude")), known->second.longitude, 0.006) << line;
  }
  EXPECT_EQ(rows, 8) << ran.out;  // the local row and seven hops
  EXPECT_EQ(placed, static_cast<int>(kPlaces.size())) << ran.out;
  // The places stay in the cache file for the next trace.
  const std::string cache = hs::test::ReadFile(json + "/HopCache.ini");
  EXPECT_NE(cache.find("r2.lab.test"), std::string::npos) << cache;

  // The printed table shows each hop's source and precision.
  const std::string text = DataDir("text", "", companion.Host());
  ran = RunCommand(Quote(g_trace) + " --quiet --data-dir " + Quote(text) + " " + target);
  ASSERT_EQ(ran.exitCode, 0) << ran.out;
  // Rows are printed as found, then the finished route once more: the last
  // line of each address is the final one.
  for (const auto& [address, p] : kPlaces) {
    const size_t at = ran.out.rfind(" " + address + " ");
    ASSERT_NE(at, std::string::npos) << address << "\n" << ran.out;
    const std::string line = ran.out.substr(at, ran.out.find('\n', at) - at);
    EXPECT_NE(line.find(" (Server/" + std::to_string(p.precision) + ")"), std::string::npos) << line;
  }
}

TEST(LabGeo, NoGeoAsksNoLocationServer) {
  hs::test::ScriptedHttpServer server([](const std::string&) { return hs::test::ScriptedHttpServer::Ok("x"); });
  const std::string target = Env("LAB_TARGET");
  const std::string off = DataDir("off", "", server.host());
  Ran ran = RunCommand(Quote(g_trace) + " --json --quiet --no-geo --data-dir " + Quote(off) + " " + target);
  ASSERT_EQ(ran.exitCode, 0) << ran.out;
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_EQ(ran.out.find("\"source\":8"), std::string::npos);

  // The same trace with positions on does ask (and gets a useless answer).
  const std::string on = DataDir("on", "", server.host());
  ran = RunCommand(Quote(g_trace) + " --json --quiet --data-dir " + Quote(on) + " " + target);
  ASSERT_EQ(ran.exitCode, 0) << ran.out;
  bool routeAsked = false;
  for (const auto& r : server.Requests()) routeAsked |= r.target.find("&Z") != std::string::npos;
  EXPECT_TRUE(routeAsked);
}

}  // namespace
}  // namespace hs::lab

int main(int argc, char** argv) {
  return hs::lab::LabMain(argc, argv, "trace", hs::lab::g_trace);
}
