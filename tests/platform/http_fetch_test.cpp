// HttpFetch against real servers on loopback: the scripted server for odd
// answers, a proxy that records what reaches it, and openssl's TLS server.
#include "platform/http.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/config/temp_dir.h"
#include "tests/platform/scripted_http_server.h"

namespace hs::platform {
namespace {

using hs::test::ScriptedHttpServer;
using Reply = ScriptedHttpServer::Reply;
using Clock = std::chrono::steady_clock;

HttpFetchOptions Quick() {
  HttpFetchOptions o;
  o.connectTimeoutMs = 2000;
  o.transferTimeoutMs = 400;
  return o;
}

// No proxy settings from the environment of whoever runs the tests, nor
// from an earlier test.
class HttpFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY", "no_proxy", "NO_PROXY"})
      unsetenv(name);
  }
};

TEST_F(HttpFetchTest, AGoodAnswerArrivesWholeWithTheUserAgentAndNoCache) {
  ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::Ok("TVGS0,51.5,-0.12"); });
  HttpAnswer a = HttpFetch("http://" + server.host() + "/lookup/?country=GB", 774, "Hopsight_Express");
  EXPECT_EQ(a.result, kHttpOk) << a.error;
  EXPECT_EQ(a.body, "TVGS0,51.5,-0.12");
  EXPECT_FALSE(a.cut);
  ASSERT_EQ(server.RequestCount(), 1u);
  const auto req = server.Requests()[0];
  EXPECT_EQ(req.target, "/lookup/?country=GB");
  EXPECT_NE(req.head.find("\r\nUser-Agent: Hopsight_Express"), std::string::npos) << req.head;
  EXPECT_NE(req.head.find("\r\nCache-Control: no-cache"), std::string::npos) << req.head;

  ScriptedHttpServer empty([](const std::string&) { return ScriptedHttpServer::Ok(""); });
  HttpAnswer e = HttpFetch("http://" + empty.host() + "/x", 774, "t");
  EXPECT_EQ(e.result, kHttpOk) << "an empty body with Content-Length 0 is an answer: " << e.error;
}

TEST_F(HttpFetchTest, AnswersThatCannotBeUsedFailWithResultTwo) {
  struct Case {
    const char* what;
    Reply reply;
  } cases[] = {
      {"chunked", ScriptedHttpServer::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n")},
      {"not found", ScriptedHttpServer::Raw("HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno")},
      {"redirect", ScriptedHttpServer::Raw("HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n")},
      {"short body", ScriptedHttpServer::Raw("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nonly this")},
      {"not HTTP", ScriptedHttpServer::Raw("hello there\r\n")},
  };
  for (const Case& c : cases) {
    ScriptedHttpServer server([&](const std::string&) { return c.reply; });
    HttpAnswer a = HttpFetch("http://" + server.host() + "/x", 774, "t", Quick());
    EXPECT_EQ(a.result, kHttpAddressFailed) << c.what;
    EXPECT_FALSE(a.error.empty()) << c.what;
    EXPECT_FALSE(a.cancelled) << c.what;
  }
}

TEST_F(HttpFetchTest, ABodyLongerThanTheCapacityIsCutAndTheReadingStops) {
  const std::string body(5000, 'b');
  ScriptedHttpServer server([&](const std::string&) { return ScriptedHttpServer::Ok("A" + body); });
  HttpAnswer a = HttpFetch("http://" + server.host() + "/x", 774, "t");
  EXPECT_EQ(a.result, kHttpOk) << a.error;
  EXPECT_EQ(a.body, "A" + body.substr(0, 773));
  EXPECT_TRUE(a.cut);

  // A server that never stops sending: the download ends once the capacity is
  // full, long before the (here generous) transfer time-out.
  ScriptedHttpServer flood([](const std::string&) { return ScriptedHttpServer::Flood(); });
  HttpFetchOptions patient;
  patient.transferTimeoutMs = 60000;
  const auto start = Clock::now();
  HttpAnswer f = HttpFetch("http://" + flood.host() + "/x", 8095, "t", patient);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(f.result, kHttpOk) << f.error;
  EXPECT_EQ(f.body, std::string(8095, 'x'));
}

TEST_F(HttpFetchTest, RefusedInvalidAndMalformedAddressesFail) {
  // Refused: a port that was just free.
  int freePort;
  {
    ScriptedHttpServer gone([](const std::string&) { return ScriptedHttpServer::Ok(""); });
    freePort = gone.port();
  }
  HttpAnswer refused = HttpFetch("http://127.0.0.1:" + std::to_string(freePort) + "/x", 774, "t", Quick());
  EXPECT_EQ(refused.result, kHttpAddressFailed);

  // .invalid names are refused before any resolver is asked.
  HttpAnswer invalid = HttpFetch("http://loc2.hopsight.invalid/loc/?x", 774, "t", Quick());
  EXPECT_EQ(invalid.result, kHttpAddressFailed);
  EXPECT_NE(invalid.error.find(".invalid"), std::string::npos) << invalid.error;
  EXPECT_EQ(HttpFetch("not a url", 774, "t").result, kHttpAddressFailed);
  EXPECT_EQ(HttpFetch("file:///etc/passwd", 774, "t").result, kHttpAddressFailed);
}

// Stopping through HttpCancel is shown by the location client's Stop test;
// here the caller's own question ends the download.
TEST_F(HttpFetchTest, ADownloadNoLongerWantedEndsAtOnce) {
  ScriptedHttpServer stall([](const std::string&) { return ScriptedHttpServer::Stall(); });
  std::atomic<bool> wanted{true};
  HttpFetchOptions o;
  o.transferTimeoutMs = 60000;
  o.stillWanted = [&] { return wanted.load(); };
  std::thread stopper([&] {
    stall.WaitForRequests(1);
    wanted = false;
  });
  const auto start = Clock::now();
  HttpAnswer a = HttpFetch("http://" + stall.host() + "/x", 774, "t", o);
  stopper.join();
  EXPECT_TRUE(a.cancelled);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

TEST_F(HttpFetchTest, ProxiesFromTheEnvironmentAreUsedExceptForThisMachine) {
  ScriptedHttpServer proxy([](const std::string&) { return ScriptedHttpServer::Ok("via proxy"); });
  ScriptedHttpServer direct([](const std::string&) { return ScriptedHttpServer::Ok("direct"); });
  setenv("http_proxy", ("http://" + proxy.host()).c_str(), 1);

  // Another machine's name goes to the proxy in absolute form; the proxy
  // resolves it, we never do.
  HttpAnswer far = HttpFetch("http://location.example.test/loc/?x", 774, "t", Quick());
  EXPECT_EQ(far.result, kHttpOk) << far.error;
  EXPECT_EQ(far.body, "via proxy");
  ASSERT_EQ(proxy.RequestCount(), 1u);
  EXPECT_EQ(proxy.Requests()[0].target, "http://location.example.test/loc/?x");

  // The companion server on loopback is asked directly, proxy or not.
  HttpAnswer near = HttpFetch("http://" + direct.host() + "/loc/?x", 774, "t", Quick());
  EXPECT_EQ(near.body, "direct");
  HttpAnswer named = HttpFetch("http://localhost:" + std::to_string(direct.port()) + "/y", 774, "t", Quick());
  EXPECT_EQ(named.body, "direct") << named.error;
  EXPECT_EQ(proxy.RequestCount(), 1u);
  EXPECT_EQ(direct.RequestCount(), 2u);
}

TEST(HttpHosts, LoopbackAndInvalidNamesAreRecognised) {
  for (const char* h : {"127.0.0.1", "127.1.2.3", "localhost", "LOCALHOST.", "a.localhost", "[::1]", "::1"})
    EXPECT_TRUE(IsLoopbackHost(h)) << h;
  for (const char* h : {"128.0.0.1", "10.0.0.1", "localhost.example", "[::2]", "127.example", "198.18.0.1"})
    EXPECT_FALSE(IsLoopbackHost(h)) << h;
  for (const char* h : {"invalid", "loc2.hopsight.invalid", "X.INVALID", "x.invalid."}) EXPECT_TRUE(IsInvalidHost(h)) << h;
  for (const char* h : {"invalid.example", "notinvalid", "127.0.0.1"}) EXPECT_FALSE(IsInvalidHost(h)) << h;
}

// openssl's test server in its -HTTP mode serves files that hold a whole
// HTTP answer; it prints "ACCEPT host:port" once it listens.
class TlsServer {
 public:
  explicit TlsServer(const std::string& dir) {
    const std::string cd = "cd '" + dir + "' && ";
    if (std::system((cd + "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                          "-keyout key.pem -out cert.pem -days 2 -subj /CN=localhost "
                          "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 >/dev/null 2>&1")
                        .c_str()) != 0)
      return;
    std::ofstream(dir + "/page", std::ios::binary) << "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nover TLS!";
    // The shell prints its process id first; exec hands that id to the server.
    out_ = ::popen((cd + "echo $$; exec openssl s_server -accept 127.0.0.1:0 -cert cert.pem -key key.pem "
                         "-HTTP 2>/dev/null").c_str(), "r");
    if (!out_) return;
    std::string text;
    auto accepted = [&] {
      const size_t at = text.find("ACCEPT ");
      return at != std::string::npos && text.find('\n', at) != std::string::npos;
    };
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!accepted() && Clock::now() < deadline) {
      pollfd p{fileno(out_), POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[256];
      const ssize_t n = read(fileno(out_), buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    pid_ = std::atoi(text.c_str());
    if (accepted()) port_ = std::atoi(text.c_str() + text.find(':', text.find("ACCEPT ")) + 1);
  }
  ~TlsServer() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    if (out_) ::pclose(out_);
  }
  int port() const { return port_; }

 private:
  FILE* out_ = nullptr;
  pid_t pid_ = 0;
  int port_ = 0;
};

TEST_F(HttpFetchTest, HttpsWorksWhereTheServerIsTrustedAndFailsWhereItIsNot) {
  const hs::testing::TempDir dir;
  TlsServer tls(dir.path());
  if (tls.port() == 0) GTEST_SKIP() << "openssl s_server did not start";
  const std::string url = "https://localhost:" + std::to_string(tls.port()) + "/page";
  HttpAnswer untrusted = HttpFetch(url, 774, "t", Quick());
  EXPECT_EQ(untrusted.result, kHttpAddressFailed) << "a self-signed certificate must not be accepted";
  HttpFetchOptions trusted = Quick();
  trusted.caFile = dir / "cert.pem";
  HttpAnswer a = HttpFetch(url, 774, "t", trusted);
  EXPECT_EQ(a.result, kHttpOk) << a.error;
  EXPECT_EQ(a.body, "over TLS!");
}

}  // namespace
}  // namespace hs::platform
