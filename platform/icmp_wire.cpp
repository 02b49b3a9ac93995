#include "platform/icmp_wire.h"

#include <arpa/inet.h>

#include <cstring>

#include "platform/icmp_echo.h"

namespace hs::platform::icmpwire {
namespace {

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t ReadAddress(const uint8_t* p) {  // keeps network order
  uint32_t a;
  std::memcpy(&a, p, 4);
  return a;
}

// An echo request header (and possibly the start of its payload) quoted in an
// error or copied to the error queue: is it ours?
bool IsOurQuotedEcho(const uint8_t* icmp, size_t size, const EchoExpectation& expected) {
  if (size < kIcmpHeaderSize) return false;
  return icmp[0] == kTypeEchoRequest && icmp[1] == 0 && Read16(icmp + 4) == expected.identifier &&
         Read16(icmp + 6) == expected.sequence;
}

bool IsOurEchoReply(const uint8_t* icmp, size_t size, uint32_t source,
                    const EchoExpectation& expected) {
  if (size < kIcmpHeaderSize || icmp[0] != kTypeEchoReply || icmp[1] != 0) return false;
  if (source != expected.destination) return false;
  if (Read16(icmp + 4) != expected.identifier || Read16(icmp + 6) != expected.sequence) return false;
  size_t payloadSize = size - kIcmpHeaderSize;
  return payloadSize == expected.payloadSize &&
         (payloadSize == 0 || std::memcmp(icmp + kIcmpHeaderSize, expected.payload, payloadSize) == 0);
}

}  // namespace

uint16_t Checksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < size; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (i < size) sum += static_cast<uint32_t>(data[i] << 8);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return htons(static_cast<uint16_t>(~sum & 0xffff));
}

std::vector<uint8_t> BuildEchoRequest(uint16_t identifier, uint16_t sequence, const void* payload,
                                      size_t size) {
  std::vector<uint8_t> packet(kIcmpHeaderSize + size);
  packet[0] = kTypeEchoRequest;
  packet[1] = 0;
  packet[4] = static_cast<uint8_t>(identifier >> 8);
  packet[5] = static_cast<uint8_t>(identifier);
  packet[6] = static_cast<uint8_t>(sequence >> 8);
  packet[7] = static_cast<uint8_t>(sequence);
  if (size) std::memcpy(packet.data() + kIcmpHeaderSize, payload, size);
  uint16_t sum = Checksum(packet.data(), packet.size());
  std::memcpy(packet.data() + 2, &sum, 2);
  return packet;
}

bool IsUnaddressable(uint32_t destination) {
  uint8_t first = static_cast<uint8_t>(ntohl(destination) >> 24);
  return first == 0 || first >= 224;
}

std::optional<uint32_t> StatusForError(uint8_t type, uint8_t code) {
  switch (type) {
    case kTypeTimeExceeded:
      return code == 1 ? kIcmpTtlExpiredReassembly : kIcmpTtlExpiredTransit;
    case kTypeParameterProblem:
      return kIcmpParameterProblem;
    case kTypeDestUnreachable:
      switch (code) {
        case 0: case 6: case 9: case 11:
          return kIcmpDestNetUnreachable;
        case 2:
          return kIcmpDestProtUnreachable;
        case 3:
          return kIcmpDestPortUnreachable;
        case 4:
          return kIcmpPacketTooBig;
        default:  // 1, 7, 10, 12-15, and the rare source-route/isolated codes
          return kIcmpDestHostUnreachable;
      }
    default:
      return std::nullopt;
  }
}

std::optional<EchoAnswer> ParseRawPacket(const uint8_t* packet, size_t size,
                                         const EchoExpectation& expected) {
  if (size < 20 || (packet[0] >> 4) != 4) return std::nullopt;
  size_t headerSize = static_cast<size_t>(packet[0] & 0x0f) * 4;
  if (headerSize < 20 || packet[9] != IPPROTO_ICMP) return std::nullopt;
  size_t total = Read16(packet + 2);
  if (total >= headerSize && total < size) size = total;  // ignore link padding
  if (size < headerSize + kIcmpHeaderSize) return std::nullopt;
  uint32_t source = ReadAddress(packet + 12);
  const uint8_t* icmp = packet + headerSize;
  size_t icmpSize = size - headerSize;
  if (Checksum(icmp, icmpSize) != 0) return std::nullopt;

  if (icmp[0] == kTypeEchoReply) {
    if (!IsOurEchoReply(icmp, icmpSize, source, expected)) return std::nullopt;
    return EchoAnswer{source, kIcmpSuccess};
  }
  std::optional<uint32_t> status = StatusForError(icmp[0], icmp[1]);
  if (!status) return std::nullopt;
  // The quoted packet: our IPv4 header and at least the echo header.
  const uint8_t* inner = icmp + kIcmpHeaderSize;
  size_t innerSize = icmpSize - kIcmpHeaderSize;
  if (innerSize < 20 || (inner[0] >> 4) != 4) return std::nullopt;
  size_t innerHeaderSize = static_cast<size_t>(inner[0] & 0x0f) * 4;
  if (innerHeaderSize < 20 || inner[9] != IPPROTO_ICMP) return std::nullopt;
  if (ReadAddress(inner + 16) != expected.destination) return std::nullopt;
  if (innerSize < innerHeaderSize ||
      !IsOurQuotedEcho(inner + innerHeaderSize, innerSize - innerHeaderSize, expected))
    return std::nullopt;
  return EchoAnswer{source, *status};
}

std::optional<EchoAnswer> ParseDatagramReply(const uint8_t* message, size_t size, uint32_t source,
                                             const EchoExpectation& expected) {
  if (!IsOurEchoReply(message, size, source, expected)) return std::nullopt;
  return EchoAnswer{source, kIcmpSuccess};
}

std::optional<EchoAnswer> ParseQueuedError(const QueuedError& error, const EchoExpectation& expected) {
  // Local errors (message too long, no route at send time) are not answers.
  if (error.origin != kOriginIcmp) return std::nullopt;
  if (error.originalDestination != expected.destination) return std::nullopt;
  if (!IsOurQuotedEcho(error.quoted, error.quotedSize, expected)) return std::nullopt;
  std::optional<uint32_t> status = StatusForError(error.type, error.code);
  if (!status) return std::nullopt;
  return EchoAnswer{error.offender, *status};
}

}  // namespace hs::platform::icmpwire
