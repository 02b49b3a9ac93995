// Any bytes as a cache file: the reader must not crash or hang, what it read
// must survive a write and a second read unchanged, and after a purge every
// entry left must still be found by its key.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/cache_file.h"
#include "config/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::config;
  Caches first;
  ParseCacheFile(std::string_view(reinterpret_cast<const char*>(data), size), first);
  const std::string written = FormatCacheFile(first);
  Caches second;
  ParseCacheFile(written, second);
  if (FormatCacheFile(second) != written) std::abort();
  PurgeCaches(second, Settings{}, 1'700'000'000);
  const auto everyKeyFound = [](const auto& table) {
    for (const auto& e : table.Entries())
      if (table.Find(e.key) != &e) std::abort();
  };
  second.names.WithLock(everyKeyFound);
  second.whois.WithLock(everyKeyFound);
  second.locations.WithLock(everyKeyFound);
  return 0;
}
