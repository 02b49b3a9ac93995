// The bytes of ICMP echo: building requests and deciding whether a received
// packet answers one particular request. Pure functions, so that every rule
// (whose answer is it, which status) is testable with hand-made packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace hs::platform::icmpwire {

inline constexpr size_t kIcmpHeaderSize = 8;
inline constexpr uint8_t kTypeEchoReply = 0;
inline constexpr uint8_t kTypeDestUnreachable = 3;
inline constexpr uint8_t kTypeEchoRequest = 8;
inline constexpr uint8_t kTypeTimeExceeded = 11;
inline constexpr uint8_t kTypeParameterProblem = 12;

// Internet checksum (RFC 1071) over `size` bytes; returns the value to store
// in the checksum field as it lies in memory (so a packet with a correct
// checksum sums to 0).
uint16_t Checksum(const uint8_t* data, size_t size);

// An echo request: header with identifier and sequence (host order here,
// network order on the wire), the payload and a valid checksum.
std::vector<uint8_t> BuildEchoRequest(uint16_t identifier, uint16_t sequence,
                                      const void* payload, size_t size);

// Destinations no echo request can be sent to: 0.0.0.0/8, multicast
// (224/4), the reserved 240/4 and the limited broadcast. Network byte order.
bool IsUnaddressable(uint32_t destination);

// Status for an ICMP error of this type and code; nullopt for types that say
// nothing about our request (redirects, source quench, ...).
std::optional<uint32_t> StatusForError(uint8_t type, uint8_t code);

// What the answer to one request must look like.
struct EchoExpectation {
  uint32_t destination = 0;  // network order
  uint16_t identifier = 0;   // host order
  uint16_t sequence = 0;     // host order
  const uint8_t* payload = nullptr;
  size_t payloadSize = 0;
};

struct EchoAnswer {
  uint32_t address = 0;  // who answered, network order
  uint32_t status = 0;
  bool operator==(const EchoAnswer&) const = default;
};

// A packet read from a raw ICMP socket (IPv4 header included). An echo reply
// counts when it comes from the destination with our identifier, sequence and
// payload; an error counts when its quoted packet is our echo request to the
// destination. Anything else (other programs' traffic, forgeries, truncated
// or corrupt packets) is nullopt.
std::optional<EchoAnswer> ParseRawPacket(const uint8_t* packet, size_t size,
                                         const EchoExpectation& expected);

// A message read from a datagram ICMP socket (ICMP header and payload, no IP
// header) that came from `source`. The kernel already filtered by
// identifier; we still check everything else.
std::optional<EchoAnswer> ParseDatagramReply(const uint8_t* message, size_t size,
                                             uint32_t source, const EchoExpectation& expected);

// An entry of a datagram socket's error queue: the extended error's origin,
// type and code, the offender, the destination of the request that caused it
// and the copy of that request's echo header (and whatever payload follows).
struct QueuedError {
  uint8_t origin = 0;  // SO_EE_ORIGIN_*
  uint8_t type = 0;
  uint8_t code = 0;
  uint32_t offender = 0;             // network order
  uint32_t originalDestination = 0;  // network order
  const uint8_t* quoted = nullptr;
  size_t quotedSize = 0;
};
inline constexpr uint8_t kOriginIcmp = 2;  // SO_EE_ORIGIN_ICMP

std::optional<EchoAnswer> ParseQueuedError(const QueuedError& error,
                                           const EchoExpectation& expected);

}  // namespace hs::platform::icmpwire
