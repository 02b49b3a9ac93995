#include "config/caches.h"

#include "config/settings.h"

namespace hs::config {
namespace {

GeoLocation Stored(const GeoLocation& location) {
  // The source is not part of a cache entry.
  return GeoLocation{LocationSource::None, location.latitude, location.longitude, location.precision};
}

}  // namespace

std::optional<std::string> NameCache::Find(uint32_t address) const {
  std::lock_guard g(lock_);
  if (const Entry* e = table_.Find(address)) return e->value;
  return std::nullopt;
}

void NameCache::Insert(uint32_t address, std::string name, int64_t now) {
  std::lock_guard g(lock_);
  table_.InsertReplace(address, std::move(name), now);
}

std::optional<WhoIsCacheValue> WhoIsCache::Find(std::string_view key) const {
  std::lock_guard g(lock_);
  if (const Entry* e = table_.Find(std::string(key))) return e->value;
  return std::nullopt;
}

void WhoIsCache::Store(std::string key, std::string answer, int64_t now) {
  auto value = WhoIsCacheValue{std::make_shared<const std::string>(std::move(answer)), 0};
  std::lock_guard g(lock_);
  table_.InsertReplace(std::move(key), std::move(value), now);
}

int32_t WhoIsCache::RegisterRequest(std::string_view key, int64_t now) {
  std::lock_guard g(lock_);
  std::string k(key);
  Entry* e = table_.Find(k);
  if (!e) e = &table_.InsertReplace(std::move(k), WhoIsCacheValue{}, now);
  return e->value.requestCount++;
}

std::optional<GeoLocation> LocationCache::Find(std::string_view key) const {
  std::lock_guard g(lock_);
  if (const Entry* e = table_.Find(std::string(key))) {
    GeoLocation found = e->value;
    found.source = LocationSource::Cache;
    return found;
  }
  return std::nullopt;
}

void LocationCache::Insert(std::string key, const GeoLocation& location, int64_t now) {
  std::lock_guard g(lock_);
  table_.InsertReplace(std::move(key), Stored(location), now);
}

CacheTrim PurgeCaches(Caches& caches, const Settings& settings, int64_t now) {
  caches.names.PurgeOlderThan(now - int64_t{settings.dnsTime} * 86400);
  caches.whois.PurgeOlderThan(now - int64_t{settings.whoTime} * 86400);
  caches.locations.PurgeOlderThan(now - int64_t{settings.locTime} * 86400);
  CacheTrim trim;
  trim.names = caches.names.TrimTo(kCacheLimit);
  trim.whois = caches.whois.TrimTo(kCacheLimit);
  trim.locations = caches.locations.TrimTo(kCacheLimit);
  return trim;
}

}  // namespace hs::config
