// TimedTable: the container under the three lookup caches. A growable array of
// (key, value, time stamp) entries; keys are unique (both inserts replace an
// entry with an equal key), so "the first equal entry in array order" is the
// only equal entry, and a find goes through a hash index of the array instead
// of scanning it: a cache file grown to millions of entries still loads in
// linear time.
//
// Traits supplies
//   static int Compare(const Key&, const Key&)  0 for equal keys; the order of a trim
//   static bool Equal(const Key&, const Key&)   same as Compare()==0, but cheap
//   static uint32_t Hash(const Key&)            equal keys hash equal
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace hs::config {

template <class Key, class Value, class Traits>
class TimedTable {
 public:
  struct Entry {
    Key key;
    Value value;
    int32_t time = 0;  // seconds since 1970
    uint32_t hash = 0;  // Traits::Hash(key)
  };

  static constexpr size_t kInitialCapacity = 4;
  static constexpr size_t kGrowthStep = 4;

  TimedTable() { entries_.reserve(capacity_); }

  size_t Size() const { return entries_.size(); }
  // The capacity as the format's readers count it: grown by the shortfall,
  // at least by the growth step. The array itself grows geometrically, so
  // appending n entries one by one costs O(n), not O(n^2).
  size_t Capacity() const { return capacity_; }
  // Entries in array order. A caller must not change a key through Find().
  const std::vector<Entry>& Entries() const { return entries_; }

  Entry* Find(const Key& key) { return Find(key, Traits::Hash(key)); }
  const Entry* Find(const Key& key) const { return const_cast<TimedTable*>(this)->Find(key); }

  // Makes room for `n` more entries.
  void Reserve(size_t n) {
    const size_t needed = entries_.size() + n;
    if (needed > capacity_) capacity_ += std::max(needed - capacity_, kGrowthStep);
    if (needed > entries_.capacity()) entries_.reserve(std::max(needed, 2 * entries_.capacity()));
  }

  // Stores the entry with time stamp `now`, replacing an entry with an equal key
  // in its slot.
  Entry& InsertReplace(Key key, Value value, int64_t now) {
    const uint32_t hash = Traits::Hash(key);
    if (Entry* e = Find(key, hash)) {
      e->key = std::move(key);
      e->value = std::move(value);
      e->time = static_cast<int32_t>(now);
      return *e;
    }
    return Append(Entry{std::move(key), std::move(value), static_cast<int32_t>(now), hash});
  }

  // For the file reader: appends an absent key; replaces a present one only when
  // `time` is later than the stored time stamp. True when the entry was taken.
  bool InsertIfNewer(Key key, Value value, int32_t time) {
    const uint32_t hash = Traits::Hash(key);
    if (Entry* e = Find(key, hash)) {
      if (time <= e->time) return false;
      *e = Entry{std::move(key), std::move(value), time, hash};
      return true;
    }
    Append(Entry{std::move(key), std::move(value), time, hash});
    return true;
  }

  // Drops every entry stamped at or before `cutoff`, keeping the order of the rest.
  void PurgeOlderThan(int64_t cutoff) {
    const size_t before = entries_.size();
    std::erase_if(entries_, [cutoff](const Entry& e) { return int64_t{e.time} <= cutoff; });
    if (entries_.size() != before) RebuildIndex();
  }

  // Keeps `n` entries: when there are more, sorts all by key, largest first,
  // and cuts off the tail. Returns how many were cut off. The sort tolerates a
  // compare that is not a strict order (the address difference wraps around),
  // unlike std::sort.
  size_t TrimTo(size_t n) {
    if (entries_.size() <= n) return 0;
    const size_t cut = entries_.size() - n;
    std::vector<Entry> kept;
    if (n > 0) {
      const std::vector<uint32_t> order = SortedDescending();
      kept.reserve(n);
      for (size_t i = 0; i < n; ++i) kept.push_back(std::move(entries_[order[i]]));
    }
    entries_ = std::move(kept);
    RebuildIndex();
    return cut;
  }

  void Clear() {
    entries_.clear();
    RebuildIndex();
  }

 private:
  static constexpr uint32_t kEmpty = 0;  // index slots hold entry position + 1

  // Fibonacci hashing: spreads hashes whose low bits say little (addresses in
  // network byte order keep their first octet there).
  size_t SlotOf(uint32_t hash) const {
    return static_cast<size_t>((uint64_t{hash} * 0x9E3779B97F4A7C15ull) >> (64 - indexBits_));
  }

  Entry* Find(const Key& key, uint32_t hash) {
    if (index_.empty()) return nullptr;
    const size_t mask = index_.size() - 1;
    for (size_t slot = SlotOf(hash);; slot = (slot + 1) & mask) {
      const uint32_t at = index_[slot];
      if (at == kEmpty) return nullptr;
      Entry& e = entries_[at - 1];
      if (e.hash == hash && Traits::Equal(e.key, key)) return &e;
    }
  }

  Entry& Append(Entry entry) {
    Reserve(1);
    entries_.push_back(std::move(entry));
    // Keep the index at most half full, so probe runs stay short.
    if (2 * entries_.size() > index_.size()) {
      RebuildIndex();
    } else {
      Place(entries_.size() - 1);
    }
    return entries_.back();
  }

  void Place(size_t position) {
    const size_t mask = index_.size() - 1;
    size_t slot = SlotOf(entries_[position].hash);
    while (index_[slot] != kEmpty) slot = (slot + 1) & mask;
    index_[slot] = static_cast<uint32_t>(position + 1);
  }

  void RebuildIndex() {
    indexBits_ = 3;
    while ((size_t{1} << indexBits_) < 2 * entries_.size()) ++indexBits_;
    index_.assign(size_t{1} << indexBits_, kEmpty);
    for (size_t i = 0; i < entries_.size(); ++i) Place(i);
  }

  // The entries' positions, sorted by key, largest first, stable. A bottom-up
  // merge sort: indices stay in range whatever the compare answers. Sorting
  // positions moves 4 bytes where an entry would move a key and a value.
  std::vector<uint32_t> SortedDescending() const {
    const size_t size = entries_.size();
    std::vector<uint32_t> from(size), to(size);
    for (size_t i = 0; i < size; ++i) from[i] = static_cast<uint32_t>(i);
    for (size_t width = 1; width < size; width *= 2) {
      for (size_t lo = 0; lo < size; lo += 2 * width) {
        size_t mid = std::min(lo + width, size), hi = std::min(lo + 2 * width, size);
        size_t i = lo, j = mid, k = lo;
        while (i < mid && j < hi) {
          // Take from the right run only when it is strictly larger: stable.
          if (Traits::Compare(entries_[from[j]].key, entries_[from[i]].key) > 0) {
            to[k++] = from[j++];
          } else {
            to[k++] = from[i++];
          }
        }
        while (i < mid) to[k++] = from[i++];
        while (j < hi) to[k++] = from[j++];
      }
      std::swap(from, to);
    }
    return from;
  }

  std::vector<Entry> entries_;
  size_t capacity_ = kInitialCapacity;
  // Open addressing over entry positions, linear probing; 2^indexBits_ slots.
  std::vector<uint32_t> index_;
  int indexBits_ = 0;
};

}  // namespace hs::config
