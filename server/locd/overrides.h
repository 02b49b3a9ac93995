// The operator's override file: address ranges placed by hand, used before
// any database (and the only way to place private or test addresses, as the
// demo lab does). One entry a line:
//   RANGE LATITUDE LONGITUDE PRECISION
// RANGE is a.b.c.d, a.b.c.d/len or a.b.c.d-e.f.g.h; "#" starts a comment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hs::locd {

struct OverrideEntry {
  uint32_t first = 0, last = 0;  // inclusive, first dotted byte in the top bits
  double latitude = 0, longitude = 0;
  uint8_t precision = 0;
  bool operator==(const OverrideEntry&) const = default;
};

class OverrideTable {
 public:
  // The narrowest entry that holds the address (a /32 beats its /24; of two
  // as wide, the earlier). A binary search once Index() has run.
  const OverrideEntry* Find(uint32_t address) const;
  const std::vector<OverrideEntry>& entries() const { return entries_; }
  void Add(const OverrideEntry& e) {
    entries_.push_back(e);
    segments_.clear();
  }
  // Cuts the address space into pieces that each have one answer, in
  // O(n log n), so that a file of many ranges costs each lookup O(log n).
  void Index();

 private:
  struct Segment {
    uint64_t start;  // up to the next segment's start
    int32_t entry;   // -1: none
  };
  const OverrideEntry* FindByScan(uint32_t address) const;

  std::vector<OverrideEntry> entries_;
  std::vector<Segment> segments_;  // empty: not indexed
};

// On a bad line: nullopt and "line N: why" in `error`.
std::optional<OverrideTable> ReadOverrides(std::string_view text, std::string* error);
std::string WriteOverrides(const OverrideTable& table);

}  // namespace hs::locd
