// hopsight-locd as a client meets it: a real process on loopback, each form
// checked byte for byte against values worked out here from the test's own
// data, and bad input answered without a crash.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "server/wire/locwire.h"
#include "tests/server/server_process.h"

using namespace hs::locwire;
using hs::test::HttpReply;
using hs::test::RouteEntryText;
using hs::test::ServerProcess;
using hs::test::SmallData;

namespace {

const InstallIdentity kId{1733400000, 0xdeadbeef, kProductCode};

class LocdTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> extra = {}) {
    hs::test::WriteSmallData(dir_.path());
    std::vector<std::string> args = {"--data", dir_.path()};
    args.insert(args.end(), extra.begin(), extra.end());
    server_ = std::make_unique<ServerProcess>(args, dir_ / "requests.log");
    ASSERT_GT(server_->port(), 0) << "server did not start";
  }
  HttpReply Get(const std::string& target) { return server_->Get(target); }

  hs::test::TempDir dir_;
  std::unique_ptr<ServerProcess> server_;
};

}  // namespace

TEST_F(LocdTest, RouteAnswersPlaceEachHopAndOverridesPlaceLabAddresses) {
  hs::test::WriteFile(dir_ / "lab.txt", "198.18.0.0/15 48.8566 2.3522 200\n");
  Start({"--override", dir_ / "lab.txt"});
  RouteRequest req{kId, false, {}};
  // Which address gets which place is the data's rule (geodata_test); here the
  // answer's form, and the override file given at start.
  const std::array<uint8_t, 4> addrs[] = {{192, 168, 1, 1}, {8, 8, 8, 8}, {5, 0, 255, 255}, {198, 18, 3, 4},
                                          {198, 20, 0, 1}};
  for (auto a : addrs) req.hops.push_back({a, 0, 12});
  HttpReply r = Get("/" + WriteRouteRequest(req));
  ASSERT_EQ(r.status, 200) << r.raw;
  ASSERT_EQ(r.body.size(), 5u * 10 + 134);
  EXPECT_EQ(r.headers["content-length"], std::to_string(r.body.size()));
  EXPECT_EQ(r.body.substr(0, 9), "Copyright");
  EXPECT_EQ(r.body.substr(r.body.size() - 6), "fdb6\r\n");
  const std::string zero = "0000000000";
  const std::string us = RouteEntryText(SmallData::kWashington[0], SmallData::kWashington[1], 16);
  const std::string de = RouteEntryText(SmallData::kBerlin[0], SmallData::kBerlin[1], 16);
  const std::string lab = RouteEntryText(48.8566, 2.3522, 200);
  const std::string expected[] = {zero, us, de, lab, zero};
  for (size_t i = 0; i < std::size(expected); ++i)
    EXPECT_EQ(r.body.substr(128 + 10 * i, 10), expected[i]) << "hop " << i << " " << DottedAddress(addrs[i]);

  HttpReply speed = Get("/" + WriteRouteRequest({kId, true, {{{8, 8, 4, 4}, 240, kNoTimeMs}}}));
  ASSERT_EQ(speed.status, 200);
  EXPECT_EQ(speed.body.substr(128), zero + "fdb6\r\n") << "the client's 240 is finer than a country";
}

TEST_F(LocdTest, MalformedRouteRequestsGetAClearHttpError) {
  Start();
  std::string good = WriteRouteRequest({kId, false, {{{8, 8, 8, 8}, 0, 1}}});
  struct Case {
    std::string target;
    int status;
    const char* says;
  } cases[] = {
      {"/" + good.substr(0, good.size() - 3), 400, "multiple of 16"},
      {"/" + good.substr(0, 31) + std::string(16, 'x'), 400, "malformed hex"},
      {"/" + good + std::string(16 * 63, '0'), 400, "too many hops"},
      {"/loc/?", 400, "identity"},
      {"/" + good + std::string(5000, '0'), 414, "too long"},
      {"/" + good.substr(0, 35) + "\xc3\xa9" + good.substr(37), 400, "ASCII"},
      {"/nowhere", 404, "no such service"},
  };
  for (const Case& c : cases) {
    HttpReply r = Get(c.target);
    EXPECT_EQ(r.status, c.status) << c.target.substr(0, 80);
    EXPECT_NE(r.body.find(c.says), std::string::npos) << r.body;
    EXPECT_EQ(r.headers["content-length"], std::to_string(r.body.size()));
  }
  EXPECT_EQ(Get("/" + good).status, 200) << "still serving after bad requests";
}

TEST_F(LocdTest, PlaceLookupsAndTheCountryListAreAnsweredInTheirForms) {
  Start({"--default-country", "DE"});
  EXPECT_EQ(Get("/lookup/?country=US&zip=10001").body, "TVGS0,40.75065,-73.99729");
  EXPECT_EQ(Get("/lookup/?country=DE&city=M%fcnchen").body, "TVGS2,52.52437,13.41053");
  EXPECT_EQ(Get("/lookup/?country=DE&city=%zz").status, 400);
  HttpReply r = Get("/wiz.asp");
  ASSERT_EQ(r.status, 200);
  EXPECT_EQ(r.body,
            "Germany|DE^Canada|CA|5^Equatorial Guinea|GQ|1^Germany|DE|1^United States|US|2^Vatican City|VA|0^");
  EXPECT_EQ(r.headers["content-length"], std::to_string(r.body.size()));
  // Every request line is logged.
  ASSERT_EQ(server_->Stop(), 0);
  std::string log = hs::test::ReadFile(dir_ / "requests.log");
  EXPECT_NE(log.find("127.0.0.1 \"GET /lookup/?country=US&zip=10001 HTTP/1.1\" 200 24"), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /lookup/?country=DE&city=%zz HTTP/1.1\" 400"), std::string::npos) << log;
}

TEST_F(LocdTest, UpdateCheckAnswersCurrentUnlessConfigured) {
  Start();
  std::string check = "/" + WriteUpdateRequest(kId);
  HttpReply r = Get(check);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "0");
  EXPECT_EQ(Get("/flexcheck/?12345").status, 400);

  server_.reset();
  Start({"--update", "info:Servers move on 1 May|http://hopsight.test/news"});
  EXPECT_EQ(Get(check).body, "2\r\nServers move on 1 May\r\nhttp://hopsight.test/news");
  server_.reset();
  Start({"--update", "new"});
  EXPECT_EQ(Get(check).body, "1");
}

TEST(LocdOptions, BadStartOptionsAreRefusedWithAReason) {
  hs::test::TempDir dir;
  hs::test::WriteSmallData(dir.path());
  std::string program = hs::test::BuildDir() + "/bin/hopsight-locd";
  std::string out;
  EXPECT_EQ(hs::test::RunCommand(program + " --listen 127.0.0.1:0 --data /nonexistent 2>&1", &out), 1);
  EXPECT_NE(out.find("/nonexistent/countries.tsv: cannot open"), std::string::npos) << out;
  EXPECT_EQ(hs::test::RunCommand(program + " --listen nowhere --data " + dir.path() + " 2>&1", &out), 2);
  EXPECT_EQ(hs::test::RunCommand(program + " --listen 127.0.0.1:0 --data " + dir.path() + " --update maybe 2>&1", &out), 2);
  hs::test::WriteFile(dir / "junk.mmdb", std::string(4096, 'x'));
  EXPECT_EQ(hs::test::RunCommand(program + " --listen 127.0.0.1:0 --data " + dir.path() + " --mmdb " +
                                     (dir / "junk.mmdb") + " 2>&1", &out), 1);
  EXPECT_NE(out.find("junk.mmdb"), std::string::npos) << out;
  hs::test::WriteFile(dir / "bad.txt", "198.18.0.0/15 100 0 1\n");
  EXPECT_EQ(hs::test::RunCommand(program + " --listen 127.0.0.1:0 --data " + dir.path() + " --override " +
                                     (dir / "bad.txt") + " 2>&1", &out), 1);
  EXPECT_NE(out.find("line 1: bad latitude"), std::string::npos) << out;
}

TEST_F(LocdTest, ConcurrentClientsGetTheSameAnswers) {
  Start();
  std::string route = "/" + WriteRouteRequest({kId, false, {{{8, 8, 8, 8}, 0, 1}, {{5, 0, 0, 1}, 0, 2}}});
  std::string expected = Get(route).body;
  ASSERT_EQ(expected.size(), 154u);
  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t)
    clients.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        if (Get(route).body != expected) ++wrong;
        if (Get(t % 2 ? "/wiz.asp" : "/lookup/?country=US&zip=10001").status != 200) ++wrong;
      }
    });
  for (auto& c : clients) c.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(server_->Stop(), 0) << "no sanitizer report in the server";
}
