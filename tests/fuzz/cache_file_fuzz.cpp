// Any bytes as a cache file: the reader must not crash or hang, and what it
// read must survive a write and a second read unchanged.
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
  return 0;
}
