#include "geo/user_locations.h"

#include <charconv>
#include <optional>

#include "config/text_fields.h"
#include "platform/files.h"

namespace hs::geo {

namespace {

constexpr size_t kLinePiece = 1023;
constexpr std::string_view kCountKey = "count=";

// The next line as a fixed 1024-byte line buffer would read it: up to and
// including the line feed, but never more than 1023 characters.
bool NextPiece(std::string_view text, size_t& at, std::string_view& line) {
  if (at >= text.size()) return false;
  size_t end = text.find('\n', at);
  end = end == std::string_view::npos ? text.size() : end + 1;
  end = std::min(end, at + kLinePiece);
  line = text.substr(at, end - at);
  at = end;
  return true;
}

std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

void AppendFixed2(std::string& out, double v) {
  char buf[400];  // fixed notation of the largest double needs 309 digits
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
  out.append(buf, r.ec == std::errc() ? r.ptr : buf);
}

}  // namespace

void UserLocations::Assign(std::vector<UserLocation> entries) {
  entries_ = std::move(entries);
  std::vector<std::string_view> patterns;
  patterns.reserve(entries_.size());
  for (const UserLocation& e : entries_) patterns.push_back(e.pattern);
  index_ = WildcardIndex(patterns);
}

const UserLocation* UserLocations::Find(std::string_view dottedAddress, std::string_view hostName) const {
  int64_t k = index_.FirstMatch(dottedAddress);
  if (k < 0) k = index_.FirstMatch(hostName);
  return k < 0 ? nullptr : &entries_[size_t(k)];
}

std::vector<UserLocation> ParseUserLocations(std::string_view text) {
  std::vector<UserLocation> entries;
  size_t at = 0;
  std::string_view line;
  std::optional<int32_t> count;
  while (!count && NextPiece(text, at, line)) {
    if (!line.empty() && line[0] == '[') return entries;
    if (line.size() >= kCountKey.size() && config::EqualNoCase(line.substr(0, kCountKey.size()), kCountKey))
      count = config::LeadingInt(line.substr(kCountKey.size()));
  }
  if (!count || *count < 1) return entries;
  // The count only sizes the list; a damaged count cannot make it reserve much.
  entries.reserve(std::min<size_t>(size_t(*count), 4096));
  while (entries.size() < size_t(*count) && NextPiece(text, at, line)) {
    line = Trimmed(line);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const size_t comma1 = line.find(',', equals + 1);
    if (comma1 == std::string_view::npos) continue;
    const size_t comma2 = line.find(',', comma1 + 1);
    if (comma2 == std::string_view::npos) continue;
    UserLocation e;
    e.pattern = std::string(line.substr(0, equals));
    e.location.latitude = config::LeadingDouble(line.substr(equals + 1));
    e.location.longitude = config::LeadingDouble(line.substr(comma1 + 1));
    e.location.precision = config::LeadingInt(line.substr(comma2 + 1));
    entries.push_back(std::move(e));
  }
  return entries;
}

std::string UserLocationsText(const std::vector<UserLocation>& entries) {
  std::string out(kCountKey);
  config::AppendInt(out, int64_t(entries.size()));
  out += '\n';
  for (const UserLocation& e : entries) {
    out += e.pattern;
    out += '=';
    AppendFixed2(out, e.location.latitude);
    out += ',';
    AppendFixed2(out, e.location.longitude);
    out += ',';
    config::AppendInt(out, e.location.precision);
    out += '\n';
  }
  return out;
}

void LoadUserLocations(const std::string& dataDir, UserLocations& locations) {
  const std::optional<std::string> text =
      platform::ReadWholeFile(dataDir + "/" + std::string(kUserLocationsFileName));
  if (text) locations.Assign(ParseUserLocations(*text));
}

bool SaveUserLocations(const std::string& dataDir, const UserLocations& locations) {
  if (locations.Entries().empty()) return true;
  const std::string path = dataDir + "/" + std::string(kUserLocationsFileName);
  const std::string text = UserLocationsText(locations.Entries());
  const std::optional<std::string> old = platform::ReadWholeFile(path);
  if (old && *old == text) return true;
  return platform::ReplaceFileAtomically(path, text);
}

}  // namespace hs::geo
