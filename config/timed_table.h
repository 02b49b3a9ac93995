// TimedTable: the container under the three lookup caches. A growable array of
// (key, value, time stamp) entries with linear finds in array order; keys are
// unique (both inserts replace an entry with an equal key).
//
// Traits supplies
//   static int Compare(const Key&, const Key&)  0 for equal keys; the order of a trim
//   static bool Equal(const Key&, const Key&)   same as Compare()==0, but cheap
//   static uint32_t Hash(const Key&)            equal keys hash equal
// Every entry carries its key's hash, so a find compares keys only where the
// hashes match: still a scan in array order, but a cheap one.
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
  size_t Capacity() const { return capacity_; }
  const std::vector<Entry>& Entries() const { return entries_; }

  Entry* Find(const Key& key) { return Find(key, Traits::Hash(key)); }
  const Entry* Find(const Key& key) const { return const_cast<TimedTable*>(this)->Find(key); }

  // Makes room for `n` more entries: grows by the shortfall, at least by the
  // growth step.
  void Reserve(size_t n) {
    size_t needed = entries_.size() + n;
    if (needed <= capacity_) return;
    capacity_ += std::max(needed - capacity_, kGrowthStep);
    entries_.reserve(capacity_);
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
    Reserve(1);
    entries_.push_back(Entry{std::move(key), std::move(value), static_cast<int32_t>(now), hash});
    return entries_.back();
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
    Reserve(1);
    entries_.push_back(Entry{std::move(key), std::move(value), time, hash});
    return true;
  }

  // Drops every entry stamped at or before `cutoff`, keeping the order of the rest.
  void PurgeOlderThan(int64_t cutoff) {
    std::erase_if(entries_, [cutoff](const Entry& e) { return int64_t{e.time} <= cutoff; });
  }

  // Keeps `n` entries: when there are more, sorts all by key, largest first,
  // and cuts off the tail. The sort tolerates a compare that is not a strict
  // order (the address difference wraps around), unlike std::sort.
  void TrimTo(size_t n) {
    if (entries_.size() <= n) return;
    if (n > 0) SortDescending();
    entries_.resize(n);
  }

  void Clear() { entries_.clear(); }

 private:
  Entry* Find(const Key& key, uint32_t hash) {
    for (Entry& e : entries_) {
      if (e.hash == hash && Traits::Equal(e.key, key)) return &e;
    }
    return nullptr;
  }

  // Bottom-up merge sort: indices stay in range whatever the compare answers.
  void SortDescending() {
    std::vector<Entry> from(std::make_move_iterator(entries_.begin()),
                            std::make_move_iterator(entries_.end()));
    std::vector<Entry> to(from.size());
    const size_t size = from.size();
    for (size_t width = 1; width < size; width *= 2) {
      for (size_t lo = 0; lo < size; lo += 2 * width) {
        size_t mid = std::min(lo + width, size), hi = std::min(lo + 2 * width, size);
        size_t i = lo, j = mid, k = lo;
        while (i < mid && j < hi) {
          // Take from the right run only when it is strictly larger: stable.
          if (Traits::Compare(from[j].key, from[i].key) > 0) {
            to[k++] = std::move(from[j++]);
          } else {
            to[k++] = std::move(from[i++]);
          }
        }
        while (i < mid) to[k++] = std::move(from[i++]);
        while (j < hi) to[k++] = std::move(from[j++]);
      }
      std::swap(from, to);
    }
    entries_ = std::move(from);
    entries_.reserve(capacity_);
  }

  std::vector<Entry> entries_;
  size_t capacity_ = kInitialCapacity;
};

}  // namespace hs::config
