// The trace history: for each target address the hops of its last recorded
// trace, kept in data/hsehtdb.idx (16-byte index records) and
// data/hsehtdb.ent (runs of 12-byte hop entries), both little-endian.
//
// Several processes may use the files at once: reads happen under shared
// locks, every write (appends and in-place updates) under exclusive locks on
// both files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "trace/collaborators.h"
#include "trace/records.h"

namespace hs {

struct TraceIndexRecord {
  uint32_t key = 0;     // target address, network byte order
  int32_t time = 0;     // seconds since 1970 when written
  uint32_t offset = 0;  // byte offset of the first hop entry in the entries file
  uint32_t count = 0;   // hop entries; only the low byte counts
  friend bool operator==(const TraceIndexRecord&, const TraceIndexRecord&) = default;
};

struct TraceHopEntry {
  uint32_t address = 0;  // network byte order
  uint16_t rtt = 0;      // ms, low 16 bits; 0xFFFF = no time
  uint16_t status = 0;   // low 16 bits of the IP status
  uint32_t reserved = 0;
  friend bool operator==(const TraceHopEntry&, const TraceHopEntry&) = default;
};

inline constexpr size_t kIndexRecordSize = 16;
inline constexpr size_t kHopEntrySize = 12;
inline constexpr uint16_t kNoRecordedRtt = 0xFFFF;
// A record at most this old is replayed.
inline constexpr int64_t kHistoryFreshSeconds = 3600;

// The one place that knows the byte layouts.
std::array<uint8_t, kIndexRecordSize> EncodeIndexRecord(const TraceIndexRecord& record);
TraceIndexRecord DecodeIndexRecord(const uint8_t* bytes);
std::array<uint8_t, kHopEntrySize> EncodeHopEntry(const TraceHopEntry& entry);
TraceHopEntry DecodeHopEntry(const uint8_t* bytes);
// The entry that records a finished row.
TraceHopEntry HopEntryOf(const HopRecord& row);

// Position of the first whole record with `key` in an index file's bytes, or
// -1. A partial record at the end (a torn write) is never matched.
int64_t FindIndexRecord(const uint8_t* bytes, size_t size, uint32_t key);

class TraceHistory final : public TraceReplay {
 public:
  enum Mode : int { kRecord = 0, kReplayIfRecorded = 2 };
  enum Freshness : int { kNothing = 0, kFresh = 1, kStale = 2 };
  using Clock = std::function<int64_t()>;

  // `dataDir` holds the two files; `now` gives the calendar time (default: wall clock).
  explicit TraceHistory(std::string dataDir, Clock now = {});

  // Looks the key up and loads the recorded hops. Mode 0 records the trace;
  // mode 2 (and 1) replays a fresh record and otherwise records. True when a
  // fresh record was found.
  bool Open(uint32_t key, int mode);

  // The i-th loaded entry, or null when none is loaded there.
  const TraceHopEntry* Entry(int i) const;
  // Fills the row from an entry as if it had just been probed.
  static void ApplyEntry(const TraceHopEntry& entry, HopRecord& row);

  // TraceReplay: a fresh record is replayed in mode 1 and 2. A stale record
  // (older than an hour) is not: the route is probed anew and the record
  // rewritten with the new hops.
  bool Replaying() const override;
  bool ApplyEntry(int index, HopRecord& row) override;

  // Records the finished trace's rows when the history asks for it (mode 0, or
  // a stale record), then releases the loaded entries. True when written;
  // when a write was due and failed, `error` (if given) says why.
  bool Finish(const std::vector<HopRef>& rows, platform::FileError* error = nullptr);

  int Mode() const { return mode_; }
  bool Found() const { return found_; }
  int Freshness() const { return freshness_; }
  int64_t RecordPosition() const { return recordPosition_; }
  const TraceIndexRecord& Record() const { return record_; }
  size_t LoadedEntries() const { return entries_.size(); }
  // The hops of the record found by Open (empty when none or damaged), until Finish.
  const std::vector<TraceHopEntry>& Entries() const { return entries_; }

  static std::string IndexPath(const std::string& dataDir);
  static std::string EntriesPath(const std::string& dataDir);

 private:
  bool Write(const std::vector<HopRef>& rows, platform::FileError& error);

  std::string dataDir_;
  Clock now_;
  uint32_t key_ = 0;
  int mode_ = kRecord;
  bool found_ = false;
  int freshness_ = kNothing;
  int64_t recordPosition_ = 0;
  TraceIndexRecord record_;
  std::vector<TraceHopEntry> entries_;
};

}  // namespace hs
