#include "trace/history.h"

#include <cerrno>
#include <optional>

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace hs {
namespace {

using platform::SharedFile;

constexpr size_t kScanBlock = 4096;  // a multiple of the record size

constexpr auto Put32 = platform::StoreU32;
constexpr auto Put16 = platform::StoreU16;
constexpr auto Get32 = platform::LoadU32;
constexpr auto Get16 = platform::LoadU16;

// Address bytes are kept in network order in memory; the file holds the same
// four bytes.
uint32_t HostOrderedKey(uint32_t networkOrder) {
  const auto* b = reinterpret_cast<const uint8_t*>(&networkOrder);
  return Get32(b);
}
uint32_t NetworkOrderedKey(uint32_t fileValue) {
  uint32_t out;
  Put32(reinterpret_cast<uint8_t*>(&out), fileValue);
  return out;
}

// Scans the index file block by block for the key's record; -1 when absent.
int64_t ScanIndex(const SharedFile& index, uint32_t key) {
  uint8_t block[kScanBlock];
  for (int64_t position = 0;; position += kScanBlock) {
    int64_t n = index.ReadAt(position, block, sizeof block);
    if (n <= 0) return -1;
    int64_t found = FindIndexRecord(block, static_cast<size_t>(n), key);
    if (found >= 0) return position + found;
    if (static_cast<size_t>(n) < sizeof block) return -1;
  }
}

std::optional<TraceIndexRecord> ReadRecordAt(const SharedFile& index, int64_t position) {
  uint8_t bytes[kIndexRecordSize];
  if (index.ReadAt(position, bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return std::nullopt;
  return DecodeIndexRecord(bytes);
}

}  // namespace

std::array<uint8_t, kIndexRecordSize> EncodeIndexRecord(const TraceIndexRecord& record) {
  std::array<uint8_t, kIndexRecordSize> out{};
  Put32(&out[0], HostOrderedKey(record.key));
  Put32(&out[4], static_cast<uint32_t>(record.time));
  Put32(&out[8], record.offset);
  Put32(&out[12], record.count);
  return out;
}

TraceIndexRecord DecodeIndexRecord(const uint8_t* bytes) {
  return TraceIndexRecord{NetworkOrderedKey(Get32(bytes)), static_cast<int32_t>(Get32(bytes + 4)),
                          Get32(bytes + 8), Get32(bytes + 12)};
}

std::array<uint8_t, kHopEntrySize> EncodeHopEntry(const TraceHopEntry& entry) {
  std::array<uint8_t, kHopEntrySize> out{};
  Put32(&out[0], HostOrderedKey(entry.address));
  Put16(&out[4], entry.rtt);
  Put16(&out[6], entry.status);
  Put32(&out[8], entry.reserved);
  return out;
}

TraceHopEntry DecodeHopEntry(const uint8_t* bytes) {
  return TraceHopEntry{NetworkOrderedKey(Get32(bytes)), Get16(bytes + 4), Get16(bytes + 6), Get32(bytes + 8)};
}

TraceHopEntry HopEntryOf(const HopRecord& row) {
  const uint32_t rtt = row.lastRtt.load();
  return TraceHopEntry{row.address.load(),
                       rtt == kNoTime ? kNoRecordedRtt : static_cast<uint16_t>(rtt & 0xFFFF),
                       static_cast<uint16_t>(row.status.load() & 0xFFFF), 0};
}

int64_t FindIndexRecord(const uint8_t* bytes, size_t size, uint32_t key) {
  const uint32_t fileKey = HostOrderedKey(key);
  for (size_t pos = 0; pos + kIndexRecordSize <= size; pos += kIndexRecordSize) {
    if (Get32(bytes + pos) == fileKey) return static_cast<int64_t>(pos);
  }
  return -1;
}

TraceHistory::TraceHistory(std::string dataDir, Clock now)
    : dataDir_(std::move(dataDir)), now_(now ? std::move(now) : Clock(platform::CalendarTime)) {}

std::string TraceHistory::IndexPath(const std::string& dataDir) { return dataDir + "/hsehtdb.idx"; }
std::string TraceHistory::EntriesPath(const std::string& dataDir) { return dataDir + "/hsehtdb.ent"; }

bool TraceHistory::Open(uint32_t key, int mode) {
  key_ = key;
  mode_ = mode;
  found_ = false;
  freshness_ = kNothing;
  recordPosition_ = 0;
  record_ = TraceIndexRecord{};
  entries_.clear();

  {
    std::optional<SharedFile> index = SharedFile::Open(IndexPath(dataDir_), SharedFile::Access::Read);
    // Without an index nothing is found, and the mode stays as asked.
    if (!index) return false;
    int64_t position = ScanIndex(*index, key);
    std::optional<TraceIndexRecord> record;
    if (position >= 0) record = ReadRecordAt(*index, position);
    if (!record) {
      if (mode_ != kRecord) mode_ = kRecord;
      return false;
    }
    found_ = true;
    recordPosition_ = position;
    record_ = *record;
    freshness_ = (now_() - record_.time <= kHistoryFreshSeconds) ? kFresh : kStale;
  }

  // Load the run. A run that does not lie wholly inside the entries file is
  // damaged: it is neither replayed nor overwritten; the trace is probed and
  // recorded into a new run, and the record is rewritten in place.
  const size_t count = record_.count & 0xFF;
  std::vector<uint8_t> bytes(count * kHopEntrySize);
  bool whole = false;
  if (std::optional<SharedFile> file = SharedFile::Open(EntriesPath(dataDir_), SharedFile::Access::Read)) {
    whole = file->ReadAt(record_.offset, bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size());
  }
  if (!whole) {
    freshness_ = kStale;
    record_.offset = 0;
    return false;
  }
  entries_.reserve(count);
  for (size_t i = 0; i < count; ++i) entries_.push_back(DecodeHopEntry(&bytes[i * kHopEntrySize]));
  // A replay shows recorded hops only, up to where the recorded route ended.
  // A run in which no hop ends the route (a trace stopped by the user, or a
  // cut record) would end the replay in mid-route: it is not replayed but
  // probed anew, and the new trace is written over it.
  bool ends = false;
  for (size_t i = 1; i < entries_.size() && !ends; ++i) ends = EndsRoute(entries_[i].status);
  if (!ends) freshness_ = kStale;
  return freshness_ == kFresh;
}

const TraceHopEntry* TraceHistory::Entry(int i) const {
  if (i < 0 || static_cast<size_t>(i) >= entries_.size()) return nullptr;
  return &entries_[static_cast<size_t>(i)];
}

void TraceHistory::ApplyEntry(const TraceHopEntry& entry, HopRecord& row) {
  row.address.store(entry.address);
  row.status.store(entry.status);
  row.lastRtt.store(entry.rtt == kNoRecordedRtt ? kNoTime : entry.rtt);
  row.SetStage(HopStage::Probed);
}

bool TraceHistory::Replaying() const { return found_ && mode_ != kRecord && freshness_ == kFresh; }

bool TraceHistory::ApplyEntry(int index, HopRecord& row) {
  const TraceHopEntry* entry = Entry(index);
  if (!entry) return false;
  ApplyEntry(*entry, row);
  return true;
}

bool TraceHistory::Finish(const std::vector<HopRef>& rows, platform::FileError* error) {
  bool written = false;
  platform::FileError why;
  if (mode_ == kRecord || freshness_ == kStale) {
    written = Write(rows, why);
    if (!written && error) *error = why;
  }
  entries_.clear();
  entries_.shrink_to_fit();
  return written;
}

bool TraceHistory::Write(const std::vector<HopRef>& rows, platform::FileError& error) {
  const std::string entriesPath = EntriesPath(dataDir_), indexPath = IndexPath(dataDir_);
  auto fail = [&error](const std::string& path, const char* action, int code) {
    error = platform::FileError{path, action, code};
    return false;
  };
  std::optional<SharedFile> entryFile =
      SharedFile::Open(entriesPath, SharedFile::Access::Write, SharedFile::kDefaultAttempts, &error);
  if (!entryFile) return false;
  std::optional<SharedFile> index =
      SharedFile::Open(indexPath, SharedFile::Access::Write, SharedFile::kDefaultAttempts, &error);
  if (!index) return false;

  // With both files held exclusively, take the record as it is now: another
  // process may have recorded this key (or moved its run) since Open.
  bool found = found_;
  int64_t position = recordPosition_;
  TraceIndexRecord record = record_;
  if (found) {
    std::optional<TraceIndexRecord> current = ReadRecordAt(*index, position);
    if (current && current->key == key_) {
      // Keep our verdict on a damaged run (offset 0 = never overwrite in place).
      if (record.offset != 0) record = *current;
    }
  } else {
    position = ScanIndex(*index, key_);
    if (position >= 0) {
      if (std::optional<TraceIndexRecord> current = ReadRecordAt(*index, position)) {
        found = true;
        record = *current;
      }
    }
  }

  const size_t n = rows.size();
  record.key = key_;
  record.time = static_cast<int32_t>(now_());
  int64_t offset;
  if (record.offset != 0 && (record.count & 0xFF) >= n) {
    offset = record.offset;
  } else {
    offset = entryFile->Size();
    if (offset < 0) return fail(entriesPath, "read", errno);
    if (offset > int64_t{UINT32_MAX}) return fail(entriesPath, "append to", EFBIG);
    record.offset = static_cast<uint32_t>(offset);
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(n * kHopEntrySize);
  for (const HopRef& row : rows) {
    auto e = EncodeHopEntry(HopEntryOf(*row));
    bytes.insert(bytes.end(), e.begin(), e.end());
  }
  if (!entryFile->WriteAt(offset, bytes.data(), bytes.size())) return fail(entriesPath, "write", errno);
  entryFile->Close();

  record.count = static_cast<uint32_t>(n & 0xFF);
  if (!found) {
    // Append; a torn partial record at the end is overwritten so that every
    // record stays on a 16-byte boundary.
    int64_t size = index->Size();
    if (size < 0) return fail(indexPath, "read", errno);
    position = size - size % static_cast<int64_t>(kIndexRecordSize);
  }
  auto bytesOfRecord = EncodeIndexRecord(record);
  if (!index->WriteAt(position, bytesOfRecord.data(), bytesOfRecord.size())) return fail(indexPath, "write", errno);
  found_ = true;
  recordPosition_ = position;
  record_ = record;
  return true;
}

}  // namespace hs
