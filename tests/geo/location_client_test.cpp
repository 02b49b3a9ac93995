// The location server client: LS.ini, the server order, requests against
// real HTTP servers on loopback (scripted ones for odd answers, and the
// companion server), the speed test and place lookups. The binary runs under
// a locale with a decimal comma (comma_locale.cpp).
#include "geo/location_servers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>

#include "tests/config/temp_dir.h"
#include "tests/geo/companion.h"
#include "tests/platform/scripted_http_server.h"

namespace hs::geo {
namespace {

using hs::test::ScriptedHttpServer;
using hs::testing::ReadFile;
using hs::testing::TempDir;
using hs::testing::WriteFile;
using Clock = std::chrono::steady_clock;

const locwire::InstallIdentity kId{1733400000, 0x00c0ffee, locwire::kProductCode};

LocationServer Server(std::string host, int32_t time) { return {true, std::move(host), time}; }

std::vector<std::string> Hosts(const ServerList& list) {
  std::vector<std::string> out;
  for (const auto& s : list.servers) out.push_back(s.host);
  return out;
}

LocationServerTable::Services Quick() {
  LocationServerTable::Services s;
  s.connectTimeoutMs = 2000;
  s.transferTimeoutMs = 400;
  return s;
}

FetchRequest PlaceRequest(std::string path = "lookup/?country=US") {
  FetchRequest r;
  r.path = std::move(path);
  r.verdict = [](std::string_view a) { return locwire::ReadPlaceLookupAnswer(a).verdict; };
  return r;
}

// ------------------------------------------------------------------- LS.ini

TEST(LsIni, HandMadeFilesReadAsWritten) {
  auto list = ParseServerList("1733000000\n3\nloc.example.org\t45\nbroken line\n127.0.0.1:8053\t-3\nextra\t1\n");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->lastTest, 1733000000u);
  ASSERT_EQ(list->servers.size(), 3u) << "lines beyond the count are ignored";
  EXPECT_EQ(list->servers[0], Server("loc.example.org", 45));
  EXPECT_EQ(list->servers[1], LocationServer{}) << "a line without a tab is an invalid entry";
  EXPECT_EQ(list->servers[2], Server("127.0.0.1:8053", -3));
  // Only valid entries go back, and the count says how many.
  EXPECT_EQ(FormatServerList(*list), "1733000000\n2\nloc.example.org\t45\n127.0.0.1:8053\t-3\n");

  auto early = ParseServerList("7\n5\na\t1\n\tno host\n");
  ASSERT_TRUE(early);
  EXPECT_EQ(early->servers.size(), 2u) << "a file that ends early";
  EXPECT_FALSE(early->servers[1].valid) << "a tab at the start names no host";
  EXPECT_TRUE(ParseServerList("1\n1\n" + std::string(198, 'h') + "\t5\n")->servers[0].valid);
  EXPECT_FALSE(ParseServerList("1\n1\n" + std::string(199, 'h') + "\t5\n")->servers[0].valid);
}

// The table then keeps the built-in list: the companion server on loopback
// and placeholders that never resolve.
TEST(LsIni, ACountBelowOneOrNoCountGivesTheBuiltInList) {
  for (const char* text : {"0\n0\na\t5\n", "123\n-2\na\t5\n", "123\n", "", "garbage\nnone\n"})
    EXPECT_FALSE(ParseServerList(text)) << text;
  const ServerList builtIn = BuiltInServerList();
  ASSERT_EQ(builtIn.servers.size(), 4u);
  EXPECT_EQ(builtIn.servers[0].host, "127.0.0.1:8053");
  for (size_t i = 1; i < 4; ++i) EXPECT_TRUE(platform::IsInvalidHost(builtIn.servers[i].host));
  for (const auto& s : builtIn.servers) EXPECT_EQ(s.time, kNoResponse);
}

TEST(LsIni, SavingWritesOnlyChangedBytesAndNeverOverAnUnreadableFile) {
  TempDir dir;
  const std::string path = ServerListPath(dir.path());
  LocationServerTable table;
  table.Load(dir.path());  // missing: built-in list, written at exit
  ASSERT_TRUE(table.Save(dir.path()));
  EXPECT_EQ(ReadFile(path), FormatServerList(BuiltInServerList()));

  struct stat before {}, after {};
  stat(path.c_str(), &before);
  LocationServerTable again;
  again.Load(dir.path());
  ASSERT_TRUE(again.Save(dir.path()));
  stat(path.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino) << "unchanged bytes are not rewritten";

  again.Assign({5, {Server("a", 1)}});
  ASSERT_TRUE(again.Save(dir.path()));
  EXPECT_EQ(ReadFile(path), "5\n1\na\t1\n");

  // Something that exists but cannot be read (here a directory) stays.
  TempDir other;
  std::filesystem::create_directory(ServerListPath(other.path()));
  LocationServerTable blocked;
  blocked.Load(other.path());
  EXPECT_FALSE(blocked.Save(other.path()));
  EXPECT_TRUE(std::filesystem::is_directory(ServerListPath(other.path())));
}

// ------------------------------------------------------------------- sorting

TEST(ServerOrder, FiveFiveThreeEndsAsThirdSecondFirst) {
  std::vector<LocationServer> s = {Server("first", 5), Server("second", 5), Server("third", 3)};
  SortServers(s);
  EXPECT_EQ(Hosts({0, s}), (std::vector<std::string>{"third", "second", "first"}));
}

// ------------------------------------------------------- asking the servers

TEST(FetchFromLocationServers, ADeadOrStalledServerMovesLastAndCostsOneAttempt) {
  for (auto reply : {ScriptedHttpServer::CloseAtOnce(), ScriptedHttpServer::Stall()}) {
    SCOPED_TRACE(reply.kind == ScriptedHttpServer::Reply::Stall ? "stalled" : "dead");
    ScriptedHttpServer bad([&](const std::string&) { return reply; });
    ScriptedHttpServer good([](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,3,4"); });
    LocationServerTable table(Quick());
    table.Assign({0, {Server(bad.host(), 5), Server(good.host(), 9)}});
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(table.FetchFromLocationServers(PlaceRequest()).ok);
    EXPECT_EQ(bad.RequestCount(), 1u);
    EXPECT_EQ(good.RequestCount(), 3u);
    const ServerList after = table.Snapshot();
    EXPECT_EQ(Hosts(after), (std::vector<std::string>{good.host(), bad.host()}));
    EXPECT_GE(after.servers[0].time, 1) << "a loopback answer counts as at least 1 ms";
    EXPECT_EQ(after.servers[1].time, kNoResponse);
  }
}

// Which answers are unusable is the wire reader's rule (tests/server/wire_test).
TEST(FetchFromLocationServers, UnusableAnswersSendTheRequestToTheNextServer) {
  ScriptedHttpServer good([](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,3,4"); });
  struct Case {
    const char* what;
    ScriptedHttpServer::Reply reply;
  } cases[] = {
      {"no Content-Length", ScriptedHttpServer::Raw("HTTP/1.0 200 OK\r\n\r\nTVGS0,1,2")},
      {"not TVGS", ScriptedHttpServer::Ok("<html>Active Server Page error</html>")},
  };
  for (const Case& c : cases) {
    ScriptedHttpServer odd([&](const std::string&) { return c.reply; });
    LocationServerTable table(Quick());
    table.Assign({0, {Server(odd.host(), 1), Server(good.host(), 2)}});
    FetchResult r = table.FetchFromLocationServers(PlaceRequest());
    EXPECT_TRUE(r.ok) << c.what;
    EXPECT_EQ(r.host, good.host()) << c.what;
    EXPECT_EQ(odd.RequestCount(), 1u) << c.what;
  }
}

TEST(FetchFromLocationServers, AnAnswerWithoutResultEndsTheSearchWithoutPosition) {
  ScriptedHttpServer none([](const std::string&) { return ScriptedHttpServer::Ok("TVGS1,none"); });
  ScriptedHttpServer good([](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,3,4"); });
  LocationServerTable table(Quick());
  table.Assign({0, {Server(none.host(), 1), Server(good.host(), 9000)}});
  FetchResult r = table.FetchFromLocationServers(PlaceRequest());
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(good.RequestCount(), 0u);
  EXPECT_FALSE(PlaceLookup(table, {}));
}

TEST(FetchFromLocationServers, ADownloadOfZeroMillisecondsDoesNotCount) {
  ScriptedHttpServer a([](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,1,2"); });
  ScriptedHttpServer b([](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,3,4"); });
  std::atomic<uint64_t> readings{0};
  auto services = Quick();
  // A clock that stands still over the first download and moves 2 ms a reading after.
  services.microseconds = [&] {
    const uint64_t n = readings++;
    return 1000000 + (n < 2 ? 0 : 2000 * (n - 1));
  };
  LocationServerTable table(services);
  table.Assign({0, {Server(a.host(), 1), Server(b.host(), 2)}});
  FetchResult r = table.FetchFromLocationServers(PlaceRequest());
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.host, b.host()) << "the first answer took 0 ms";
  EXPECT_EQ(a.RequestCount(), 1u);
  const ServerList after = table.Snapshot();
  EXPECT_EQ(after.servers[0].host, a.host()) << "its time of 0 sorts it first";
  EXPECT_EQ(after.servers[0].time, 0);
  EXPECT_EQ(after.servers[1].time, 2);
}

class RecordingFeedback final : public FetchFeedback {
 public:
  void BeginWait() override { ++waits; }
  void EndWait() override { --waits, ++ended; }
  void ShowContactError(std::string_view text, std::string_view title) override {
    errors.push_back(std::string(title) + ": " + std::string(text));
  }
  int waits = 0, ended = 0;
  std::vector<std::string> errors;
};

TEST(FetchFromLocationServers, NoServerAnsweringShowsTheErrorOnlyWhenAsked) {
  ScriptedHttpServer bad([](const std::string&) { return ScriptedHttpServer::Ok("nope"); });
  LocationServerTable table(Quick());
  table.Assign({0, {Server(bad.host(), 1), Server("loc9.hopsight.invalid", 2)}});
  RecordingFeedback quiet, loud;
  FetchRequest r = PlaceRequest();
  r.feedback = &quiet;
  EXPECT_FALSE(table.FetchFromLocationServers(r).ok);
  EXPECT_TRUE(quiet.errors.empty());
  EXPECT_EQ(quiet.ended, 2) << "a wait cursor around each server";
  EXPECT_EQ(quiet.waits, 0);
  r.feedback = &loud;
  r.showError = true;
  EXPECT_FALSE(table.FetchFromLocationServers(r).ok);
  ASSERT_EQ(loud.errors.size(), 1u);
  EXPECT_EQ(loud.errors[0],
            "Error Contacting Server: The location server could not be contacted.  Please ensure you are "
            "connected to the Internet.  If your Internet connection appears to be working correctly, there may "
            "be some problem in reaching the server.  Please try again later.");
}

// ---------------------------------------------------------------- speed test

TEST(SpeedTest, AWeekAfterTheLastTestEveryServerIsTimedAndTheOrderFollows) {
  ScriptedHttpServer slow([](const std::string&) { return ScriptedHttpServer::Ok("x"); });
  ScriptedHttpServer fast([](const std::string&) { return ScriptedHttpServer::Ok("y"); });
  auto services = Quick();
  const int64_t now = 1800000000;
  services.now = [&] { return now; };
  // Readings around the two downloads: the first takes 40 ms, the second 1 ms.
  std::atomic<int> reading{0};
  services.microseconds = [&] {
    static constexpr uint64_t kAt[] = {0, 40000, 40000, 41000};
    const int n = reading++;
    return kAt[n < 4 ? n : 3];
  };
  LocationServerTable table(services);
  table.Assign({static_cast<uint32_t>(now - kSpeedTestInterval), {Server(slow.host(), 1), Server(fast.host(), 2)}});
  table.StartSpeedTest(kId, [] { return htonl(0x7f000001); });
  table.WaitForSpeedTest();
  ASSERT_EQ(slow.RequestCount(), 1u);
  ASSERT_EQ(fast.RequestCount(), 1u);
  const auto req = fast.Requests()[0];
  EXPECT_EQ(req.target, "/loc/?" + locwire::WriteIdentity(kId, locwire::kRequestMasks) + "&7f000001f0");
  EXPECT_NE(req.head.find("User-Agent: Hopsight_Express_LocTest\r\n"), std::string::npos);
  const ServerList after = table.Snapshot();
  EXPECT_EQ(after.lastTest, static_cast<uint32_t>(now));
  EXPECT_EQ(Hosts(after), (std::vector<std::string>{fast.host(), slow.host()}));
  EXPECT_EQ(after.servers[0].time, 1);
  EXPECT_EQ(after.servers[1].time, 40);
}

TEST(SpeedTest, NoTestWithinAWeekOrWithoutALocalAddress) {
  ScriptedHttpServer s([](const std::string&) { return ScriptedHttpServer::Ok("x"); });
  auto services = Quick();
  services.now = [] { return int64_t{1800000000}; };
  // (last test, local address): tested a second short of a week ago; never tested, but no local address.
  using Case = std::pair<uint32_t, uint32_t>;
  for (const auto& [last, local] : {Case{1800000000 - kSpeedTestInterval + 1, htonl(0x7f000001)}, Case{0, 0}}) {
    LocationServerTable table(services);
    table.Assign({last, {Server(s.host(), 1)}});
    table.StartSpeedTest(kId, [address = local] { return address; });
    table.WaitForSpeedTest();
    EXPECT_EQ(table.Snapshot().lastTest, last);
  }
  EXPECT_EQ(s.RequestCount(), 0u);
}

// Stopping cuts a download short, in a speed test or a request alike.
TEST(SpeedTest, StoppingEndsItLearnsNothingAndNothingStartsAfter) {
  ScriptedHttpServer stall([](const std::string&) { return ScriptedHttpServer::Stall(); });
  auto services = Quick();
  services.transferTimeoutMs = 60000;
  LocationServerTable table(services);
  table.Assign({0, {Server(stall.host(), 7)}});
  table.StartSpeedTest(kId, [] { return htonl(0x7f000001); });
  ASSERT_TRUE(stall.WaitForRequests(1));
  const auto start = Clock::now();
  table.Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  const ServerList after = table.Snapshot();
  EXPECT_EQ(after.lastTest, 0u) << "cut short: tested again at the next start";
  EXPECT_EQ(after.servers[0].time, 7) << "a cancelled download says nothing about the server";
  EXPECT_FALSE(table.FetchFromLocationServers(PlaceRequest()).ok);
  EXPECT_EQ(stall.RequestCount(), 1u) << "nothing starts after Stop";
}

// ------------------------------------------------------------- place lookups

TEST(PlaceLookup, OnlyCountryAndZipMakeTheRequestPath) {
  ScriptedHttpServer s([](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,51.5,-0.12"); });
  LocationServerTable table(Quick());
  table.Assign({0, {Server(s.host(), 1)}});
  locwire::PlaceQuery q;
  q.country = "US";
  q.zip = "10001";
  q.url = "";  // empty counts as absent
  auto p = PlaceLookup(table, q);
  ASSERT_TRUE(p);
  EXPECT_EQ(*p, (PlacePosition{51.5, -0.12}));
  ASSERT_EQ(s.RequestCount(), 1u);
  EXPECT_EQ(s.Requests()[0].target, "/lookup/?country=US&zip=10001");
  EXPECT_NE(s.Requests()[0].head.find("User-Agent: Hopsight_Express\r\n"), std::string::npos);

  // An answer longer than the 774 bytes kept is cut, and what is kept still reads.
  ScriptedHttpServer longer(
      [](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,-12.5,130.75" + std::string(5000, ' ')); });
  table.Assign({0, {Server(longer.host(), 1)}});
  EXPECT_EQ(PlaceLookup(table, q), (PlacePosition{-12.5, 130.75}));
}

// The companion server started as ./run starts it: no --data, so it reads the
// data directory that the build put beside its program.
TEST(CompanionServer, FindsItsDataBesideItsProgram) {
  const std::string data = hs::test::BuildDir() + "/share/hopsight-locd/countries.tsv";
  if (access(data.c_str(), R_OK) != 0) GTEST_SKIP() << "this build has no data directory";
  hs::testing::TempDir dir;
  hs::test::ServerProcess server({}, dir.File("requests.log"));
  ASSERT_GT(server.port(), 0);
  LocationServerTable table;
  table.Assign({0, {{true, "127.0.0.1:" + std::to_string(server.port()), 1}}});
  locwire::PlaceQuery q;
  q.country = "DE";
  auto p = PlaceLookup(table, q);
  ASSERT_TRUE(p) << "the real data places Germany";
  EXPECT_NEAR(p->latitude, 52.5, 0.5) << "Berlin";
}

}  // namespace
}  // namespace hs::geo
