#include "asn/as_table.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>
#include <tuple>

#include "platform/byte_order.h"
#include "platform/files.h"

namespace hs::asn {
namespace {

constexpr size_t kHeaderSize = 20;

using platform::AppendU32;
using platform::LoadU32;

struct Block {
  uint32_t first, last;
};

// The IANA special-purpose registry's blocks, host order, ascending.
constexpr Block kSpecialPurpose[] = {
    {0x00000000, 0x00FFFFFF},  // 0.0.0.0/8 "this network"
    {0x0A000000, 0x0AFFFFFF},  // 10.0.0.0/8 private
    {0x64400000, 0x647FFFFF},  // 100.64.0.0/10 shared (carrier-grade NAT)
    {0x7F000000, 0x7FFFFFFF},  // 127.0.0.0/8 loopback
    {0xA9FE0000, 0xA9FEFFFF},  // 169.254.0.0/16 link-local
    {0xAC100000, 0xAC1FFFFF},  // 172.16.0.0/12 private
    {0xC0000000, 0xC00000FF},  // 192.0.0.0/24 protocol assignments
    {0xC0000200, 0xC00002FF},  // 192.0.2.0/24 documentation
    {0xC0586300, 0xC05863FF},  // 192.88.99.0/24 former 6to4 relays
    {0xC0A80000, 0xC0A8FFFF},  // 192.168.0.0/16 private
    {0xC6120000, 0xC613FFFF},  // 198.18.0.0/15 benchmarking
    {0xC6336400, 0xC63364FF},  // 198.51.100.0/24 documentation
    {0xCB007100, 0xCB0071FF},  // 203.0.113.0/24 documentation
    {0xE0000000, 0xFFFFFFFF},  // 224.0.0.0/4 multicast, 240.0.0.0/4 reserved, broadcast
};

struct Segment {
  uint32_t last;
  uint32_t value;  // index into the ranges, or kNoAs
};

// Gives [first, last] to `value` (kNoAs: to nobody), cutting what was there.
void Paint(std::map<uint32_t, Segment>& segments, uint32_t first, uint32_t last, uint32_t value) {
  auto it = segments.lower_bound(first);
  if (it != segments.begin()) {
    auto before = std::prev(it);  // starts before `first`
    if (before->second.last >= first) {
      const Segment whole = before->second;
      before->second.last = first - 1;
      if (whole.last > last) segments.emplace(last + 1, whole);  // it spans the new block
    }
  }
  it = segments.lower_bound(first);
  while (it != segments.end() && it->first <= last) {
    const Segment s = it->second;
    it = segments.erase(it);
    if (s.last > last) {
      segments.emplace(last + 1, s);
      break;
    }
  }
  if (value != kNoAs) segments.emplace(first, Segment{last, value});
}

}  // namespace

bool IsSpecialPurpose(uint32_t a) {
  for (const Block& b : kSpecialPurpose)
    if (a >= b.first && a <= b.last) return true;
  return false;
}

std::vector<AsRange> NormaliseRanges(const std::vector<AsRange>& ranges) {
  std::vector<size_t> order;
  order.reserve(ranges.size());
  for (size_t i = 0; i < ranges.size(); ++i)
    if (ranges[i].first <= ranges[i].last) order.push_back(i);
  // Wide blocks first, so that narrower ones are painted over them; equal
  // widths keep the file's order, so the later one wins.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return ranges[a].last - ranges[a].first > ranges[b].last - ranges[b].first;
  });
  std::map<uint32_t, Segment> segments;
  for (size_t i : order) Paint(segments, ranges[i].first, ranges[i].last, uint32_t(i));
  for (const Block& b : kSpecialPurpose) Paint(segments, b.first, b.last, kNoAs);

  std::vector<AsRange> out;
  out.reserve(segments.size());
  for (const auto& [first, s] : segments) {
    const AsRange& r = ranges[s.value];
    if (!out.empty() && out.back().last + 1 == first && out.back().last != UINT32_MAX &&
        out.back().asn == r.asn && out.back().name == r.name) {
      out.back().last = s.last;
    } else {
      out.push_back(AsRange{first, s.last, r.asn, r.name});
    }
  }
  return out;
}

std::string WriteAsTable(const std::vector<AsRange>& input) {
  const std::vector<AsRange> ranges = NormaliseRanges(input);
  // Each (number, name) pair once, in number order; each name text once.
  std::map<std::pair<uint32_t, std::string_view>, uint32_t> systems;
  for (const AsRange& r : ranges) systems.emplace(std::pair<uint32_t, std::string_view>(r.asn, r.name), 0);
  std::string names, entries;
  std::map<std::string_view, uint32_t> nameOffsets;
  uint32_t index = 0;
  for (auto& [key, value] : systems) {
    value = index++;
    auto [at, added] = nameOffsets.emplace(key.second, uint32_t(names.size()));
    if (added) {
      names += key.second;
      names += '\0';
    }
    AppendU32(entries, key.first);
    AppendU32(entries, at->second);
  }
  std::string starts, indices;
  auto boundary = [&](uint32_t start, uint32_t value) {
    AppendU32(starts, start);
    AppendU32(indices, value);
  };
  for (size_t i = 0; i < ranges.size(); ++i) {
    const AsRange& r = ranges[i];
    if (i > 0 && ranges[i - 1].last + 1 != r.first) boundary(ranges[i - 1].last + 1, kNoAs);
    boundary(r.first, systems.at({r.asn, r.name}));
  }
  if (!ranges.empty() && ranges.back().last != UINT32_MAX) boundary(ranges.back().last + 1, kNoAs);

  std::string out(kAsTableMagic);
  AppendU32(out, uint32_t(starts.size() / 4));
  AppendU32(out, uint32_t(systems.size()));
  AppendU32(out, uint32_t(names.size()));
  out += starts;
  out += indices;
  out += entries;
  out += names;
  return out;
}

std::string AsText(const AsInfo& info) {
  std::string out = "AS" + std::to_string(info.asn);
  if (!info.name.empty()) {
    out += ' ';
    out += info.name;
  }
  return out;
}

std::optional<AsTable> AsTable::FromBytes(std::string bytes, std::string* why) {
  auto fail = [why](std::string reason) -> std::optional<AsTable> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  if (bytes.size() < kHeaderSize || std::string_view(bytes).substr(0, 8) != kAsTableMagic)
    return fail("not an AS table (no HopASN1 header)");
  const uint64_t ranges = LoadU32(&bytes[8]), systems = LoadU32(&bytes[12]), names = LoadU32(&bytes[16]);
  const uint64_t size = kHeaderSize + 8 * ranges + 8 * systems + names;
  if (size != bytes.size())
    return fail("the counts call for " + std::to_string(size) + " bytes, the file has " + std::to_string(bytes.size()));
  if (names > 0 && bytes.back() != '\0') return fail("the last name has no end");
  if (systems > 0 && names == 0) return fail("AS entries without names");

  AsTable t;
  t.ranges_ = ranges;
  t.systems_ = systems;
  t.startsAt_ = kHeaderSize;
  t.indicesAt_ = t.startsAt_ + 4 * ranges;
  t.entriesAt_ = t.indicesAt_ + 4 * ranges;
  t.namesAt_ = t.entriesAt_ + 8 * systems;
  t.bytes_ = std::move(bytes);
  for (size_t i = 0; i < t.ranges_; ++i) {
    if (i > 0 && t.Start(i) <= t.Start(i - 1)) return fail("range " + std::to_string(i) + " is out of order");
    const uint32_t index = t.Index(i);
    if (index != kNoAs && index >= systems) return fail("range " + std::to_string(i) + " names no AS entry");
  }
  for (size_t i = 0; i < t.systems_; ++i)
    if (LoadU32(&t.bytes_[t.entriesAt_ + 8 * i + 4]) >= names)
      return fail("the name of AS entry " + std::to_string(i) + " lies outside the names");
  return t;
}

uint32_t AsTable::Start(size_t i) const { return LoadU32(&bytes_[startsAt_ + 4 * i]); }
uint32_t AsTable::Index(size_t i) const { return LoadU32(&bytes_[indicesAt_ + 4 * i]); }

std::optional<AsInfo> AsTable::FindHostOrder(uint32_t address) const {
  if (IsSpecialPurpose(address) || ranges_ == 0) return std::nullopt;
  // The last range that starts at or before the address.
  size_t low = 0, count = ranges_;
  while (count > 0) {
    const size_t half = count / 2;
    if (Start(low + half) <= address) {
      low += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  if (low == 0) return std::nullopt;
  const uint32_t index = Index(low - 1);
  if (index == kNoAs) return std::nullopt;
  const char* entry = &bytes_[entriesAt_ + 8 * size_t(index)];
  return AsInfo{LoadU32(entry), std::string_view(&bytes_[namesAt_ + LoadU32(entry + 4)])};
}

std::vector<AsRange> AsTable::Ranges() const {
  std::vector<AsRange> out;
  for (size_t i = 0; i < ranges_; ++i) {
    const uint32_t index = Index(i);
    if (index == kNoAs) continue;
    const char* entry = &bytes_[entriesAt_ + 8 * size_t(index)];
    const uint32_t last = i + 1 < ranges_ ? Start(i + 1) - 1 : UINT32_MAX;
    out.push_back(AsRange{Start(i), last, LoadU32(entry), std::string(&bytes_[namesAt_ + LoadU32(entry + 4)])});
  }
  return out;
}

std::optional<AsInfo> AsTable::Find(uint32_t networkOrderAddress) const {
  return FindHostOrder(ntohl(networkOrderAddress));
}

AsLookup::AsLookup(AsTable table) {
  std::call_once(once_, [] {});
  table_ = std::move(table);
  loaded_ = true;
}

void AsLookup::Load() const {
  std::call_once(once_, [this] {
    platform::FileError error;
    std::optional<std::string> bytes = platform::ReadWholeFile(path_, &error);
    if (!bytes) {
      error_ = error.Describe();
      return;
    }
    std::string why;
    table_ = AsTable::FromBytes(std::move(*bytes), &why);
    if (!table_) error_ = path_ + ": " + why;
  });
  loaded_ = true;
}

std::optional<AsInfo> AsLookup::Find(uint32_t networkOrderAddress) const {
  // Private and test addresses need no table: the file is not read for them.
  if (IsSpecialPurpose(ntohl(networkOrderAddress))) return std::nullopt;
  Load();
  return table_ ? table_->Find(networkOrderAddress) : std::nullopt;
}

bool AsLookup::Available() const {
  Load();
  return table_.has_value();
}

std::string AsLookup::Error() const {
  Load();
  return error_;
}

}  // namespace hs::asn
