// One hop's probe: an echo request with a chosen TTL, retried once, and a
// full-TTL test of the target when the hop stays silent.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/icmp_echo.h"
#include "trace/records.h"

namespace hs {

inline constexpr uint32_t kReplyWaitMs = 3000;
inline constexpr uint16_t kEchoDataSize = 32;
inline constexpr int kTargetTestTtl = 255;

using MillisecondClock = std::function<uint32_t()>;

// Fills `row` with the outcome of probing `destination` at `ttl`. `icmp` may
// be null (no echo facility): every send then counts as failed. With `record`
// the answering address is stored, the row's stage becomes Probed, and the
// call is abandoned without touching the row when the trace is stopped or
// replaced while a request is out.
void EchoProbe(HopRecord& row, platform::IcmpEcho* icmp, uint32_t destination, int ttl,
               uint32_t timeoutMs, const std::atomic<int>& traceRunning,
               const std::atomic<uint32_t>& traceSerial, bool record, const MillisecondClock& clock);

// The request payload: the pattern text repeated and cut at kEchoDataSize.
const uint8_t* EchoRequestData();

}  // namespace hs
