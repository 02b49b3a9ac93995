// Turns "which country holds each address block" into the few ranges of
// RIR.idx: the registry of every block, then at most 545 APNIC and 512 RIPE
// ranges chosen so that the index answers wrongly for as few addresses as
// possible, counted by the reader's own rule.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "whois/rir_index.h"

namespace hs::rirdata {

// Whom an address belongs to, as far as RirOf is concerned: APNIC, RIPE, or
// one of the registries asked through ARIN (ARIN, LACNIC, AFRINIC). Unknown
// addresses (not in the data) may be answered either way.
enum class Label : uint8_t { Unknown, Apnic, Ripe, Other };

// The registry of a two-letter country code (Unknown for codes we do not know).
Label RegistryOfCountry(std::string_view countryCode);

struct Segment {
  uint32_t first = 0;
  uint32_t last = 0;  // inclusive
  Label label = Label::Unknown;
  friend bool operator==(const Segment&, const Segment&) = default;
};

// Reads "first,last,CC" lines (numeric addresses). Lines that do not parse
// are counted in `skipped`.
std::vector<Segment> ReadCountryRanges(std::string_view csv, size_t* skipped = nullptr);

// Sorted, non-overlapping segments; where ranges overlap, the narrower one
// holds its addresses. Adjacent segments of one label are merged.
std::vector<Segment> Flatten(std::vector<Segment> ranges);

// At most `capacity` blocks that maximise (addresses of `target` inside) minus
// (addresses of the `penalised` labels inside); other labels cost nothing.
std::vector<whois::AddressBlock> ChooseBlocks(const std::vector<Segment>& segments, Label target,
                                              const std::vector<Label>& penalised, size_t capacity);

// The segments with everything inside `blocks` (sorted, disjoint) made Unknown.
std::vector<Segment> WithoutBlocks(const std::vector<Segment>& segments,
                                   const std::vector<whois::AddressBlock>& blocks);

struct Misassigned {
  uint64_t addresses = 0;  // addresses whose index answer differs from their registry
  uint64_t known = 0;      // addresses with a known registry
  // The misassigned addresses by their registry: APNIC, RIPE, the others.
  uint64_t apnic = 0, ripe = 0, other = 0;
};
// Counts by evaluating the reader's lookup once per stretch of addresses on
// which its answer cannot change.
Misassigned CountMisassigned(const std::vector<Segment>& segments, const whois::RirIndexData& index);

struct Cover {
  std::vector<whois::AddressBlock> apnic;
  std::vector<whois::AddressBlock> ripe;
};
// APNIC first (the reader asks its list first), then RIPE over what APNIC left.
Cover ChooseCover(const std::vector<Segment>& segments, size_t apnicCapacity = whois::kMaxApnicRanges,
                  size_t ripeCapacity = whois::kMaxRipeRanges);

}  // namespace hs::rirdata
