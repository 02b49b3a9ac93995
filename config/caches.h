// The three lookup caches: host names by address, WhoIs answers by query key,
// positions by hop name (or dotted address). Each carries its own lock: the
// two trace threads of one trace and the WhoIs workers use them at the same
// time, and every operation here is a short critical section of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "config/text_fields.h"
#include "config/timed_table.h"
#include "trace/records.h"

namespace hs::config {

// The most entries each cache keeps after a purge.
inline constexpr size_t kCacheLimit = 1000;

struct AddressKeyTraits {
  // Sort order of a trim: the signed 32-bit difference of the address numbers.
  static int Compare(uint32_t a, uint32_t b) {
    int32_t d = static_cast<int32_t>(a - b);
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
  }
  static bool Equal(uint32_t a, uint32_t b) { return a == b; }
  static uint32_t Hash(uint32_t a) { return a; }
};

struct TextKeyTraits {
  static int Compare(const std::string& a, const std::string& b) { return CompareNoCase(a, b); }
  static bool Equal(const std::string& a, const std::string& b) { return EqualNoCase(a, b); }
  static uint32_t Hash(const std::string& a) { return HashNoCase(a); }
};

// A TimedTable behind a mutex; the caches below add their own operations.
template <class Key, class Value, class Traits>
class LockedCache {
 public:
  using Table = TimedTable<Key, Value, Traits>;
  using Entry = typename Table::Entry;

  size_t Size() const {
    std::lock_guard g(lock_);
    return table_.Size();
  }
  void Reserve(size_t n) {
    std::lock_guard g(lock_);
    table_.Reserve(n);
  }
  bool InsertIfNewer(Key key, Value value, int32_t time) {
    std::lock_guard g(lock_);
    return table_.InsertIfNewer(std::move(key), std::move(value), time);
  }
  void PurgeOlderThan(int64_t cutoff) {
    std::lock_guard g(lock_);
    table_.PurgeOlderThan(cutoff);
  }
  size_t TrimTo(size_t n) {
    std::lock_guard g(lock_);
    return table_.TrimTo(n);
  }
  void Clear() {
    std::lock_guard g(lock_);
    table_.Clear();
  }
  // Calls f(const Entry&) for every entry in array order, under the lock.
  template <class F> void ForEach(F&& f) const {
    std::lock_guard g(lock_);
    for (const Entry& e : table_.Entries()) f(e);
  }
  // Runs f(Table&) under the lock, for compound operations that must not
  // interleave with others (a find followed by a dependent store).
  template <class F> decltype(auto) WithLock(F&& f) {
    std::lock_guard g(lock_);
    return f(table_);
  }
  template <class F> decltype(auto) WithLock(F&& f) const {
    std::lock_guard g(lock_);
    return f(static_cast<const Table&>(table_));
  }

 protected:
  mutable std::mutex lock_;
  Table table_;
};

// Address (network byte order) -> host name; an empty name is a cached
// "this address has no name".
class NameCache : public LockedCache<uint32_t, std::string, AddressKeyTraits> {
 public:
  std::optional<std::string> Find(uint32_t address) const;
  void Insert(uint32_t address, std::string name, int64_t now);
};

struct WhoIsCacheValue {
  std::shared_ptr<const std::string> answer;  // null while only requested
  int32_t requestCount = 0;
};

// Query key -> WhoIs answer. Keys compare without regard to case.
class WhoIsCache : public LockedCache<std::string, WhoIsCacheValue, TextKeyTraits> {
 public:
  std::optional<WhoIsCacheValue> Find(std::string_view key) const;
  // Stores an answer (insert with replace), request counter 0.
  void Store(std::string key, std::string answer, int64_t now);
  // Registers a request for `key`: an absent key gets an entry without answer.
  // Returns the entry's request count before this call (0 = first request).
  int32_t RegisterRequest(std::string_view key, int64_t now);
};

// Hop name (or dotted address) -> position. Only latitude, longitude and
// precision are kept; a found position has source Cache.
class LocationCache : public LockedCache<std::string, GeoLocation, TextKeyTraits> {
 public:
  std::optional<GeoLocation> Find(std::string_view key) const;
  void Insert(std::string key, const GeoLocation& location, int64_t now);
};

struct Settings;

// The three caches of the program.
struct Caches {
  NameCache names;
  WhoIsCache whois;
  LocationCache locations;
};

// What a purge cut off to keep each cache at its limit (entries that had not
// expired).
struct CacheTrim {
  size_t names = 0, whois = 0, locations = 0;
  size_t Total() const { return names + whois + locations; }
};

// Drops entries older than the settings' day limits, then keeps 1000 per cache.
CacheTrim PurgeCaches(Caches& caches, const Settings& settings, int64_t now);

}  // namespace hs::config
