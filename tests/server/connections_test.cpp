// hopsight-locd among clients that are slow, many or greedy: a real process
// on loopback, the bad clients on other loopback addresses than the good one.
// Nothing here measures speed (bench/server_bench.sh does): each check is on
// the order of events, such as "every good request was answered while all
// slow connections were still open".
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "server/wire/locwire.h"
#include "tests/server/server_process.h"

using namespace hs::locwire;
using hs::test::ServerProcess;

namespace {

const InstallIdentity kId{1733400000, 0xdeadbeef, kProductCode};

class Connections : public ::testing::Test {
 protected:
  void SetUp() override {
    // This process holds a thousand sockets too.
    rlimit r{};
    getrlimit(RLIMIT_NOFILE, &r);
    r.rlim_cur = r.rlim_max;
    setrlimit(RLIMIT_NOFILE, &r);
  }
  void TearDown() override {
    for (int fd : open_) close(fd);
  }

  void Start(std::vector<std::string> extra, rlim_t descriptorLimit = 0) {
    hs::test::WriteSmallData(dir_.path());
    std::vector<std::string> args = {"--data", dir_.path()};
    args.insert(args.end(), extra.begin(), extra.end());
    server_ = std::make_unique<ServerProcess>(args, dir_ / "requests.log", descriptorLimit);
    ASSERT_GT(server_->port(), 0) << "server did not start";
  }

  // `count` connections from `source`, each having sent `bytes`.
  std::vector<int> Open(int count, const char* source, const std::string& bytes = "") {
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
      int fd = server_->Connect(source);
      if (fd < 0) {
        ADD_FAILURE() << "connection " << i << " from " << source << " failed: " << std::strerror(errno);
        break;
      }
      if (!bytes.empty()) send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      fds.push_back(fd);
      open_.push_back(fd);
    }
    return fds;
  }

  // Waits (bounded) until `want` of `fds` are closed by the server; returns
  // the ones closed by then.
  static std::vector<int> AwaitClosed(const std::vector<int>& fds, size_t want) {
    std::vector<int> closed;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (closed.size() < want && std::chrono::steady_clock::now() < deadline) {
      std::vector<pollfd> p;
      for (int fd : fds)
        if (std::find(closed.begin(), closed.end(), fd) == closed.end()) p.push_back({fd, POLLIN | POLLRDHUP, 0});
      if (poll(p.data(), p.size(), 100) <= 0) continue;
      for (const pollfd& q : p)
        if (q.revents && ServerProcess::ClosedByPeer(q.fd, 0)) closed.push_back(q.fd);
    }
    return closed;
  }

  static size_t CountClosedNow(const std::vector<int>& fds) {
    return std::count_if(fds.begin(), fds.end(), [](int fd) { return ServerProcess::ClosedByPeer(fd, 0); });
  }

  std::string Route() const {
    return "/" + WriteRouteRequest({kId, false, {{{8, 8, 8, 8}, 0, 1}, {{5, 0, 0, 1}, 0, 2}}});
  }

  hs::test::TempDir dir_;
  std::unique_ptr<ServerProcess> server_;
  std::vector<int> open_;
};

}  // namespace

TEST_F(Connections, AThousandSlowClientsDoNotHoldUpAnyoneElse) {
  // A soft descriptor limit far below a thousand: the server raises it.
  Start({"--max-per-address", "1000", "--header-timeout", "600"}, 256);
  std::vector<int> idle = Open(500, "127.0.0.2");
  std::vector<int> trickling = Open(500, "127.0.0.2", "GET /loc/?0");
  ASSERT_EQ(idle.size() + trickling.size(), 1000u);
  for (int i = 0; i < 20; ++i) {
    hs::test::HttpReply r = server_->Get(Route());
    ASSERT_EQ(r.status, 200) << "request " << i << " while a thousand connections stall: " << r.raw;
    ASSERT_EQ(r.body.size(), 154u);
    for (int fd : trickling) send(fd, "1", 1, MSG_NOSIGNAL);  // one more byte of a request that never ends
  }
  EXPECT_EQ(CountClosedNow(idle), 0u) << "the good requests did not wait for slow connections to go";
  EXPECT_EQ(CountClosedNow(trickling), 0u);
  EXPECT_EQ(server_->Stop(), 0) << "SIGTERM ends the server cleanly with the connections open";
}

TEST_F(Connections, EachClientAddressHoldsOnlyItsShareOfConnections) {
  Start({"--max-per-address", "8", "--header-timeout", "600"});
  std::vector<int> greedy = Open(12, "127.0.0.2");
  // Accepted in order, so by the time this is answered all twelve were admitted or refused.
  ASSERT_EQ(server_->Get(Route()).status, 200) << "another address is still served";
  std::vector<int> refused = AwaitClosed(greedy, 4);
  ASSERT_EQ(refused.size(), 4u);
  std::vector<int> kept;
  for (int fd : greedy)
    if (std::find(refused.begin(), refused.end(), fd) == refused.end()) kept.push_back(fd);
  EXPECT_EQ(CountClosedNow(kept), 0u) << "eight stay";
  std::vector<int> other = Open(8, "127.0.0.3");
  ASSERT_EQ(server_->Get(Route()).status, 200);
  EXPECT_EQ(CountClosedNow(other), 0u) << "the cap is per address";

  // A connection that ends frees its place.
  close(kept[0]);
  close(kept[1]);
  open_.erase(std::remove_if(open_.begin(), open_.end(), [&](int fd) { return fd == kept[0] || fd == kept[1]; }),
              open_.end());
  ASSERT_EQ(server_->Get(Route()).status, 200);  // the server has seen both ends by now
  std::vector<int> again = Open(2, "127.0.0.2");
  ASSERT_EQ(server_->Get(Route()).status, 200);
  EXPECT_EQ(CountClosedNow(again), 0u);
  ASSERT_EQ(server_->Stop(), 0);
  EXPECT_NE(hs::test::ReadFile(dir_ / "requests.log").find("refused 4 connections over the limits (8 per address"),
            std::string::npos);
}

TEST_F(Connections, RequestHeadsAndIdleConnectionsHaveATimeLimit) {
  Start({"--header-timeout", "1", "--idle-timeout", "1"});
  std::vector<int> silent = Open(1, "127.0.0.2");
  std::vector<int> partial = Open(1, "127.0.0.2", "GET /wiz.asp HTTP/1.1\r\nHost: lo");
  std::vector<int> keptAlive = Open(1, "127.0.0.2", "GET /wiz.asp HTTP/1.1\r\n\r\n");
  char buf[4096];
  ssize_t n = recv(keptAlive[0], buf, sizeof buf, 0);
  ASSERT_GT(n, 12);
  EXPECT_EQ(std::string(buf, 12), "HTTP/1.1 200") << "the complete request is answered";
  std::vector<int> all = {silent[0], partial[0], keptAlive[0]};
  EXPECT_EQ(AwaitClosed(all, 3).size(), 3u) << "then the server ends all three";
  EXPECT_EQ(server_->Get(Route()).status, 200);
}

TEST_F(Connections, PipelinedRequestsGetTheirAnswersInOrder) {
  Start({});
  std::string route = Route();
  std::string raw = server_->Exchange("GET " + route + " HTTP/1.1\r\nHost: a\r\n\r\n" +
                                          "GET /lookup/?country=US&zip=10001 HTTP/1.1\r\nHost: a\r\n\r\n"
                                          "GET /flexcheck/?bad HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n",
                                      false);
  size_t first = raw.find("Copyright"), second = raw.find("TVGS0,40.75065,-73.99729"),
         third = raw.find("bad update check");
  ASSERT_NE(first, std::string::npos) << raw;
  ASSERT_NE(second, std::string::npos) << raw;
  ASSERT_NE(third, std::string::npos) << raw;
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);

  std::string old = server_->Exchange("GET /wiz.asp HTTP/1.0\r\n\r\n", false);
  EXPECT_EQ(old.substr(0, 15), "HTTP/1.0 200 OK") << "an HTTP/1.0 answer, and the server closed the connection";
}

TEST_F(Connections, ASecondServerOnTheSamePortIsRefusedWithItsReason) {
  Start({});
  std::string program = hs::test::BuildDir() + "/bin/hopsight-locd";
  std::string out;
  int status = hs::test::RunCommand(program + " --listen 127.0.0.1:" + std::to_string(server_->port()) +
                                        " --data " + dir_.path() + " 2>&1",
                                    &out);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("cannot listen on 127.0.0.1:" + std::to_string(server_->port()) + ": address in use"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("listening on"), std::string::npos);

  // Not an address of this machine (a documentation address; binding sends nothing).
  status = hs::test::RunCommand(program + " --listen 192.0.2.1:0 --data " + dir_.path() + " 2>&1", &out);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("cannot listen on 192.0.2.1:0: address not available"), std::string::npos) << out;
}
