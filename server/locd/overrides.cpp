#include "server/locd/overrides.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <set>
#include <cmath>
#include <sstream>

#include "server/wire/locwire.h"

namespace hs::locd {
namespace {

uint32_t Value(const std::array<uint8_t, 4>& a) {
  return uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
}

std::string Dotted(uint32_t v) {
  return locwire::DottedAddress({uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

bool ParseRange(const std::string& text, uint32_t& first, uint32_t& last) {
  size_t slash = text.find('/'), dash = text.find('-');
  if (slash != std::string::npos) {
    auto a = locwire::ParseDotted(std::string_view(text).substr(0, slash));
    std::string len = text.substr(slash + 1);
    if (!a || len.empty() || len.size() > 2 || len.find_first_not_of("0123456789") != std::string::npos) return false;
    uint64_t n = 0;
    if (!locwire::ParseUnsigned(len, n) || n > 32) return false;
    uint32_t mask = n == 0 ? 0 : ~uint32_t(0) << (32 - n);
    first = Value(*a) & mask;
    last = first | ~mask;
    return true;
  }
  if (dash != std::string::npos) {
    auto a = locwire::ParseDotted(std::string_view(text).substr(0, dash));
    auto b = locwire::ParseDotted(std::string_view(text).substr(dash + 1));
    if (!a || !b || Value(*a) > Value(*b)) return false;
    first = Value(*a);
    last = Value(*b);
    return true;
  }
  auto a = locwire::ParseDotted(text);
  if (!a) return false;
  first = last = Value(*a);
  return true;
}

bool ParseNumber(const std::string& text, double& out) { return locwire::ParseDecimal(text, out); }

void AppendFixed6(std::string& out, double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  out.append(buf, r.ptr);
}

}  // namespace

const OverrideEntry* OverrideTable::Find(uint32_t address) const {
  if (segments_.empty()) return FindByScan(address);
  auto after = std::upper_bound(segments_.begin(), segments_.end(), uint64_t(address),
                                [](uint64_t a, const Segment& s) { return a < s.start; });
  // The first segment starts at 0, so there is always one before `after`.
  int32_t entry = std::prev(after)->entry;
  return entry < 0 ? nullptr : &entries_[static_cast<size_t>(entry)];
}

void OverrideTable::Index() {
  segments_.clear();
  struct Event {
    uint64_t at;
    bool starts;
    int32_t entry;
  };
  std::vector<Event> events;
  events.reserve(2 * entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    events.push_back({entries_[i].first, true, int32_t(i)});
    events.push_back({uint64_t(entries_[i].last) + 1, false, int32_t(i)});
  }
  std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
  // Ranges holding the current point, narrowest (then earliest) first.
  std::set<std::pair<uint32_t, int32_t>> active;
  segments_.push_back({0, -1});
  for (size_t k = 0; k < events.size();) {
    uint64_t at = events[k].at;
    for (; k < events.size() && events[k].at == at; ++k) {
      const OverrideEntry& e = entries_[static_cast<size_t>(events[k].entry)];
      std::pair<uint32_t, int32_t> key{e.last - e.first, events[k].entry};
      if (events[k].starts) active.insert(key);
      else active.erase(key);
    }
    int32_t best = active.empty() ? -1 : active.begin()->second;
    if (segments_.back().start == at) segments_.back().entry = best;
    else if (segments_.back().entry != best) segments_.push_back({at, best});
  }
  // Two segments with the same answer may meet where the first was overwritten.
  size_t out = 0;
  for (size_t i = 0; i < segments_.size(); ++i)
    if (out == 0 || segments_[out - 1].entry != segments_[i].entry) segments_[out++] = segments_[i];
  segments_.resize(out);
}

const OverrideEntry* OverrideTable::FindByScan(uint32_t address) const {
  const OverrideEntry* best = nullptr;
  for (const OverrideEntry& e : entries_) {
    if (address < e.first || address > e.last) continue;
    if (!best || e.last - e.first < best->last - best->first) best = &e;
  }
  return best;
}

std::optional<OverrideTable> ReadOverrides(std::string_view text, std::string* error) {
  OverrideTable table;
  std::istringstream in{std::string(text)};
  std::string line;
  int number = 0;
  auto fail = [&](const char* why) {
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return std::nullopt;
  };
  while (std::getline(in, line)) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream fields(line);
    std::string range, lat, lon, prec, extra;
    if (!(fields >> range)) continue;  // blank or comment
    if (!(fields >> lat >> lon >> prec) || (fields >> extra)) return fail("expected RANGE LATITUDE LONGITUDE PRECISION");
    OverrideEntry e;
    if (!ParseRange(range, e.first, e.last)) return fail("bad address range");
    double p = 0;
    if (!ParseNumber(lat, e.latitude) || e.latitude < -90 || e.latitude > 90) return fail("bad latitude");
    if (!ParseNumber(lon, e.longitude) || e.longitude < -180 || e.longitude > 180) return fail("bad longitude");
    if (!ParseNumber(prec, p) || p < 0 || p > 255 || p != std::floor(p)) return fail("precision must be 0-255");
    e.precision = static_cast<uint8_t>(p);
    table.Add(e);
  }
  table.Index();
  return table;
}

std::string WriteOverrides(const OverrideTable& table) {
  std::string out = "# address range, latitude, longitude, precision (0-255)\n";
  for (const OverrideEntry& e : table.entries()) {
    out += e.first == e.last ? Dotted(e.first) : Dotted(e.first) + "-" + Dotted(e.last);
    out += ' ';
    AppendFixed6(out, e.latitude);
    out += ' ';
    AppendFixed6(out, e.longitude);
    out += ' ';
    locwire::AppendDecimal(out, e.precision);
    out += '\n';
  }
  return out;
}

}  // namespace hs::locd
