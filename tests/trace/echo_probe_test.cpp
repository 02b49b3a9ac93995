// EchoProbe: classification, retries, the target test and the counters.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "scripted.h"

namespace hs::test {
namespace {

const uint32_t kDest = Ip("198.18.9.1");
const uint32_t kHop = Ip("198.18.1.1");

class EchoProbeTest : public ::testing::Test {
 protected:
  // Answers are handed out in order; a missing entry is silence.
  void Script(std::deque<Answer> answers) {
    script_ = std::move(answers);
    net.answer = [this](uint32_t, int) -> Answer {
      if (script_.empty()) return std::nullopt;
      Answer a = script_.front();
      script_.pop_front();
      return a;
    };
  }
  void Probe(HopRecord& row, int ttl = 4) {
    auto icmp = net.Open();
    EchoProbe(row, icmp.get(), kDest, ttl, kReplyWaitMs, running, serial, true,
              [this] { return net.clock(); });
  }

  ScriptedNetwork net;
  std::atomic<int> running{1};
  std::atomic<uint32_t> serial{5};
  std::deque<Answer> script_;
};

HopRef NewRow() { return HopRef::Create(); }

TEST_F(EchoProbeTest, RouterAnsweringAtOnceCountsOneSend) {
  Script({platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT}});
  HopRef row = NewRow();
  Probe(*row);
  EXPECT_EQ(row->status, IP_TTL_EXPIRED_TRANSIT);
  EXPECT_EQ(row->address, kHop);
  EXPECT_EQ(row->lastRtt, net.rttMs);
  EXPECT_EQ(row->rttSum, net.rttMs);
  EXPECT_EQ(row->sentCount, 1);
  EXPECT_EQ(row->droppedCount, 0);
  EXPECT_EQ(row->Stage(), HopStage::Probed);
  EXPECT_EQ(net.Sends().size(), 1u);
}

TEST_F(EchoProbeTest, AnswerOnRetryCountsTwoSendsOneDrop) {
  Script({std::nullopt, platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT}});
  HopRef row = NewRow();
  Probe(*row);
  EXPECT_EQ(row->status, IP_TTL_EXPIRED_TRANSIT);
  EXPECT_EQ(row->sentCount, 2);
  EXPECT_EQ(row->droppedCount, 1);
  EXPECT_EQ(row->lastRtt, net.rttMs);
}

TEST_F(EchoProbeTest, HopSilentTwiceWhileTargetAnswersStaysTimedOut) {
  Script({std::nullopt, std::nullopt, platform::IcmpEchoReply{kDest, IP_SUCCESS}});
  HopRef row = NewRow();
  Probe(*row);
  EXPECT_EQ(row->status, IP_REQ_TIMED_OUT);
  EXPECT_EQ(row->address, 0u);
  EXPECT_EQ(row->lastRtt, kNoTime);
  EXPECT_EQ(row->rttSum, 0u);
  EXPECT_EQ(row->sentCount, 2);
  EXPECT_EQ(row->droppedCount, 2);
  const auto sends = net.Sends();
  ASSERT_EQ(sends.size(), 3u);
  EXPECT_EQ(sends[0].ttl, 4);
  EXPECT_EQ(sends[1].ttl, 4);
  EXPECT_EQ(sends[2].ttl, kTargetTestTtl);
}

TEST_F(EchoProbeTest, HopSilentTwiceWhileTargetSilentTooMarksArrival) {
  Script({});
  HopRef row = NewRow();
  Probe(*row);
  EXPECT_EQ(row->status, IP_SUCCESS);
  EXPECT_EQ(row->address, kDest);
  EXPECT_EQ(row->lastRtt, kNoTime);
  EXPECT_EQ(row->sentCount, 2);
  EXPECT_EQ(row->droppedCount, 2);
}

TEST_F(EchoProbeTest, UnreachableKindsCarryOrDropTheTime) {
  Script({platform::IcmpEchoReply{kHop, IP_DEST_NET_UNREACHABLE}});
  HopRef net_ = NewRow();
  Probe(*net_);
  EXPECT_EQ(net_->status, IP_DEST_NET_UNREACHABLE);
  EXPECT_EQ(net_->lastRtt, kNoTime);
  EXPECT_EQ(net_->rttSum, 0u);

  Script({platform::IcmpEchoReply{kHop, IP_DEST_HOST_UNREACHABLE}});
  HopRef host = NewRow();
  Probe(*host);
  EXPECT_EQ(host->status, IP_DEST_HOST_UNREACHABLE);
  EXPECT_EQ(host->lastRtt, net.rttMs);
  EXPECT_EQ(host->address, kHop);
}

TEST_F(EchoProbeTest, RequestCarriesThirtyTwoBytesOfPattern) {
  std::vector<uint8_t> seen;
  class Capture : public platform::IcmpEcho {
   public:
    explicit Capture(std::vector<uint8_t>& out) : out_(out) {}
    int SendEcho(uint32_t, uint8_t, const void* data, uint16_t size, uint32_t timeout,
                 platform::IcmpEchoReply*) override {
      out_.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
      timeout_ = timeout;
      return 0;
    }
    std::vector<uint8_t>& out_;
    uint32_t timeout_ = 0;
  } capture(seen);
  HopRef row = NewRow();
  EchoProbe(*row, &capture, kDest, 1, kReplyWaitMs, running, serial, true, [] { return 0u; });
  ASSERT_EQ(seen.size(), 32u);
  EXPECT_EQ(std::memcmp(seen.data(), seen.data() + 19, 13), 0);  // the 19-character pattern repeats
  EXPECT_EQ(capture.timeout_, 3000u);
}

TEST_F(EchoProbeTest, StopWhileRequestIsOutLeavesRowUntouched) {
  net.answer = [this](uint32_t, int) -> Answer {
    running = 0;  // the user stops while the request is out
    return platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT};
  };
  HopRef row = NewRow();
  Probe(*row);
  EXPECT_EQ(row->Stage(), HopStage::Created);
  EXPECT_EQ(row->status, kStatusNotProbed);
  EXPECT_EQ(row->address, 0u);
  EXPECT_EQ(row->sentCount, 0);

  running = 1;
  net.answer = [this](uint32_t, int) -> Answer {
    serial += 1;  // a new trace replaces this one
    return std::nullopt;
  };
  HopRef second = NewRow();
  Probe(*second);
  EXPECT_EQ(second->Stage(), HopStage::Created);
  EXPECT_EQ(second->sentCount, 0);
  EXPECT_EQ(net.Sends().size(), 2u);  // no retry after the abandon
}

TEST_F(EchoProbeTest, NoEchoFacilityCountsAsSilence) {
  HopRef row = NewRow();
  EchoProbe(*row, nullptr, kDest, 3, kReplyWaitMs, running, serial, true, [] { return 0u; });
  EXPECT_EQ(row->status, IP_SUCCESS);  // silent hop and silent target
  EXPECT_EQ(row->droppedCount, 2);
}

TEST_F(EchoProbeTest, CountersHalveAtTheirLimitsKeepingRatios) {
  Script({platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT}});
  HopRef row = NewRow();
  row->sentCount = (1 << 24) - 1;
  row->droppedCount = 1000;
  row->rttSum = 5000;
  Probe(*row);
  EXPECT_EQ(row->sentCount, 1 << 23);
  EXPECT_EQ(row->droppedCount, 500);
  EXPECT_EQ(row->rttSum, (5000u + net.rttMs) / 2);

  Script({platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT}});
  HopRef slow = NewRow();
  slow->sentCount = 100;
  slow->droppedCount = 11;
  slow->rttSum = (1u << 28) - net.rttMs;  // this answer's time reaches the limit exactly
  Probe(*slow);
  EXPECT_EQ(slow->rttSum, 1u << 27);
  EXPECT_EQ(slow->sentCount, 50);
  EXPECT_EQ(slow->droppedCount, 5);

  Script({platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT}});
  HopRef below = NewRow();
  below->sentCount = (1 << 24) - 2;
  below->rttSum = (1u << 28) - net.rttMs - 1;
  Probe(*below);
  EXPECT_EQ(below->sentCount, (1 << 24) - 1);
  EXPECT_EQ(below->rttSum, (1u << 28) - 1);
}

TEST(HopRecordTest, ResponseClassFollowsThresholds) {
  HopRef row = HopRef::Create();
  row->lastRtt = 4999;
  EXPECT_EQ(row->HopResponseClass(), 3);
  row->lastRtt = 5000;
  EXPECT_EQ(row->HopResponseClass(), 0);
  row->lastRtt = kNoTime;
  EXPECT_EQ(row->HopResponseClass(), 0);
}

TEST(HopRecordTest, NewRowStartsUnprobedAndNamesAreCut) {
  HopRef row = HopRef::Create();
  EXPECT_EQ(row->status, kStatusNotProbed);
  EXPECT_EQ(row->Stage(), HopStage::Created);
  EXPECT_FALSE(row->Location().HasPosition());
  row->SetName(std::string(300, 'x'));
  EXPECT_EQ(row->Name().size(), 255u);
}

TEST(HopRecordTest, LastReferenceFreesTheRow) {
  const int64_t before = HopRecord::LiveRows();
  {
    HopRef row = HopRef::Create();
    HopRef worker = row;  // a worker keeps the row
    EXPECT_EQ(row->RefCountForTest(), 2);
    row = HopRef();
    EXPECT_EQ(HopRecord::LiveRows(), before + 1);
  }
  EXPECT_EQ(HopRecord::LiveRows(), before);
}

TEST(HopTableTest, WritesOutsideTheTableOrFromAnotherTraceAreRefused) {
  const int64_t before = HopRecord::LiveRows();
  HopTable table;
  table.Reset(7);
  EXPECT_FALSE(table.SetRow(7, HopTable::kMaxRows, HopRef::Create()));
  EXPECT_FALSE(table.SetRow(7, -1, HopRef::Create()));
  EXPECT_EQ(HopRecord::LiveRows(), before);  // a refused row is not kept
  EXPECT_TRUE(table.SetRow(7, HopTable::kMaxRows - 1, HopRef::Create()));
  EXPECT_FALSE(table.SetRowCount(7, HopTable::kMaxRows + 1));
  EXPECT_FALSE(table.SetRowCount(7, -1));
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_TRUE(table.SetRowCount(7, HopTable::kMaxRows));
  EXPECT_FALSE(table.SwapRows(7, HopTable::kMaxRows - 1, HopTable::kMaxRows));
  EXPECT_FALSE(table.SwapRows(7, -1, 0));

  // A controller whose trace was replaced writes nothing, whatever the index.
  EXPECT_FALSE(table.SetRow(6, 0, HopRef::Create()));
  table.Reset(8);
  EXPECT_FALSE(table.SetRow(7, 0, HopRef::Create()));
  EXPECT_FALSE(table.SetRowCount(7, 1));
  EXPECT_FALSE(table.SwapRows(7, 0, 1));
  EXPECT_EQ(table.RowCount(), 0);
  table.Reset(HopTable::kClosed);
  EXPECT_FALSE(table.SetRow(8, 0, HopRef::Create()));
  EXPECT_EQ(HopRecord::LiveRows(), before);
}

TEST(HopTableTest, ReadsStopAtTheRowCount) {
  HopTable table;
  table.Reset(1);
  HopRef first = HopRef::Create(), second = HopRef::Create();
  ASSERT_TRUE(table.SetRow(1, 0, first));
  ASSERT_TRUE(table.SetRow(1, 1, second));
  ASSERT_TRUE(table.SetRowCount(1, 1));
  EXPECT_EQ(table.Row(0), first);
  EXPECT_FALSE(table.Row(1));  // written, but beyond the row count
  EXPECT_FALSE(table.Row(-1));
  EXPECT_FALSE(table.Row(HopTable::kMaxRows));
  EXPECT_EQ(table.Snapshot().size(), 1u);
  ASSERT_TRUE(table.SetRowCount(1, 2));
  ASSERT_TRUE(table.SwapRows(1, 0, 1));
  EXPECT_EQ(table.Row(0), second);
  EXPECT_EQ(second->hopNumber, 0);
  EXPECT_EQ(first->hopNumber, 1);
}

}  // namespace
}  // namespace hs::test
