#include "config/cache_file.h"

#include <algorithm>

#include "config/settings.h"
#include "config/text_fields.h"
#include "platform/files.h"
#include "platform/resolver.h"

namespace hs::config {
namespace {

// Upper bound of the room reserved from a "count=" line; a damaged count
// must not make us allocate for billions of entries.
constexpr int32_t kMaxReserve = 4096;
// A WhoIs answer without a "size=" line ends at its first empty line or here.
constexpr size_t kUnsizedAnswerLimit = 4096;

bool SkipToSection(LineReader& reader, std::string_view section) {
  std::string_view line;
  while (reader.Next(line)) {
    if (WithoutLineFeed(line) == section) return true;
  }
  return false;
}

// Reads up to the "count=" line of a section. A section line ("[...") before
// it ends the section: it is handed back for the next section. -1 = no count.
int32_t ReadCount(LineReader& reader) {
  std::string_view line;
  while (reader.Next(line)) {
    if (!line.empty() && line.front() == '[') {
      reader.Unread(line);
      return -1;
    }
    if (line.substr(0, 6) == "count=") return std::max<int32_t>(LeadingInt(line.substr(6)), 0);
  }
  return -1;
}

// Splits "key:time=rest": false unless there is a ':' and after it a '='.
bool SplitEntry(std::string_view line, std::string_view& key, int32_t& time, std::string_view& rest) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  size_t equals = line.find('=', colon + 1);
  if (equals == std::string_view::npos) return false;
  key = line.substr(0, colon);
  time = LeadingInt(line.substr(colon + 1));
  rest = line.substr(equals + 1);
  return true;
}

// What one entry of a section came to.
enum class Entry { Taken, Skipped, TextEnded };

// The loop every section shares: its "count=" line, then entries until that
// many were taken. `take(key, time, rest)` parses one entry (and may read
// further lines, as WhoIs answers do). False when the text ended inside the
// section.
template <class Table, class Take>
bool ReadSection(LineReader& reader, Table& table, Take take) {
  const int32_t count = ReadCount(reader);
  if (count < 0) return !reader.AtEnd();
  table.Reserve(static_cast<size_t>(std::min(count, kMaxReserve)));
  std::string_view line, key, rest;
  int32_t time = 0;
  for (int32_t read = 0; read < count;) {
    if (!reader.Next(line)) return false;
    if (!SplitEntry(WithoutLineFeed(line), key, time, rest)) continue;
    switch (take(key, time, rest)) {
      case Entry::Taken: ++read; break;
      case Entry::Skipped: break;
      case Entry::TextEnded: return false;
    }
  }
  return true;
}

bool ReadNames(LineReader& reader, Caches& caches) {
  return ReadSection(reader, caches.names, [&](std::string_view key, int32_t time, std::string_view rest) {
    caches.names.InsertIfNewer(platform::DottedToAddress(std::string(key)), std::string(rest), time);
    return Entry::Taken;
  });
}

bool ReadWhoIs(LineReader& reader, Caches& caches) {
  return ReadSection(reader, caches.whois, [&](std::string_view key, int32_t time, std::string_view) {
    std::string_view line;
    std::string answer;
    if (!reader.Next(line)) return Entry::TextEnded;
    if (line.substr(0, 5) == "size=") {
      // The answer may hold empty lines: join whole lines, line feeds
      // included, until its length is reached; the line feed that closes it
      // is not part of it.
      const size_t size = static_cast<size_t>(std::max<int32_t>(LeadingInt(line.substr(5)), 0));
      while (answer.size() < size) {
        if (!reader.Next(line)) return Entry::TextEnded;
        answer.append(line);
      }
      if (answer.size() > size && answer.back() == '\n') answer.pop_back();
    } else {
      // An answer without its length runs up to the first empty line.
      for (bool first = true; WithoutLineFeed(line).size() > 0; first = false) {
        if (!first) answer.push_back('\n');
        answer.append(WithoutLineFeed(line));
        if (!reader.Next(line)) break;
      }
      if (answer.size() > kUnsizedAnswerLimit) answer.resize(kUnsizedAnswerLimit);
    }
    caches.whois.InsertIfNewer(
        std::string(key), WhoIsCacheValue{std::make_shared<const std::string>(std::move(answer)), 0}, time);
    return Entry::Taken;
  });
}

bool ReadLocations(LineReader& reader, Caches& caches) {
  return ReadSection(reader, caches.locations, [&](std::string_view key, int32_t time, std::string_view rest) {
    const size_t comma1 = rest.find(',');
    if (comma1 == std::string_view::npos) return Entry::Skipped;
    const size_t comma2 = rest.find(',', comma1 + 1);
    if (comma2 == std::string_view::npos) return Entry::Skipped;
    const GeoLocation location{LocationSource::None, LeadingDouble(rest), LeadingDouble(rest.substr(comma1 + 1)),
                               LeadingInt(rest.substr(comma2 + 1))};
    caches.locations.InsertIfNewer(std::string(key), location, time);
    return Entry::Taken;
  });
}

void AppendEntryHead(std::string& out, std::string_view key, int32_t time) {
  out.append(key).push_back(':');
  AppendInt(out, time);
  out.push_back('=');
}

}  // namespace

void ParseCacheFile(std::string_view text, Caches& caches) {
  LineReader reader(text);
  if (!SkipToSection(reader, "[dns]") || !ReadNames(reader, caches)) return;
  if (!SkipToSection(reader, "[whois]") || !ReadWhoIs(reader, caches)) return;
  if (!SkipToSection(reader, "[location]")) return;
  ReadLocations(reader, caches);
}

namespace {

// Appends "count=" and the entries that `write` writes, both taken under
// one hold of the cache's lock: a worker storing an entry meanwhile can make
// neither the count nor the entries stale on its own. `written(e)` says
// whether `write` writes an entry.
template <class Cache, class Written, class Write>
void AppendSection(std::string& out, const Cache& cache, Written written, Write write) {
  cache.WithLock([&](const typename Cache::Table& table) {
    size_t count = 0;
    for (const auto& e : table.Entries()) count += written(e) ? 1 : 0;
    out.append("count=");
    AppendInt(out, static_cast<int64_t>(count));
    out.push_back('\n');
    for (const auto& e : table.Entries())
      if (written(e)) write(out, e);
  });
}

}  // namespace

std::string FormatCacheFile(const Caches& caches) {
  // Room for the whole text at once: growing a string of megabytes step by
  // step costs more than writing it.
  size_t estimate = 256 + 64 * (caches.names.Size() + caches.locations.Size());
  caches.whois.ForEach([&](const WhoIsCache::Entry& e) {
    estimate += e.key.size() + 32 + (e.value.answer ? e.value.answer->size() : 0);
  });
  std::string out;
  out.reserve(estimate + estimate / 8);
  out.append(kGeneratedBanner).append("\n\n");

  out.append("[dns]\n");
  auto all = [](const auto&) { return true; };
  AppendSection(out, caches.names, all, [](std::string& o, const NameCache::Entry& e) {
    AppendEntryHead(o, platform::AddressToDotted(e.key), e.time);
    o.append(e.value).push_back('\n');
  });

  // Only answered entries are written.
  out.append("\n[whois]\n");
  auto answered = [](const WhoIsCache::Entry& e) {
    return e.value.answer && e.value.answer->size() <= kMaxStoredAnswer;
  };
  AppendSection(out, caches.whois, answered, [](std::string& o, const WhoIsCache::Entry& e) {
    AppendEntryHead(o, e.key, e.time);
    o.append("\nsize=");
    AppendInt(o, static_cast<int64_t>(e.value.answer->size()));
    o.push_back('\n');
    o.append(*e.value.answer).append("\n\n");
  });

  out.append("\n[location]\n");
  AppendSection(out, caches.locations, all, [](std::string& o, const LocationCache::Entry& e) {
    AppendEntryHead(o, e.key, e.time);
    AppendFixed6(o, e.value.latitude);
    o.push_back(',');
    AppendFixed6(o, e.value.longitude);
    o.push_back(',');
    AppendInt(o, e.value.precision);
    o.push_back('\n');
  });
  return out;
}

std::string CacheFilePath(const std::string& dataDir) { return dataDir + "/HopCache.ini"; }

FileLoad LoadCaches(const std::string& dataDir, Caches& caches) {
  FileLoad load;
  std::optional<std::string> text = platform::ReadWholeFile(CacheFilePath(dataDir), &load.error);
  if (!text) {
    if (load.error.Missing()) load.error = {};  // a missing file is no problem
    load.unreadable = load.error.code != 0;
    return load;
  }
  load.read = true;
  ParseCacheFile(*text, caches);
  return load;
}

platform::FileResult SaveCaches(const std::string& dataDir, Caches& caches, const Settings& settings, int64_t now) {
  PurgeCaches(caches, settings, now);
  return platform::ReplaceFileAtomically(CacheFilePath(dataDir), FormatCacheFile(caches));
}

}  // namespace hs::config
