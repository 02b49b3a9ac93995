// Rules of the ICMP echo wire format, checked with hand-made packets.
#include "platform/icmp_wire.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/icmp_echo.h"

namespace hs::platform::icmpwire {
namespace {

uint32_t A(const char* dotted) { return inet_addr(dotted); }

// We (kUs) probe kDest; kRouter answers on the way.
const uint32_t kUs = A("198.18.0.2"), kDest = A("198.18.9.2"), kRouter = A("198.18.3.1");

const std::string kPayload = "abcdefghijklmnopqrsabcdefghijklm";
constexpr uint16_t kId = 0x1234;
constexpr uint16_t kSeq = 0xbeef;

EchoExpectation Expect() {
  return {.destination = kDest, .identifier = kId, .sequence = kSeq,
          .payload = reinterpret_cast<const uint8_t*>(kPayload.data()), .payloadSize = kPayload.size()};
}

// An IPv4 header (with `optionWords` 32-bit words of options) and `body`.
std::vector<uint8_t> Ip(uint32_t source, uint32_t destination, const std::vector<uint8_t>& body,
                        int optionWords = 0) {
  size_t header = 20 + 4 * static_cast<size_t>(optionWords);
  std::vector<uint8_t> p(header + body.size());
  p[0] = static_cast<uint8_t>(0x40 | (header / 4));
  p[2] = static_cast<uint8_t>(p.size() >> 8);
  p[3] = static_cast<uint8_t>(p.size());
  p[8] = 64;
  p[9] = IPPROTO_ICMP;
  std::memcpy(&p[12], &source, 4);
  std::memcpy(&p[16], &destination, 4);
  std::memcpy(p.data() + header, body.data(), body.size());
  return p;
}

// Writes the checksum of the ICMP message that starts at `at` into it.
void Resum(std::vector<uint8_t>& p, size_t at = 0) {
  p[at + 2] = p[at + 3] = 0;
  const uint16_t sum = Checksum(p.data() + at, p.size() - at);
  std::memcpy(&p[at + 2], &sum, 2);
}

// An ICMP message with a correct checksum.
std::vector<uint8_t> Icmp(uint8_t type, uint8_t code, const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> m(8 + rest.size());
  m[0] = type;
  m[1] = code;
  std::copy(rest.begin(), rest.end(), m.begin() + 8);
  Resum(m);
  return m;
}

std::vector<uint8_t> EchoReply(uint16_t id = kId, uint16_t seq = kSeq, const std::string& payload = kPayload) {
  auto request = BuildEchoRequest(id, seq, payload.data(), payload.size());
  request[0] = kTypeEchoReply;
  Resum(request);
  return request;
}

// An ICMP error from `router` quoting our request (IP header + first 8 bytes
// of the echo, the minimum a router must send).
std::vector<uint8_t> ErrorPacket(uint8_t type, uint8_t code, uint32_t router = kRouter,
                                 uint32_t quotedDestination = kDest, uint16_t id = kId, uint16_t seq = kSeq,
                                 size_t quotedEchoBytes = 8) {
  auto request = BuildEchoRequest(id, seq, kPayload.data(), kPayload.size());
  request.resize(quotedEchoBytes);
  auto quoted = Ip(kUs, quotedDestination, request);
  return Ip(router, kUs, Icmp(type, code, quoted));
}

std::optional<EchoAnswer> Raw(const std::vector<uint8_t>& p, const EchoExpectation& e = Expect()) {
  return ParseRawPacket(p.data(), p.size(), e);
}

TEST(IcmpDestination, UnaddressableRangesAreRecognised) {
  for (const char* bad : {"0.0.0.0", "0.1.2.3", "224.0.0.1", "239.255.255.255", "240.0.0.1",
                          "255.255.255.255"})
    EXPECT_TRUE(IsUnaddressable(A(bad))) << bad;
  for (const char* good : {"127.0.0.1", "198.18.0.1", "1.0.0.0", "223.255.255.255", "10.0.0.1"})
    EXPECT_FALSE(IsUnaddressable(A(good))) << good;
}

TEST(IcmpStatus, ErrorTypesAndCodesMapToStatuses) {
  EXPECT_EQ(StatusForError(11, 0), kIcmpTtlExpiredTransit);
  EXPECT_EQ(StatusForError(11, 1), kIcmpTtlExpiredReassembly);
  for (uint8_t code : {0, 6, 9, 11}) EXPECT_EQ(StatusForError(3, code), kIcmpDestNetUnreachable) << +code;
  for (uint8_t code : {1, 7, 10, 12, 13, 14, 15})
    EXPECT_EQ(StatusForError(3, code), kIcmpDestHostUnreachable) << +code;
  EXPECT_EQ(StatusForError(3, 2), kIcmpDestProtUnreachable);
  EXPECT_EQ(StatusForError(3, 3), kIcmpDestPortUnreachable);
  EXPECT_EQ(StatusForError(3, 4), kIcmpPacketTooBig);
  EXPECT_EQ(StatusForError(12, 0), kIcmpParameterProblem);
  EXPECT_EQ(StatusForError(5, 0), std::nullopt);  // redirect
  EXPECT_EQ(StatusForError(4, 0), std::nullopt);  // source quench
  EXPECT_EQ(StatusForError(8, 0), std::nullopt);  // someone's echo request
}

TEST(RawEchoReply, AcceptedOnlyFromTheDestinationWithOurIdSequenceAndPayload) {
  EXPECT_EQ(Raw(Ip(kDest, kUs, EchoReply())), (EchoAnswer{kDest, kIcmpSuccess}));
  EXPECT_EQ(Raw(Ip(A("198.18.9.3"), kUs, EchoReply())), std::nullopt) << "other source";
  EXPECT_EQ(Raw(Ip(kDest, kUs, EchoReply(kId + 1))), std::nullopt) << "foreign identifier";
  EXPECT_EQ(Raw(Ip(kDest, kUs, EchoReply(kId, kSeq - 1))), std::nullopt) << "earlier sequence";
  std::string changed = kPayload;
  changed[5] ^= 1;
  EXPECT_EQ(Raw(Ip(kDest, kUs, EchoReply(kId, kSeq, changed))), std::nullopt) << "payload";
  EXPECT_EQ(Raw(Ip(kDest, kUs, EchoReply(kId, kSeq, kPayload.substr(1)))), std::nullopt) << "short payload";
}

TEST(RawPacket, CorruptTruncatedOrNonIcmpPacketsAreRejected) {
  auto good = Ip(kDest, kUs, EchoReply());
  auto badSum = good;
  badSum[20 + 10] ^= 0xff;
  EXPECT_EQ(Raw(badSum), std::nullopt);
  auto notIcmp = good;
  notIcmp[9] = IPPROTO_UDP;
  EXPECT_EQ(Raw(notIcmp), std::nullopt);
  auto v6 = good;
  v6[0] = 0x65;
  EXPECT_EQ(Raw(v6), std::nullopt);
  for (size_t cut : {0, 10, 20, 27}) EXPECT_EQ(ParseRawPacket(good.data(), cut, Expect()), std::nullopt) << cut;
  // Bytes after the IP total length (link padding) do not count.
  auto padded = good;
  padded.insert(padded.end(), {0, 0, 0, 0});
  EXPECT_EQ(Raw(padded), (EchoAnswer{kDest, kIcmpSuccess}));
}

TEST(RawError, TimeExceededQuotingOurRequestNamesTheRouter) {
  EXPECT_EQ(Raw(ErrorPacket(11, 0)), (EchoAnswer{kRouter, kIcmpTtlExpiredTransit}));
  // A longer quote (routers often send the whole request) is fine too.
  EXPECT_EQ(Raw(ErrorPacket(11, 0, kRouter, kDest, kId, kSeq, 8 + kPayload.size())),
            (EchoAnswer{kRouter, kIcmpTtlExpiredTransit}));
  EXPECT_EQ(Raw(ErrorPacket(3, 1)), (EchoAnswer{kRouter, kIcmpDestHostUnreachable}));
  EXPECT_EQ(Raw(ErrorPacket(3, 0)), (EchoAnswer{kRouter, kIcmpDestNetUnreachable}));
  EXPECT_EQ(Raw(ErrorPacket(12, 0)), (EchoAnswer{kRouter, kIcmpParameterProblem}));
}

TEST(RawError, ErrorsAboutOtherPacketsAreNotOurs) {
  EXPECT_EQ(Raw(ErrorPacket(11, 0, kRouter, A("198.18.9.3"))), std::nullopt) << "other destination";
  EXPECT_EQ(Raw(ErrorPacket(11, 0, kRouter, kDest, kId ^ 0x100)), std::nullopt) << "other id";
  EXPECT_EQ(Raw(ErrorPacket(11, 0, kRouter, kDest, kId, kSeq + 1)), std::nullopt) << "other seq";
  EXPECT_EQ(Raw(ErrorPacket(11, 0, kRouter, kDest, kId, kSeq, 4)), std::nullopt) << "truncated quote";
  EXPECT_EQ(Raw(ErrorPacket(5, 0)), std::nullopt) << "redirect";
  // The quoted packet must be an echo request, not e.g. a UDP datagram.
  auto udp = ErrorPacket(11, 0);
  udp[20 + 8 + 9] = IPPROTO_UDP;
  Resum(udp, 20);
  EXPECT_EQ(Raw(udp), std::nullopt);
  // Someone's echo reply quoted as if it were our request.
  auto reply = ErrorPacket(11, 0);
  reply[20 + 8 + 20] = kTypeEchoReply;
  Resum(reply, 20);
  EXPECT_EQ(Raw(reply), std::nullopt);
}

TEST(RawError, IpOptionsInOuterAndQuotedHeadersAreSkipped) {
  auto request = BuildEchoRequest(kId, kSeq, kPayload.data(), kPayload.size());
  request.resize(8);
  auto quoted = Ip(kUs, kDest, request, 2);
  auto packet = Ip(kRouter, kUs, Icmp(11, 0, quoted), 1);
  EXPECT_EQ(Raw(packet), (EchoAnswer{kRouter, kIcmpTtlExpiredTransit}));
}

TEST(DatagramReply, AcceptedOnlyFromTheDestinationWithOurSequenceAndPayload) {
  auto reply = EchoReply();
  EXPECT_EQ(ParseDatagramReply(reply.data(), reply.size(), kDest, Expect()), (EchoAnswer{kDest, kIcmpSuccess}));
  EXPECT_EQ(ParseDatagramReply(reply.data(), reply.size(), A("198.18.9.9"), Expect()), std::nullopt);
  auto stale = EchoReply(kId, kSeq - 3);
  EXPECT_EQ(ParseDatagramReply(stale.data(), stale.size(), kDest, Expect()), std::nullopt);
  EXPECT_EQ(ParseDatagramReply(reply.data(), reply.size() - 1, kDest, Expect()), std::nullopt);
}

TEST(DatagramError, QueuedIcmpErrorsForOurSequenceNameTheOffender) {
  auto request = BuildEchoRequest(kId, kSeq, kPayload.data(), kPayload.size());
  QueuedError e{.origin = kOriginIcmp, .type = 11, .code = 0, .offender = A("198.18.4.1"),
                .originalDestination = kDest, .quoted = request.data(), .quotedSize = 8};
  EXPECT_EQ(ParseQueuedError(e, Expect()), (EchoAnswer{A("198.18.4.1"), kIcmpTtlExpiredTransit}));
  e.type = 3;
  e.code = 13;
  EXPECT_EQ(ParseQueuedError(e, Expect()), (EchoAnswer{A("198.18.4.1"), kIcmpDestHostUnreachable}));

  QueuedError local = e;
  local.origin = 1;  // SO_EE_ORIGIN_LOCAL: e.g. message too long
  EXPECT_EQ(ParseQueuedError(local, Expect()), std::nullopt);
  QueuedError other = e;
  other.originalDestination = A("198.18.9.3");
  EXPECT_EQ(ParseQueuedError(other, Expect()), std::nullopt);
  auto earlier = BuildEchoRequest(kId, kSeq - 1, kPayload.data(), kPayload.size());
  QueuedError stale = e;
  stale.quoted = earlier.data();
  EXPECT_EQ(ParseQueuedError(stale, Expect()), std::nullopt);
  QueuedError shortCopy = e;
  shortCopy.quotedSize = 6;
  EXPECT_EQ(ParseQueuedError(shortCopy, Expect()), std::nullopt);
}

}  // namespace
}  // namespace hs::platform::icmpwire
