// Any bytes a raw or datagram ICMP socket may deliver: the parsers must never
// read out of bounds, and whatever they accept must really be our answer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/icmp_wire.h"

using namespace hs::platform::icmpwire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kPayload[] = "fuzz payload";
  EchoExpectation expected;
  expected.destination = 0x020912c6;  // 198.18.9.2 (network order on little-endian)
  expected.identifier = 0x1234;
  expected.sequence = 0xbeef;
  expected.payload = kPayload;
  expected.payloadSize = sizeof kPayload;

  if (auto a = ParseRawPacket(data, size, expected)) {
    // An accepted echo reply comes from the destination; an error names a sender.
    if (a->status == 0 && a->address != expected.destination) std::abort();
  }
  if (size >= 4) {
    uint32_t source;
    std::memcpy(&source, data, 4);
    if (auto a = ParseDatagramReply(data + 4, size - 4, source, expected)) {
      if (a->address != expected.destination) std::abort();
    }
    QueuedError e;
    e.origin = data[0];
    e.type = data[1];
    e.code = data[2];
    e.offender = source;
    e.originalDestination = data[3] & 1 ? expected.destination : source;
    e.quoted = data + 4;
    e.quotedSize = size - 4;
    if (auto a = ParseQueuedError(e, expected)) {
      if (e.origin != kOriginIcmp || a->address != source) std::abort();
    }
  }
  return 0;
}
