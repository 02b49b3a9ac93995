#include "trace/echo_probe.h"

#include <array>
#include <cstring>

namespace hs {
namespace {

constexpr char kPattern[] = "HopSightEchoPattern";  // 19 characters
static_assert(sizeof kPattern - 1 == 19);

constexpr std::array<uint8_t, kEchoDataSize> MakeRequestData() {
  std::array<uint8_t, kEchoDataSize> data{};
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(kPattern[i % 19]);
  return data;
}
constexpr std::array<uint8_t, kEchoDataSize> kRequestData = MakeRequestData();

struct Answer {
  int replies = 0;
  platform::IcmpEchoReply reply;
};

Answer Send(platform::IcmpEcho* icmp, uint32_t destination, int ttl, uint32_t timeoutMs) {
  Answer a;
  if (icmp)
    a.replies = icmp->SendEcho(destination, static_cast<uint8_t>(ttl), kRequestData.data(),
                               kEchoDataSize, timeoutMs, &a.reply);
  return a;
}

void Classify(HopRecord& row, const Answer& a, bool record) {
  uint32_t status;
  if (a.replies == 0) {
    status = IP_REQ_TIMED_OUT;
    row.lastRtt = kNoTime;
  } else {
    status = a.reply.status;
    row.lastRtt = status == IP_DEST_NET_UNREACHABLE ? kNoTime : row.receiveTime - row.sendTime;
  }
  row.status = status;
  if (record) row.address = status == IP_REQ_TIMED_OUT ? 0 : a.reply.address;
}

}  // namespace

const uint8_t* EchoRequestData() { return kRequestData.data(); }

void EchoProbe(HopRecord& row, platform::IcmpEcho* icmp, uint32_t destination, int ttl,
               uint32_t timeoutMs, const std::atomic<int>& traceRunning,
               const std::atomic<uint32_t>& traceSerial, bool record, const MillisecondClock& clock) {
  const uint32_t savedSerial = traceSerial.load();
  auto abandoned = [&] {
    return record && (traceRunning.load() == 0 || traceSerial.load() != savedSerial);
  };

  row.sendTime = clock();
  Answer a = Send(icmp, destination, ttl, timeoutMs);
  row.receiveTime = clock();
  if (abandoned()) return;
  Classify(row, a, record);

  if (row.status == IP_REQ_TIMED_OUT) {
    row.sentCount += 1;
    row.droppedCount += 1;
    row.sendTime = clock();
    a = Send(icmp, destination, ttl, timeoutMs);
    row.receiveTime = clock();
    if (abandoned()) return;
    Classify(row, a, record);

    if (row.status == IP_REQ_TIMED_OUT) {
      row.droppedCount += 1;
      // Is the target itself silent? Then the route cannot be followed further.
      row.sendTime = clock();
      const Answer test = Send(icmp, destination, kTargetTestTtl, timeoutMs);
      row.receiveTime = clock();
      if (test.replies == 0 || test.reply.status == IP_REQ_TIMED_OUT) {
        row.status = IP_SUCCESS;
        row.address = destination;
      }
      row.lastRtt = kNoTime;
    }
  }

  if (row.lastRtt != kNoTime) row.rttSum += row.lastRtt;
  row.sentCount += 1;
  if (row.sentCount >= (1 << 24) || row.rttSum >= (1u << 28)) {
    row.sentCount = row.sentCount / 2;
    row.droppedCount = row.droppedCount / 2;
    row.rttSum = row.rttSum / 2;
  }
  if (record) row.SetStage(HopStage::Probed);
}

}  // namespace hs
