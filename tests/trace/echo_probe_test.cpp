// EchoProbe: classification, retries, the target test and the counters.
#include <gtest/gtest.h>

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

// Each row: the answers to the sends in order (a missing one is silence),
// and the row the probe leaves.
TEST_F(EchoProbeTest, AnswersAndSilencesGiveTheRowsStatusAddressTimeAndCounts) {
  const platform::IcmpEchoReply expired{kHop, IP_TTL_EXPIRED_TRANSIT};
  const uint32_t rtt = net.rttMs;
  const struct {
    const char* what;
    std::deque<Answer> answers;
    uint32_t status, address, lastRtt, rttSum;
    int sent, dropped;
    std::vector<int> ttls;
  } cases[] = {
      {"answer at once", {expired}, IP_TTL_EXPIRED_TRANSIT, kHop, rtt, rtt, 1, 0, {4}},
      {"answer on the retry", {std::nullopt, expired}, IP_TTL_EXPIRED_TRANSIT, kHop, rtt, rtt, 2, 1, {4, 4}},
      {"silent twice while the target answers",
       {std::nullopt, std::nullopt, platform::IcmpEchoReply{kDest, IP_SUCCESS}},
       IP_REQ_TIMED_OUT, 0, kNoTime, 0, 2, 2, {4, 4, kTargetTestTtl}},
      {"silent twice and the target too: arrival", {}, IP_SUCCESS, kDest, kNoTime, 0, 2, 2, {4, 4, kTargetTestTtl}},
      {"net unreachable carries no time", {platform::IcmpEchoReply{kHop, IP_DEST_NET_UNREACHABLE}},
       IP_DEST_NET_UNREACHABLE, kHop, kNoTime, 0, 1, 0, {4}},
      {"host unreachable carries its time", {platform::IcmpEchoReply{kHop, IP_DEST_HOST_UNREACHABLE}},
       IP_DEST_HOST_UNREACHABLE, kHop, rtt, rtt, 1, 0, {4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Script(c.answers);
    const size_t before = net.Sends().size();
    HopRef row = HopRef::Create();
    Probe(*row);
    EXPECT_EQ(row->status, c.status);
    EXPECT_EQ(row->address, c.address);
    EXPECT_EQ(row->lastRtt, c.lastRtt);
    EXPECT_EQ(row->rttSum, c.rttSum);
    EXPECT_EQ(row->sentCount, c.sent);
    EXPECT_EQ(row->droppedCount, c.dropped);
    EXPECT_EQ(row->Stage(), HopStage::Probed);
    std::vector<int> ttls;
    const auto sends = net.Sends();
    for (size_t i = before; i < sends.size(); ++i) ttls.push_back(sends[i].ttl);
    EXPECT_EQ(ttls, c.ttls);
  }
}

TEST_F(EchoProbeTest, StopWhileRequestIsOutLeavesRowUntouched) {
  net.answer = [this](uint32_t, int) -> Answer {
    running = 0;  // the user stops while the request is out
    return platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT};
  };
  HopRef row = HopRef::Create();
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
  HopRef second = HopRef::Create();
  Probe(*second);
  EXPECT_EQ(second->Stage(), HopStage::Created);
  EXPECT_EQ(second->sentCount, 0);
  EXPECT_EQ(net.Sends().size(), 2u);  // no retry after the abandon
}

TEST_F(EchoProbeTest, NoEchoFacilityCountsAsSilence) {
  HopRef row = HopRef::Create();
  EchoProbe(*row, nullptr, kDest, 3, kReplyWaitMs, running, serial, true, [] { return 0u; });
  EXPECT_EQ(row->status, IP_SUCCESS);  // silent hop and silent target
  EXPECT_EQ(row->droppedCount, 2);
}

TEST_F(EchoProbeTest, CountersHalveAtTheirLimitsKeepingRatios) {
  const uint32_t rtt = net.rttMs;
  const struct {
    int sent, dropped;
    uint32_t rttSum;
    int sentAfter, droppedAfter;
    uint32_t rttSumAfter;
  } cases[] = {
      {(1 << 24) - 1, 1000, 5000, 1 << 23, 500, (5000 + rtt) / 2},         // the send count reaches its limit
      {100, 11, (1u << 28) - rtt, 50, 5, 1u << 27},                        // this answer's time reaches it exactly
      {(1 << 24) - 2, 0, (1u << 28) - rtt - 1, (1 << 24) - 1, 0, (1u << 28) - 1},  // one short of both
  };
  for (const auto& c : cases) {
    Script({platform::IcmpEchoReply{kHop, IP_TTL_EXPIRED_TRANSIT}});
    HopRef row = HopRef::Create();
    row->sentCount = c.sent;
    row->droppedCount = c.dropped;
    row->rttSum = c.rttSum;
    Probe(*row);
    EXPECT_EQ(row->sentCount, c.sentAfter) << c.sent;
    EXPECT_EQ(row->droppedCount, c.droppedAfter) << c.sent;
    EXPECT_EQ(row->rttSum, c.rttSumAfter) << c.sent;
  }
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

TEST(HopRecordTest, NamesAreCut) {
  HopRef row = HopRef::Create();
  row->SetName(std::string(300, 'x'));
  EXPECT_EQ(row->Name().size(), 255u);
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
