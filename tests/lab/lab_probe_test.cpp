// The ICMP echo backends against the lab's routers, where hopsight-trace's
// lab test does not reach: the IP header of the requests, a silent hop's
// whole wait, and which backend is chosen. (Every route through both
// backends, and two programs probing at once, are lab_trace_test's.) Run by
// lab.sh; exits 77 (skipped) outside a lab.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lab/lab_support.h"

namespace hs::lab {
namespace {

std::string g_probe;  // path of icmp-probe

struct ProbeLine {
  int ttl = 0;
  unsigned status = 0;
  std::string address, backend;
};

std::vector<ProbeLine> ParseProbe(const std::string& out) {
  std::vector<ProbeLine> lines;
  std::istringstream in(out);
  ProbeLine l;
  while (in >> l.ttl >> l.status >> l.address >> l.backend) lines.push_back(l);
  return lines;
}

std::string ProbeCommand(const std::string& backend, const Route& route, int timeoutMs = 400) {
  std::string cmd = Quote(g_probe) + " --backend " + backend + " --timeout " +
                    std::to_string(timeoutMs) + " " + route.destination;
  for (const Hop& hop : route.hops) cmd += " " + std::to_string(hop.ttl);
  return cmd;
}

// Compares icmp-probe's lines with the route's TTLs.
void ExpectRoute(const std::string& name, const Route& route, const Ran& ran, const std::string& backend) {
  SCOPED_TRACE(name + " via " + backend);
  ASSERT_EQ(ran.exitCode, 0) << ran.out;
  auto lines = ParseProbe(ran.out);
  ASSERT_EQ(lines.size(), route.hops.size()) << ran.out;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Hop& hop = route.hops[i];
    EXPECT_EQ(lines[i].ttl, hop.ttl);
    EXPECT_EQ(lines[i].status, hop.status) << "TTL " << hop.ttl;
    EXPECT_EQ(lines[i].address, hop.address) << "TTL " << hop.ttl;
    EXPECT_EQ(lines[i].backend, backend);
  }
}

// The IPv4 headers of the echo requests that leave the client namespace,
// seen on the wire (an AF_PACKET socket for all protocols gets a copy of
// every outgoing packet; one for IPv4 alone would see incoming ones only).
class OutgoingEchoRequests {
 public:
  OutgoingEchoRequests() : fd_(socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL))) {}
  ~OutgoingEchoRequests() {
    if (fd_ >= 0) close(fd_);
  }
  bool Open() const { return fd_ >= 0; }
  // Everything captured so far that is an echo request to `destination`.
  std::vector<iphdr> To(const std::string& destination) {
    std::vector<iphdr> out;
    uint8_t packet[2048];
    for (;;) {
      sockaddr_ll from{};
      socklen_t length = sizeof from;
      ssize_t n = recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) break;
      if (from.sll_pkttype != PACKET_OUTGOING || from.sll_protocol != htons(ETH_P_IP) ||
          n < static_cast<ssize_t>(sizeof(iphdr)))
        continue;
      iphdr ip;
      std::memcpy(&ip, packet, sizeof ip);
      const size_t headerBytes = ip.ihl * 4u;
      if (ip.protocol != IPPROTO_ICMP || n <= static_cast<ssize_t>(headerBytes)) continue;
      if (packet[headerBytes] != 8 || ip.daddr != inet_addr(destination.c_str())) continue;  // type 8: echo request
      out.push_back(ip);
    }
    return out;
  }

 private:
  int fd_;
};

// Every echo request of one icmp-probe run left with TOS 0, IP flags 0 (no
// don't-fragment bit, which Linux sets by default) and the TTL asked for.
void ExpectPlainEchoRequests(const std::string& backend, bool asNobody, const Route& route) {
  SCOPED_TRACE(backend);
  OutgoingEchoRequests capture;
  ASSERT_TRUE(capture.Open()) << std::strerror(errno);
  const std::string cmd = ProbeCommand(backend, route);
  ASSERT_EQ(RunCommand(asNobody ? AsNobody(cmd) : cmd).exitCode, 0);
  const std::vector<iphdr> sent = capture.To(route.destination);
  ASSERT_EQ(sent.size(), route.hops.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(ntohs(sent[i].frag_off), 0) << "TTL " << route.hops[i].ttl;
    EXPECT_EQ(sent[i].tos, 0) << "TTL " << route.hops[i].ttl;
    EXPECT_EQ(sent[i].ttl, route.hops[i].ttl);
  }
}

class Lab : public testing::Test {
 protected:
  void SetUp() override { routes_ = ReadTopology(Env("LAB_TOPOLOGY")); ASSERT_FALSE(routes_.empty()); }
  const Route& R(const std::string& name) { return routes_.at(name); }
  std::map<std::string, Route> routes_;
};

using LabProbe = Lab;

TEST_F(LabProbe, RawEchoRequestsLeaveWithIpFlagsZero) { ExpectPlainEchoRequests("raw", false, R("bench")); }

TEST_F(LabProbe, SilentHopWaitsTheWholeTimeoutAndTheNextHopStillAnswers) {
  Route silentThenNext;
  silentThenNext.destination = R("target").destination;
  silentThenNext.hops = {R("target").hops[2], R("target").hops[3]};
  ASSERT_EQ(silentThenNext.hops[0].status, 11010u);
  Ran ran = RunCommand(ProbeCommand("raw", silentThenNext, 600));
  ExpectRoute("silent hop", silentThenNext, ran, "raw");
  EXPECT_GE(ran.seconds, 0.6);
}

// The client namespace lets every group use datagram ICMP sockets.
using LabOpen = Lab;

TEST_F(LabOpen, DatagramEchoRequestsLeaveWithIpFlagsZero) {
  ExpectPlainEchoRequests("datagram", true, R("bench"));
}

TEST_F(LabOpen, AutomaticChoicePrefersTheDatagramSocket) {
  Route first;
  first.destination = R("bench").destination;
  first.hops = {R("bench").hops.back()};
  ExpectRoute("as root", first, RunCommand(ProbeCommand("auto", first)), "datagram");
  ExpectRoute("as nobody", first, RunCommand(AsNobody(ProbeCommand("auto", first))), "datagram");
}

// The client namespace keeps ping_group_range at "1 0".
using LabClosed = Lab;

TEST_F(LabClosed, UnprivilegedUserIsToldBothFixes) {
  Ran ran = RunCommand(AsNobody(ProbeCommand("auto", R("bench"))), true);
  EXPECT_EQ(ran.exitCode, 3) << ran.out;
  EXPECT_NE(ran.out.find("sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""), std::string::npos) << ran.out;
  EXPECT_NE(ran.out.find("setcap cap_net_raw+ep"), std::string::npos) << ran.out;
}

}  // namespace
}  // namespace hs::lab

int main(int argc, char** argv) {
  return hs::lab::LabMain(argc, argv, "probe", hs::lab::g_probe);
}
