// Real echo requests to 127.0.0.1 through every backend this process may
// open. Exits 77 (skipped) when neither backend can be opened here. Routes,
// answers kept apart between programs, and the error that names both fixes
// are tested in the lab (tests/lab/lab_probe_test.cpp).
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
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

}  // namespace
}  // namespace hs::platform

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (hs::platform::OpenAll().empty()) {
    std::printf("SKIPPED: no ICMP echo backend can be opened here\n");
    return 77;
  }
  return RUN_ALL_TESTS();
}
