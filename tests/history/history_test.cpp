#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/resolver.h"
#include "tests/config/temp_dir.h"
#include "trace/history.h"

namespace hs {
namespace {

using platform::DottedToAddress;

constexpr int64_t kNow = 1'700'000'000;

struct Hop {
  std::string address;
  uint32_t rtt;
  uint32_t status;
};

std::vector<HopRef> Rows(const std::vector<Hop>& hops) {
  std::vector<HopRef> rows;
  for (const Hop& h : hops) {
    HopRef row = HopRef::Create();
    row->address.store(DottedToAddress(h.address));
    row->lastRtt.store(h.rtt);
    row->status.store(h.status);
    rows.push_back(row);
  }
  return rows;
}

// n hops 10.9.0.1, .2, ... that reach the destination at the last.
std::vector<HopRef> RouteOf(int n) {
  std::vector<Hop> hops;
  for (int i = 0; i < n; ++i) {
    const uint32_t status = i + 1 == n ? IP_SUCCESS : IP_TTL_EXPIRED_TRANSIT;
    hops.push_back({"10.9.0." + std::to_string(i + 1), uint32_t(i * 10), status});
  }
  return Rows(hops);
}

class History : public ::testing::Test {
 protected:
  TraceHistory Make() { return TraceHistory(dir.path(), [this] { return now; }); }
  // Records `rows` for `key` in mode 0.
  void Record(const char* key, const std::vector<HopRef>& rows) {
    TraceHistory h = Make();
    h.Open(DottedToAddress(key), TraceHistory::kRecord);
    ASSERT_TRUE(h.Finish(rows));
  }
  std::string Index() { return testing::ReadFile(TraceHistory::IndexPath(dir.path())); }
  std::string Entries() { return testing::ReadFile(TraceHistory::EntriesPath(dir.path())); }
  std::vector<TraceIndexRecord> IndexRecords() {
    std::string bytes = Index();
    std::vector<TraceIndexRecord> out;
    for (size_t p = 0; p + 16 <= bytes.size(); p += 16) {
      out.push_back(DecodeIndexRecord(reinterpret_cast<const uint8_t*>(bytes.data() + p)));
    }
    return out;
  }
  // The index record `key` gets when written now.
  TraceIndexRecord Written(const char* key, uint32_t offset, uint32_t count) {
    return {DottedToAddress(key), static_cast<int32_t>(now), offset, count};
  }

  testing::TempDir dir;
  int64_t now = kNow;
};

// The writer against hand-made bytes: little-endian numbers, the address in
// network order, a missing time as 0xFFFF. (The reader reads back what the
// writer wrote in the tests below.)
TEST_F(History, RecordingWritesOneRecordAndOneRunByteForByte) {
  Record("192.0.2.9", Rows({{"10.0.0.1", 0, 11013}, {"192.0.2.9", kNoTime, 0}}));
  const uint8_t index[16] = {192, 0, 2, 9, 0x00, 0xF1, 0x53, 0x65, 0, 0, 0, 0, 2, 0, 0, 0};
  ASSERT_EQ(Index().size(), 16u);
  EXPECT_EQ(std::memcmp(Index().data(), index, 16), 0);
  const uint8_t entries[24] = {10, 0, 0, 1, 0, 0, 0x05, 0x2B, 0, 0, 0, 0,
                               192, 0, 2, 9, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(Entries().size(), 24u);
  EXPECT_EQ(std::memcmp(Entries().data(), entries, 24), 0);
}

TEST_F(History, AFreshRecordIsReplayedHopByHopAndNotWritten) {
  Record("192.0.2.9", Rows({{"10.0.0.1", 3, 11013}, {"10.0.0.2", kNoTime, 11010}, {"192.0.2.9", 12, 0}}));
  const std::string indexBefore = Index(), entriesBefore = Entries();
  now += 3600;  // exactly an hour old is still fresh
  TraceHistory h = Make();
  EXPECT_TRUE(h.Open(DottedToAddress("192.0.2.9"), TraceHistory::kReplayIfRecorded));
  EXPECT_TRUE(h.Replaying());
  HopRef row = HopRef::Create();
  ASSERT_TRUE(h.ApplyEntry(1, *row));
  EXPECT_EQ(row->address.load(), DottedToAddress("10.0.0.2"));
  EXPECT_EQ(row->lastRtt.load(), kNoTime);
  EXPECT_EQ(row->status.load(), 11010u);
  ASSERT_TRUE(h.ApplyEntry(2, *row));
  EXPECT_EQ(row->lastRtt.load(), 12u);
  EXPECT_EQ(row->status.load(), 0u);
  EXPECT_FALSE(h.ApplyEntry(3, *row));
  EXPECT_FALSE(h.Finish(RouteOf(3)));
  EXPECT_EQ(Index(), indexBefore);
  EXPECT_EQ(Entries(), entriesBefore);
}

TEST_F(History, ReplayWithoutARecordTurnsIntoRecording) {
  Record("192.0.2.1", RouteOf(2));
  TraceHistory h = Make();
  EXPECT_FALSE(h.Open(DottedToAddress("192.0.2.2"), TraceHistory::kReplayIfRecorded));
  EXPECT_EQ(h.Mode(), TraceHistory::kRecord);
  EXPECT_FALSE(h.Replaying());
  EXPECT_TRUE(h.Finish(RouteOf(3)));
  ASSERT_EQ(IndexRecords().size(), 2u);
  EXPECT_EQ(IndexRecords()[1], Written("192.0.2.2", 24, 3));
}

TEST_F(History, AStaleRecordIsProbedAnewAndRewrittenInPlace) {
  Record("192.0.2.9", RouteOf(3));
  now += 3601;
  TraceHistory h = Make();
  EXPECT_FALSE(h.Open(DottedToAddress("192.0.2.9"), TraceHistory::kReplayIfRecorded));
  EXPECT_TRUE(h.Found());
  EXPECT_EQ(h.Freshness(), TraceHistory::kStale);
  EXPECT_FALSE(h.Replaying());
  EXPECT_TRUE(h.Finish(RouteOf(4)));
  ASSERT_EQ(IndexRecords().size(), 1u);
  EXPECT_EQ(IndexRecords()[0], Written("192.0.2.9", 36, 4));  // more hops than the run held: appended
}

// Recording (mode 0) never replays a fresh record, it writes over it.
TEST_F(History, FewerHopsOverwriteTheRunInPlaceMoreHopsAppendANewOne) {
  Record("192.0.2.1", RouteOf(2));  // the run at offset 0
  Record("192.0.2.9", RouteOf(4));  // the run at offset 24
  ASSERT_EQ(IndexRecords()[1].offset, 24u);
  Record("192.0.2.9", RouteOf(4));  // as many hops: in place
  EXPECT_EQ(IndexRecords()[1].offset, 24u);
  EXPECT_EQ(Entries().size(), 72u);
  Record("192.0.2.9", RouteOf(3));  // fewer: in place, the count shrinks
  EXPECT_EQ(IndexRecords()[1], Written("192.0.2.9", 24, 3));
  EXPECT_EQ(Entries().size(), 72u);
  Record("192.0.2.9", RouteOf(5));  // more than the run holds now: appended
  EXPECT_EQ(IndexRecords()[1], Written("192.0.2.9", 72, 5));
  EXPECT_EQ(Entries().size(), 132u);
  // The run at offset 0 is never overwritten in place.
  Record("192.0.2.1", RouteOf(1));
  EXPECT_EQ(IndexRecords()[0].offset, 132u);
  EXPECT_EQ(IndexRecords().size(), 2u);

  TraceHistory h = Make();
  ASSERT_TRUE(h.Open(DottedToAddress("192.0.2.9"), TraceHistory::kReplayIfRecorded));
  ASSERT_EQ(h.LoadedEntries(), 5u);
  EXPECT_EQ(h.Entry(4)->address, DottedToAddress("10.9.0.5"));
  EXPECT_EQ(h.Entry(5), nullptr);
}

TEST_F(History, WithoutAReadableIndexNothingIsFoundAndOnlyRecordingWrites) {
  TraceHistory missing(dir.File("no/such/dir"), [this] { return now; });
  EXPECT_FALSE(missing.Open(DottedToAddress("192.0.2.9"), TraceHistory::kReplayIfRecorded));
  EXPECT_EQ(missing.Mode(), TraceHistory::kReplayIfRecorded);
  EXPECT_FALSE(missing.Finish(RouteOf(2)));
}

TEST_F(History, ARunBeyondTheEntriesFileIsProbedAndRecordedAnew) {
  Record("192.0.2.1", RouteOf(2));
  Record("192.0.2.9", RouteOf(3));
  std::string entries = Entries();
  testing::WriteFile(TraceHistory::EntriesPath(dir.path()), entries.substr(0, entries.size() - 5));
  TraceHistory h = Make();
  EXPECT_FALSE(h.Open(DottedToAddress("192.0.2.9"), TraceHistory::kReplayIfRecorded));
  EXPECT_FALSE(h.Replaying());
  EXPECT_EQ(h.Entry(0), nullptr);
  EXPECT_TRUE(h.Finish(RouteOf(2)));
  ASSERT_EQ(IndexRecords().size(), 2u);
  EXPECT_EQ(IndexRecords()[1], Written("192.0.2.9", entries.size() - 5, 2));  // appended, not into the hole
}

TEST_F(History, ARunThatNeverReachesTheEndOfItsRouteIsProbedAndRewritten) {
  // A trace stopped after two routers was recorded; replaying it would end
  // the route in mid-air.
  Record("192.0.2.1", RouteOf(2));
  Record("192.0.2.9", Rows({{"10.0.0.9", 0, 11013}, {"10.0.0.1", 3, 11013}, {"10.0.0.2", 4, 11013}}));
  TraceHistory h = Make();
  EXPECT_FALSE(h.Open(DottedToAddress("192.0.2.9"), TraceHistory::kReplayIfRecorded));
  EXPECT_TRUE(h.Found());
  EXPECT_FALSE(h.Replaying());
  EXPECT_TRUE(h.Finish(RouteOf(3)));
  ASSERT_EQ(IndexRecords().size(), 2u);
  EXPECT_EQ(IndexRecords()[1], Written("192.0.2.9", 24, 3));  // the run was whole: overwritten in place

  // Every kind of route end counts, a loop's synthetic 11003 included.
  for (uint32_t end : {11002u, 11003u, 11004u, 11005u, 11018u, 0u}) {
    Record("192.0.2.9", Rows({{"10.0.0.9", 0, 11013}, {"10.0.0.1", 3, 11013}, {"10.0.0.2", 4, end}}));
    TraceHistory replay = Make();
    EXPECT_TRUE(replay.Open(DottedToAddress("192.0.2.9"), TraceHistory::kReplayIfRecorded)) << end;
    EXPECT_TRUE(replay.Replaying()) << end;
  }
}

TEST_F(History, TwoProcessesRecordingAtOnceLoseNeitherRecord) {
  // Each round forks two writers that start together; without the locks both
  // would append at the same end offsets and one record would be lost.
  for (int round = 0; round < 3; ++round) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
      children[c] = fork();
      ASSERT_GE(children[c], 0);
      if (children[c] == 0) {
        close(go[1]);
        char byte;
        if (read(go[0], &byte, 1) != 1) _exit(2);
        TraceHistory h(dir.path(), [] { return kNow; });
        std::string key = "198.18." + std::to_string(round) + "." + std::to_string(c + 1);
        h.Open(DottedToAddress(key), TraceHistory::kRecord);
        _exit(h.Finish(RouteOf(3 + c)) ? 0 : 1);
      }
    }
    close(go[0]);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    close(go[1]);
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }
  auto records = IndexRecords();
  ASSERT_EQ(records.size(), 6u);
  for (int round = 0; round < 3; ++round) {
    for (int c = 0; c < 2; ++c) {
      std::string key = "198.18." + std::to_string(round) + "." + std::to_string(c + 1);
      TraceHistory h = Make();
      ASSERT_TRUE(h.Open(DottedToAddress(key), TraceHistory::kReplayIfRecorded)) << key;
      ASSERT_EQ(h.LoadedEntries(), static_cast<size_t>(3 + c));
      EXPECT_EQ(h.Entry(2 + c)->status, 0) << key;  // the run is this key's, not the other's
    }
  }
}

}  // namespace
}  // namespace hs
