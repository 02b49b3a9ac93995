// Real echo requests to 127.0.0.1 through every backend this process may
// open. Exits 77 (skipped) when neither backend can be opened here.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/icmp_backends.h"
#include "platform/icmp_echo.h"

namespace hs::platform {
namespace {

const uint32_t kLoopback = inet_addr("127.0.0.1");
const std::string kPayload = "HopSight echo test!HopSight echo";

std::vector<IcmpOpenResult> OpenAll() {
  std::vector<IcmpOpenResult> all;
  for (auto open : {OpenDatagramIcmpEcho, OpenRawIcmpEcho}) {
    IcmpOpenResult r = open();
    if (r.echo) all.push_back(std::move(r));
  }
  return all;
}

TEST(IcmpLoopback, EveryOpenableBackendGetsAnEchoReplyFromTheDestination) {
  for (auto& r : OpenAll()) {
    SCOPED_TRACE(r.backend);
    for (int i = 0; i < 3; ++i) {
      IcmpEchoReply reply;
      ASSERT_EQ(r.echo->SendEcho(kLoopback, 64, kPayload.data(), kPayload.size(), 2000, &reply), 1);
      EXPECT_EQ(reply.status, kIcmpSuccess);
      EXPECT_EQ(reply.address, kLoopback);
    }
    // Odd sizes and an empty payload come back intact as well.
    for (uint16_t size : {0, 1, 1000}) {
      std::string data(size, 'x');
      IcmpEchoReply reply;
      EXPECT_EQ(r.echo->SendEcho(kLoopback, 64, data.data(), size, 2000, &reply), 1) << size;
    }
  }
}

TEST(IcmpLoopback, UnaddressableDestinationAnswersBadDestinationAtOnce) {
  for (auto& r : OpenAll()) {
    SCOPED_TRACE(r.backend);
    for (const char* bad : {"0.0.0.0", "224.0.0.1", "240.1.2.3", "255.255.255.255"}) {
      IcmpEchoReply reply;
      auto start = std::chrono::steady_clock::now();
      ASSERT_EQ(r.echo->SendEcho(inet_addr(bad), 64, kPayload.data(), kPayload.size(), 3000, &reply), 1);
      EXPECT_EQ(reply.status, kIcmpBadDestination) << bad;
      EXPECT_EQ(reply.address, 0u);
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "waited for " << bad;
    }
  }
}

TEST(IcmpLoopback, TwoObjectsInTwoThreadsEachGetTheirOwnAnswers) {
  // Both objects of one backend probe at once with different payloads; an
  // answer taken by the wrong object would fail its payload check and time out.
  for (auto open : {OpenDatagramIcmpEcho, OpenRawIcmpEcho}) {
    IcmpOpenResult a = open(), b = open();
    if (!a.echo || !b.echo) continue;
    SCOPED_TRACE(a.backend);
    int okA = 0, okB = 0;
    auto run = [](IcmpEcho* echo, char fill, int* ok) {
      std::string data(40, fill);
      for (int i = 0; i < 40; ++i) {
        IcmpEchoReply reply;
        if (echo->SendEcho(kLoopback, 64, data.data(), data.size(), 2000, &reply) == 1 &&
            reply.status == kIcmpSuccess)
          ++*ok;
      }
    };
    std::thread ta(run, a.echo.get(), 'a', &okA);
    std::thread tb(run, b.echo.get(), 'b', &okB);
    ta.join();
    tb.join();
    EXPECT_EQ(okA, 40);
    EXPECT_EQ(okB, 40);
  }
}

TEST(IcmpLoopback, ATimedOutRequestDoesNotSpoilTheNextOne) {
  for (auto& r : OpenAll()) {
    SCOPED_TRACE(r.backend);
    IcmpEchoReply reply;
    // A zero wait may or may not catch the answer; either way it leaves a
    // reply behind or consumes it, and the next request must get its own.
    r.echo->SendEcho(kLoopback, 64, kPayload.data(), kPayload.size(), 0, &reply);
    ASSERT_EQ(r.echo->SendEcho(kLoopback, 64, "other", 5, 2000, &reply), 1);
    EXPECT_EQ(reply.status, kIcmpSuccess);
  }
}

TEST(IcmpOpen, WithoutAnyBackendTheErrorNamesBothFixes) {
  auto check = [](const IcmpOpenResult& r) {
    return !r.echo && r.error.find("ping_group_range=\"0 2147483647\"") != std::string::npos &&
           r.error.find("setcap cap_net_raw+ep") != std::string::npos;
  };
  IcmpOpenResult here = OpenIcmpEcho();
  if (!here.echo) {
    EXPECT_TRUE(check(here)) << here.error;
    return;
  }
  EXPECT_TRUE(here.backend == "datagram" || here.backend == "raw") << here.backend;
  EXPECT_TRUE(here.error.empty()) << here.error;
  if (geteuid() != 0) return;
  // As root, find out what an ordinary user gets: drop to nobody in a child.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    IcmpOpenResult r = OpenIcmpEcho();
    if (r.echo) _exit(r.backend == "datagram" ? 2 : 4);  // the system allows nobody: nothing to check
    _exit(check(r) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  int code = WEXITSTATUS(status);
  EXPECT_TRUE(code == 0 || code == 2) << "child exit " << code;
}

}  // namespace
}  // namespace hs::platform

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  bool any = hs::platform::OpenDatagramIcmpEcho().echo || hs::platform::OpenRawIcmpEcho().echo;
  if (!any) {
    std::printf("SKIPPED: no ICMP echo backend can be opened here\n");
    return 77;
  }
  return RUN_ALL_TESTS();
}
