// ICMP echo facility: one blocking request with a chosen TTL, one classified answer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace hs::platform {

// Status values of an echo answer. The numbers are the trace engine's row
// statuses and are stored in history files, so they must never change.
enum IcmpStatus : uint32_t {
  kIcmpSuccess = 0,                 // echo reply from the destination
  kIcmpDestNetUnreachable = 11002,
  kIcmpDestHostUnreachable = 11003,
  kIcmpDestProtUnreachable = 11004,
  kIcmpDestPortUnreachable = 11005,
  kIcmpPacketTooBig = 11009,
  kIcmpTimedOut = 11010,
  kIcmpTtlExpiredTransit = 11013,
  kIcmpTtlExpiredReassembly = 11014,
  kIcmpParameterProblem = 11015,
  kIcmpBadDestination = 11018,
};

struct IcmpEchoReply {
  uint32_t address = 0;  // who answered, network byte order
  uint32_t status = kIcmpTimedOut;
};

// One open echo facility (the equivalent of an ICMP handle). Not shared
// between threads: every thread that probes opens its own.
class IcmpEcho {
 public:
  virtual ~IcmpEcho() = default;
  // Sends one echo request to `destination` (network byte order) with the given
  // TTL and payload, and waits up to `timeoutMs` for an answer that belongs to
  // this request. Returns the number of replies written to `reply` (0 or 1);
  // 0 means no answer in time or a failed send.
  virtual int SendEcho(uint32_t destination, uint8_t ttl, const void* data,
                       uint16_t size, uint32_t timeoutMs, IcmpEchoReply* reply) = 0;
};

struct IcmpOpenResult {
  std::unique_ptr<IcmpEcho> echo;  // null when no backend could be opened
  std::string backend;             // "datagram" or "raw"
  std::string error;               // why not, with both fixes named
  // The parts of `error`, for saying it in the program's language: each
  // kind of socket's refusal, and this program's path for the setcap fix.
  std::string refusals;
  std::string program;
};

// Tries the unprivileged datagram ICMP socket first and a raw ICMP socket
// second.
IcmpOpenResult OpenIcmpEcho();

}  // namespace hs::platform
