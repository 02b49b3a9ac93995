// The cache file data/HopCache.ini: the three lookup caches between runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/caches.h"
#include "config/settings.h"
#include "platform/files.h"

namespace hs::config {

// WhoIs answers this long or longer are not written: the file's readers count
// an answer's length in 16 bits.
inline constexpr size_t kMaxStoredAnswer = 65535;

// Adds the entries of a cache file to the caches (insert if newer).
void ParseCacheFile(std::string_view text, Caches& caches);
// The whole file for the caches as they are.
std::string FormatCacheFile(const Caches& caches);

std::string CacheFilePath(const std::string& dataDir);

// Start-up: reads the file when there is one. A file that exists but cannot
// be read comes back `unreadable`: it must not be saved over at exit.
FileLoad LoadCaches(const std::string& dataDir, Caches& caches);
// Exit: purges the caches, then rewrites the file whole when its bytes
// change. On failure the old file stays.
platform::FileResult SaveCaches(const std::string& dataDir, Caches& caches, const Settings& settings, int64_t now);

}  // namespace hs::config
