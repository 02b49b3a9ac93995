// KeyedList: the container of the user locations and of the location
// database index. A growable array of (key, value) entries whose compare says
// either "equal" (0) for exact lookups or gives a match score (0 = no match)
// for best-score lookups, depending on the list.
//
// Compare is a callable: int(const Key& probe, const Key& entryKey). Lookups
// scan the array (a best-score lookup must see every entry), so a loader of
// many entries with unique keys appends rather than inserts with replace.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace hs::config {

namespace detail {
template <class T> struct IsPointerLike : std::false_type {};
template <class T> struct IsPointerLike<std::shared_ptr<T>> : std::true_type {};
template <class T> struct IsPointerLike<std::unique_ptr<T>> : std::true_type {};
template <class T> struct IsPointerLike<std::optional<T>> : std::true_type {};
template <class T> struct IsPointerLike<T*> : std::true_type {};
}  // namespace detail

template <class Key, class Value, class Compare>
class KeyedList {
 public:
  struct Entry {
    Key key;
    Value value;
  };

  static constexpr size_t kInitialCapacity = 4;

  explicit KeyedList(Compare compare = Compare()) : compare_(std::move(compare)) {
    entries_.reserve(kInitialCapacity);
  }

  size_t Size() const { return entries_.size(); }
  const std::vector<Entry>& Entries() const { return entries_; }

  // The first entry, in array order, whose compare with the probe is 0.
  const Entry* FindExact(const Key& probe) const {
    for (const Entry& e : entries_) {
      if (compare_(probe, e.key) == 0) return &e;
    }
    return nullptr;
  }

  // The last entry, in array order, with a non-zero score.
  const Entry* FindBestScore(const Key& probe) const {
    const Entry* found = nullptr;
    for (const Entry& e : entries_) {
      if (compare_(probe, e.key) != 0) found = &e;
    }
    return found;
  }

  // Adds at the end; a missing value (null, or an empty text) is not added.
  bool Append(Key key, Value value) {
    if (IsNoValue(value)) return false;
    // The array grows geometrically (not by the format's step of four), so
    // n appends cost O(n).
    entries_.push_back(Entry{std::move(key), std::move(value)});
    return true;
  }

  // As Append, but an entry with an equal key is replaced in its slot.
  bool InsertReplace(Key key, Value value) {
    if (IsNoValue(value)) return false;
    for (Entry& e : entries_) {
      if (compare_(key, e.key) == 0) {
        e = Entry{std::move(key), std::move(value)};
        return true;
      }
    }
    return Append(std::move(key), std::move(value));
  }

 private:
  static bool IsNoValue(const Value& value) {
    if constexpr (std::is_same_v<Value, std::string>) {
      return value.empty();
    } else if constexpr (detail::IsPointerLike<Value>::value) {
      return !value;
    } else {
      return false;
    }
  }

  Compare compare_;
  std::vector<Entry> entries_;
};

}  // namespace hs::config
