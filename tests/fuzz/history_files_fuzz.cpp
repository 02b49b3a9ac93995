// Any bytes as the two history files (input: 2 bytes of index length, 4 of
// key, 1 of mode, 1 of hop count, then the index, then the entries). Opening
// must not crash; a trace recorded afterwards must read back exactly, and is
// replayed when it reaches the end of its route.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "trace/history.h"

namespace {

const std::string& Directory() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "hopsight-fuzz-XXXXXX").string();
    std::string made = ::mkdtemp(pattern.data());
    static std::string forCleanup = made;
    std::atexit([] { std::error_code ec; std::filesystem::remove_all(forCleanup, ec); });
    return made;
  }();
  return dir;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs;
  if (size < 8) return 0;
  const size_t indexSize = std::min<size_t>(data[0] | data[1] << 8, size - 8);
  const uint32_t key = data[2] | data[3] << 8 | data[4] << 16 | uint32_t{data[5]} << 24;
  const int mode = data[6] % 3;
  const int hops = data[7] % 70;
  const uint8_t* index = data + 8;
  const uint8_t* entries = index + indexSize;
  const size_t entriesSize = size - 8 - indexSize;

  // The byte layouts read back what they wrote.
  for (size_t p = 0; p + kIndexRecordSize <= indexSize; p += kIndexRecordSize) {
    auto again = EncodeIndexRecord(DecodeIndexRecord(index + p));
    if (!std::equal(again.begin(), again.end(), index + p)) std::abort();
  }
  for (size_t p = 0; p + kHopEntrySize <= entriesSize; p += kHopEntrySize) {
    auto again = EncodeHopEntry(DecodeHopEntry(entries + p));
    if (!std::equal(again.begin(), again.end(), entries + p)) std::abort();
  }

  const std::string& dir = Directory();
  Write(TraceHistory::IndexPath(dir), index, indexSize);
  Write(TraceHistory::EntriesPath(dir), entries, entriesSize);
  constexpr int64_t kNow = 1'700'000'000;
  TraceHistory history(dir, [] { return kNow; });
  history.Open(key, mode);
  for (int i = 0; i < 70; ++i) {
    HopRef row = HopRef::Create();
    if (history.ApplyEntry(i, *row) != (history.Entry(i) != nullptr)) std::abort();
  }
  std::vector<HopRef> rows;
  for (int i = 0; i < hops; ++i) {
    HopRef row = HopRef::Create();
    row->address.store(key ^ static_cast<uint32_t>(i));
    row->lastRtt.store(i % 3 == 0 ? kNoTime : static_cast<uint32_t>(i * 7));
    row->status.store(i + 1 == hops ? 0u : 11013u);
    rows.push_back(row);
  }
  const bool wrote = history.Finish(rows);
  if (wrote) {
    // Fresh, and replayed when a hop after row 0 ends the route (the last one does).
    TraceHistory check(dir, [] { return kNow; });
    if (check.Open(key, TraceHistory::kReplayIfRecorded) != (hops >= 2) || !check.Found()) std::abort();
    if (check.LoadedEntries() != static_cast<size_t>(hops)) std::abort();
    for (int i = 0; i < hops; ++i) {
      if (!(*check.Entry(i) == HopEntryOf(*rows[static_cast<size_t>(i)]))) std::abort();
    }
  }
  return 0;
}
