// hopsight-trace against the lab: every row of every route must carry the
// address and status the topology says, with the trace's own endings (silent
// hop, unreachable end row, routing loop). Run by lab.sh, as root or (with
// --as-nobody) as an unprivileged user; exits 77 (skipped) outside a lab.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/lab/lab_support.h"

namespace hs::lab {
namespace {

std::string g_trace;  // path of hopsight-trace
bool g_asNobody = false;

struct Row {
  int index = -1;
  std::string address, name;
  unsigned status = 0;
};

std::vector<Row> ParseRows(const std::string& json) {
  std::vector<Row> rows;
  for (const std::string& line : JsonRows(json)) {
    Row r;
    r.index = std::atoi(Field(line, "index").c_str());
    r.address = Field(line, "address");
    r.name = Field(line, "name");
    r.status = static_cast<unsigned>(std::strtoul(Field(line, "status").c_str(), nullptr, 10));
    rows.push_back(r);
  }
  return rows;
}

class LabTrace : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    routes_ = ReadTopology(Env("LAB_TOPOLOGY"));
    // All routes at once: the silent hop alone costs two full reply waits.
    // The bench route twice: as root both traces use raw sockets, which see
    // each other's answers to the same destination and must not take them.
    routes_["bench again"] = routes_.at("bench");
    const char* names[] = {"target", "bench", "bench again", "unreachable", "loop", "nohost"};
    for (const char* name : names) results_[name];  // no insertions while the threads run
    // Every run gets fresh settings and caches, so no name comes from an earlier run.
    char dataTemplate[] = "/tmp/hopsight-lab-data-XXXXXX";
    dataDir_ = mkdtemp(dataTemplate);
    chmod(dataDir_.c_str(), 0777);
    std::vector<std::thread> threads;
    for (const char* name : names) {
      std::string cmd = Quote(g_trace) + " --json --quiet --data-dir " + Quote(dataDir_ + "/" + name) + " " +
                        routes_.at(name).destination;
      threads.emplace_back([cmd, &slot = results_.at(name)] {
        slot = RunCommand(g_asNobody ? AsNobody(cmd) : cmd);
      });
    }
    for (auto& t : threads) t.join();
  }
  static void TearDownTestSuite() { RunCommand("rm -rf " + Quote(dataDir_)); }

  // Checks rows 1..n against the route's hops 1..n, then returns the rows.
  static std::vector<Row> Trace(const std::string& name, size_t hopsToCompare) {
    const Ran& ran = results_.at(name);
    EXPECT_EQ(ran.exitCode, 0) << ran.out;
    std::vector<Row> rows = ParseRows(ran.out);
    const Route& route = routes_.at(name);
    EXPECT_GT(rows.size(), hopsToCompare) << ran.out;
    for (size_t i = 1; i <= hopsToCompare && i < rows.size(); ++i) {
      const Hop& hop = route.hops.at(i - 1);
      SCOPED_TRACE(name + " row " + std::to_string(i));
      EXPECT_EQ(rows[i].index, static_cast<int>(i));
      EXPECT_EQ(rows[i].address, hop.address == "0.0.0.0" ? "" : hop.address);
      EXPECT_EQ(rows[i].status, hop.status);
      // From row 2 on the name pass asks the resolver, which answers from
      // the client's hosts file (row 1 only takes a cached name).
      if (i >= 2 && !rows[i].address.empty() && hop.name != "-") {
        EXPECT_EQ(rows[i].name, hop.name);
      }
    }
    return rows;
  }

  static std::map<std::string, Route> routes_;
  static std::map<std::string, Ran> results_;
  static std::string dataDir_;
};
std::map<std::string, Route> LabTrace::routes_;
std::map<std::string, Ran> LabTrace::results_;
std::string LabTrace::dataDir_;

TEST_F(LabTrace, EveryRouteGivesTheTopologysRowsAndEndsAsItsLastHopSays) {
  // A responsive target ends the trace with its echo reply.
  for (const char* name : {"target", "bench", "bench again"}) {
    const Route& route = routes_.at(name);
    auto rows = Trace(name, route.hops.size());
    ASSERT_EQ(rows.size(), route.hops.size() + 1) << name;
    EXPECT_EQ(rows.back().address, route.destination) << name;
  }
  // ICMP 3/1 (host unreachable) from b4's `unreachable` route and from b9
  // finding no neighbour, and the loop between b4 and b5 (the row that
  // repeats an address six rows back, row 10, ends it): each gets an end row.
  for (const char* name : {"unreachable", "nohost", "loop"}) {
    const Route& route = routes_.at(name);
    const bool loop = std::string(name) == "loop";
    auto rows = Trace(name, loop ? 9 : route.hops.size());
    ASSERT_EQ(rows.size(), loop ? 12u : route.hops.size() + 2) << name;
    const Row& last = rows[rows.size() - 2];
    EXPECT_EQ(last.address, route.hops.at(rows.size() - 3).address) << name;
    EXPECT_EQ(last.status, 11003u) << name;
    EXPECT_EQ(rows.back().status, 11003u) << name;
    EXPECT_EQ(rows.back().address, "") << name;
    EXPECT_EQ(rows.back().name, "Destination Host Unreachable") << name;
  }
}

TEST_F(LabTrace, LoopbackTargetIsNamedByItsReverseNameEveryRun) {
  // The target one hop away gets its name from the hosts file, whether the
  // destination probe or the controller gets there first. Both wait on the
  // same destination at once: as root each raw socket also sees the other's
  // answer, which must not end its own wait.
  static int runs = 0;  // fresh data directories also under --gtest_repeat
  for (int run = 0; run < 10; ++run) {
    const std::string cmd = Quote(g_trace) + " --json --quiet --data-dir " +
                            Quote(dataDir_ + "/loopback" + std::to_string(runs++)) + " 127.0.0.1";
    Ran ran = RunCommand(g_asNobody ? AsNobody(cmd) : cmd);
    ASSERT_EQ(ran.exitCode, 0) << ran.out;
    std::vector<Row> rows = ParseRows(ran.out);
    ASSERT_EQ(rows.size(), 2u) << ran.out;
    EXPECT_EQ(rows[1].name, "localhost") << "run " << run;
  }
}

TEST_F(LabTrace, CtrlCStopsTheTraceWithoutWaitingForTheProbe) {
  // r3 never answers: once hop 2's row is out, the trace sits in a 3-second
  // reply wait. The interrupt must end it before that wait is over, with the
  // rows it has.
  const std::string cmd = Quote(g_trace) + " --data-dir " + Quote(dataDir_ + "/interrupted") + " " +
                          routes_.at("target").destination;
  Running trace(g_asNobody ? AsNobody(cmd) : cmd);
  const std::string hop2 = routes_.at("target").hops.at(1).address;
  ASSERT_TRUE(trace.ReadUntil(" " + hop2 + " ")) << trace.output;
  const auto interrupted = std::chrono::steady_clock::now();
  trace.Signal(SIGINT);
  EXPECT_EQ(trace.Wait(), 130) << trace.output;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - interrupted).count();
  EXPECT_LT(seconds, 2.5) << trace.output;  // less than the reply wait it interrupted
  EXPECT_NE(trace.output.find("Trace interrupted"), std::string::npos) << trace.output;
  EXPECT_EQ(trace.output.find("Trace completed"), std::string::npos) << trace.output;
}

}  // namespace
}  // namespace hs::lab

int main(int argc, char** argv) {
  return hs::lab::LabMain(argc, argv, "trace", hs::lab::g_trace, {{"--as-nobody", &hs::lab::g_asNobody}});
}
