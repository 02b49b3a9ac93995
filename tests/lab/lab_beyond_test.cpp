// hopsight-trace's additions in the lab: the plausibility of positions (the
// companion server places every router, one on the wrong continent), CSV
// output with -n and --no-geo, and --diff over a route that the test changes
// by adding a router.
// Run by lab.sh; exits 77 (skipped) outside a lab.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "asn/csv.h"
#include "tests/geo/companion.h"
#include "tests/lab/lab_support.h"
#include "tests/platform/scripted_http_server.h"

namespace hs::lab {
namespace {

std::string g_trace;

std::string Trace(const std::string& options, const std::string& dataDir, int* exitCode = nullptr) {
  const Ran ran = RunCommand(Quote(g_trace) + " --quiet --no-whois " + options + " --data-dir " + Quote(dataDir) +
                             " " + Env("LAB_TARGET"));
  if (exitCode) *exitCode = ran.exitCode;
  return ran.out;
}

TEST(LabPlausible, TheRouterPlacedOnTheWrongContinentIsTheOnlyImplausibleRow) {
  // Home in Frankfurt; the routers around it, within the 100 km that a reply
  // under a millisecond allows, except r5, which the server puts in Sydney.
  const std::map<std::string, std::string> places = {
      {"198.18.1.2", "50.1109 8.6821 200"}, {"198.18.2.2", "49.9929 8.2473 200"},
      {"198.18.4.2", "49.8728 8.6512 200"}, {"198.18.5.2", "-33.8688 151.2093 200"},
      {"198.18.6.2", "50.0782 8.2398 200"}, {"198.18.7.2", "50.1109 8.6821 200"}};
  std::string overrides;
  for (const auto& [address, where] : places) overrides += address + " " + where + "\n";
  hs::test::Companion companion(overrides);
  ASSERT_TRUE(companion.Started()) << companion.Why();
  const std::string home = "2,50.110900,8.682100,240";

  int exitCode = -1;
  const std::string json = Trace("--json", DataDir("json", home, companion.Host()), &exitCode);
  ASSERT_EQ(exitCode, 0) << json;
  const std::vector<std::string> rows = JsonRows(json);
  ASSERT_EQ(rows.size(), 8u) << json;  // the local row and seven hops
  for (const std::string& row : rows) {
    const std::string address = Field(row, "address");
    const std::string expected = address == "198.18.5.2" ? "false" : places.count(address) ? "true" : "null";
    EXPECT_EQ(Field(row, "plausible"), expected) << row;
    // Test addresses belong to no AS.
    EXPECT_EQ(Field(row, "asn"), "null") << row;
  }
  EXPECT_EQ(Field(rows[0], "plausible"), "null");  // the home itself
  EXPECT_EQ(Field(rows[3], "plausible"), "null");  // the silent r3 has no time

  // The printed table says the same in its Plausible column.
  const std::string table = Trace("", DataDir("text", home, companion.Host()), &exitCode);
  ASSERT_EQ(exitCode, 0) << table;
  for (const auto& [address, where] : places) {
    const size_t at = table.rfind(" " + address + " ");
    ASSERT_NE(at, std::string::npos) << address << "\n" << table;
    const std::string line = table.substr(at, table.find('\n', at) - at);
    // The word after the Location column's "(Server/200)".
    std::istringstream words(line.substr(line.find("(Server/200)") + 12));
    std::string plausible;
    words >> plausible;
    EXPECT_EQ(plausible, address == "198.18.5.2" ? "no" : "yes") << line;
  }
}

TEST(LabPlausible, CsvWithoutReverseLookupsOrPositionsHasOneRecordPerRowWithoutNames) {
  // The only location server listed would answer anything: --no-geo must not ask it.
  hs::test::ScriptedHttpServer server([](const std::string&) { return hs::test::ScriptedHttpServer::Ok("x"); });
  int exitCode = -1;
  const std::string out = Trace("--csv --no-geo -n", DataDir("csv", "", server.host()), &exitCode);
  ASSERT_EQ(exitCode, 0) << out;
  EXPECT_EQ(server.RequestCount(), 0u);
  csv::Reader reader(out);
  std::vector<std::string> header, fields;
  ASSERT_TRUE(reader.Next(header));
  EXPECT_EQ(header[2], "name");
  std::vector<std::vector<std::string>> records;
  while (reader.Next(fields)) {
    // The lab's hosts file would name every router r1.lab.test and so on.
    EXPECT_EQ(fields[2].find("lab.test"), std::string::npos) << fields[2];
    records.push_back(fields);
  }
  EXPECT_FALSE(reader.Failed());
  ASSERT_EQ(records.size(), 8u) << out;
  EXPECT_EQ(records[1][1], "198.18.1.2");
  EXPECT_EQ(records[3][2], "No Response");
  EXPECT_EQ(records[7][1], "198.18.7.2");
}

// Puts a new router "alt" between r2 and r4: the target's route then runs
// r1, r2, alt, r4, ... and the silent r3 drops out of it.
void DetourThroughANewRouter() {
  const std::string client = Env("LAB_CLIENT_NS");
  const std::string prefix = client.substr(0, client.size() - 1);  // the lab's namespaces are PREFIX + name
  const Ran ran = RunCommand("P=" + prefix + R"( sh -e <<'END'
ip netns add ${P}alt
ip link add a30 netns ${P}r2 type veth peer name u netns ${P}alt
ip link add a31 netns ${P}alt type veth peer name u31 netns ${P}r4
ip -n ${P}r2 addr add 198.18.30.1/24 dev a30
ip -n ${P}r2 link set a30 up
ip -n ${P}alt link set lo up
ip -n ${P}alt addr add 198.18.30.2/24 dev u
ip -n ${P}alt link set u up
ip -n ${P}alt addr add 198.18.31.1/24 dev a31
ip -n ${P}alt link set a31 up
ip -n ${P}r4 addr add 198.18.31.2/24 dev u31
ip -n ${P}r4 link set u31 up
ip netns exec ${P}alt sh -c 'echo 1 > /proc/sys/net/ipv4/ip_forward; echo 0 > /proc/sys/net/ipv4/icmp_ratemask
  for f in /proc/sys/net/ipv4/conf/*/rp_filter; do echo 0 > $f; done'
ip -n ${P}alt route add 198.18.7.0/24 via 198.18.31.2
ip -n ${P}alt route add 198.18.0.0/15 via 198.18.30.1
ip -n ${P}r2 route replace 198.18.7.0/24 via 198.18.30.2
END
)", true);
  ASSERT_EQ(ran.exitCode, 0) << ran.out;
}

TEST(LabDiff, ARouteThatChangedPrintsTheChangedHopsAndAnUnchangedOneNoChange) {
  const std::string dir = DataDir("diff");
  int exitCode = -1;
  EXPECT_EQ(Trace("--diff --no-geo", dir, &exitCode), "no recorded trace of " + Env("LAB_TARGET") + "\n");
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(Trace("--diff --no-geo", dir, &exitCode), "no change\n");
  EXPECT_EQ(exitCode, 0);

  DetourThroughANewRouter();
  // Row 3 (shown as hop 4, like the "#" column) was the silent r3.
  EXPECT_EQ(Trace("--diff --no-geo", dir, &exitCode), "hop 4: no reply -> 198.18.30.2\n");
  EXPECT_EQ(exitCode, 0);
  // The new route was recorded: the same route again is no change.
  EXPECT_EQ(Trace("--diff --no-geo", dir, &exitCode), "no change\n");
}

}  // namespace
}  // namespace hs::lab

int main(int argc, char** argv) {
  return hs::lab::LabMain(argc, argv, "trace", hs::lab::g_trace);
}
