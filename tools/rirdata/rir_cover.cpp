#include "tools/rirdata/rir_cover.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <map>

namespace hs::rirdata {
namespace {

// Service regions of the registries, by ISO 3166 code ("AP" and "EU" are the
// registries' own codes for blocks used across a region).
constexpr std::string_view kApnicCountries =
    "AF AP AS AU BD BN BT CC CK CN CX FJ FM GU HK ID IN IO JP KH KI KP KR LA LK MH MM MN MO MP MV MY NC NF NP NR "
    "NU NZ PF PG PH PK PN PW SB SG TH TK TL TO TV TW VN VU WF WS";
constexpr std::string_view kRipeCountries =
    "AD AE AL AM AT AX AZ BA BE BG BH BY CH CY CZ DE DK EE ES EU FI FO FR GB GE GG GI GL GR HR HU IE IL IM IQ IR "
    "IS IT JE JO KG KW KZ LB LI LT LU LV MC MD ME MK MT NL NO OM PL PS PT QA RO RS RU SA SE SI SJ SK SM SY TJ TM "
    "TR UA UZ VA XK YE";
// ARIN (North America and most of the Caribbean), LACNIC and AFRINIC: all asked through ARIN.
constexpr std::string_view kOtherCountries =
    "AG AI AQ BB BL BM BS BV CA DM GD GP HM JM KN KY LC MF MQ MS PM PR TC UM US VC VG VI "
    "AR AW BO BQ BR BZ CL CO CR CU CW DO EC FK GF GS GT GY HN HT MX NI PA PE PY SR SV SX TT UY VE "
    "AO BF BI BJ BW CD CF CG CI CM CV DJ DZ EG EH ER ET GA GH GM GN GQ GW KE KM LR LS LY MA MG ML MR MU MW MZ NA "
    "NE NG RE RW SC SD SH SL SN SO SS ST SZ TD TF TG TN TZ UG YT ZA ZM ZW";

bool Listed(std::string_view list, std::string_view code) {
  for (size_t i = 0; i + 2 <= list.size(); i += 3)
    if (list.substr(i, 2) == code) return true;
  return false;
}

constexpr int64_t kMinusInfinity = INT64_MIN / 4;
constexpr int kCoverRounds = 6;

struct Item {
  int64_t weight;
  uint32_t first;
  uint32_t last;
};

// The segments as alternating gains and costs; weightless stretches vanish
// (a block may run across them for free).
std::vector<Item> Items(const std::vector<Segment>& segments, Label target, const std::vector<Label>& penalised) {
  std::vector<Item> items;
  for (const Segment& s : segments) {
    const int64_t size = int64_t{s.last} - s.first + 1;
    int64_t weight = 0;
    if (s.label == target) weight = size;
    else if (std::find(penalised.begin(), penalised.end(), s.label) != penalised.end()) weight = -size;
    if (weight == 0) continue;
    if (!items.empty() && (items.back().weight > 0) == (weight > 0)) {
      items.back().weight += weight;
      items.back().last = s.last;
    } else {
      items.push_back({weight, s.first, s.last});
    }
  }
  return items;
}

class BitTable {
 public:
  BitTable(size_t rows, size_t columns) : columns_(columns), bits_((rows * columns + 63) / 64) {}
  void Set(size_t r, size_t c) { const size_t i = r * columns_ + c; bits_[i / 64] |= uint64_t{1} << (i % 64); }
  bool Get(size_t r, size_t c) const { const size_t i = r * columns_ + c; return (bits_[i / 64] >> (i % 64)) & 1; }

 private:
  size_t columns_;
  std::vector<uint64_t> bits_;
};

}  // namespace

Label RegistryOfCountry(std::string_view code) {
  if (code.size() != 2) return Label::Unknown;
  if (Listed(kApnicCountries, code)) return Label::Apnic;
  if (Listed(kRipeCountries, code)) return Label::Ripe;
  if (Listed(kOtherCountries, code)) return Label::Other;
  return Label::Unknown;
}

std::vector<Segment> ReadCountryRanges(std::string_view csv, size_t* skipped) {
  std::vector<Segment> ranges;
  size_t bad = 0;
  size_t pos = 0;
  while (pos < csv.size()) {
    size_t end = csv.find('\n', pos);
    if (end == std::string_view::npos) end = csv.size();
    std::string_view line = csv.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    uint32_t first = 0, last = 0;
    const char* p = line.data();
    const char* e = line.data() + line.size();
    auto r1 = std::from_chars(p, e, first);
    if (r1.ec != std::errc() || r1.ptr == e || *r1.ptr != ',') { ++bad; continue; }
    auto r2 = std::from_chars(r1.ptr + 1, e, last);
    if (r2.ec != std::errc() || r2.ptr == e || *r2.ptr != ',' || last < first) { ++bad; continue; }
    const std::string_view code(r2.ptr + 1, static_cast<size_t>(e - r2.ptr - 1));
    ranges.push_back({first, last, RegistryOfCountry(code)});
  }
  if (skipped) *skipped = bad;
  return ranges;
}

std::vector<Segment> Flatten(std::vector<Segment> ranges) {
  // Widest first, so that a narrower range painted later keeps its addresses.
  std::stable_sort(ranges.begin(), ranges.end(), [](const Segment& a, const Segment& b) {
    return uint64_t{a.last} - a.first > uint64_t{b.last} - b.first;
  });
  std::map<uint32_t, Segment> painted;  // by first address
  auto splitAt = [&painted](uint32_t at) {
    auto it = painted.upper_bound(at);
    if (it == painted.begin()) return;
    --it;
    Segment& s = it->second;
    if (s.first < at && s.last >= at) {
      Segment tail{at, s.last, s.label};
      s.last = at - 1;
      painted.emplace(at, tail);
    }
  };
  for (const Segment& r : ranges) {
    splitAt(r.first);
    if (r.last != UINT32_MAX) splitAt(r.last + 1);
    auto from = painted.lower_bound(r.first);
    auto to = r.last == UINT32_MAX ? painted.end() : painted.upper_bound(r.last);
    painted.erase(from, to);
    painted.emplace(r.first, r);
  }
  std::vector<Segment> flat;
  flat.reserve(painted.size());
  for (const auto& [first, s] : painted) {
    if (!flat.empty() && flat.back().label == s.label && uint64_t{flat.back().last} + 1 == s.first) {
      flat.back().last = s.last;
    } else {
      flat.push_back(s);
    }
  }
  return flat;
}

std::vector<whois::AddressBlock> ChooseBlocks(const std::vector<Segment>& segments, Label target,
                                              const std::vector<Label>& penalised, size_t capacity) {
  const std::vector<Item> items = Items(segments, target, penalised);
  const size_t n = items.size();
  const size_t k = capacity;
  if (n == 0 || k == 0) return {};

  // Best total with at most j blocks so far: `inside[j]` while a block is open
  // at the current item, `outside[j]` otherwise.
  std::vector<int64_t> inside(k + 1, kMinusInfinity), outside(k + 1, 0);
  BitTable startsHere(n, k + 1), endsHere(n, k + 1);
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = k; j >= 1; --j) {
      const int64_t extend = inside[j];
      const int64_t start = outside[j - 1];
      if (start >= extend) startsHere.Set(i, j);
      inside[j] = std::max(extend, start) + items[i].weight;
      if (inside[j] > outside[j]) {
        outside[j] = inside[j];
        endsHere.Set(i, j);
      }
    }
  }

  // Walk the decisions back from the end, outside a block with k allowed.
  std::vector<whois::AddressBlock> blocks;
  size_t j = k;
  bool in = false;
  uint32_t blockLast = 0;
  for (size_t i = n; i-- > 0 && j > 0;) {
    if (!in) {
      if (!endsHere.Get(i, j)) continue;
      in = true;
      blockLast = items[i].last;
    }
    if (startsHere.Get(i, j)) {
      blocks.push_back({items[i].first, blockLast});
      in = false;
      --j;
    }
  }
  std::reverse(blocks.begin(), blocks.end());
  return blocks;
}

namespace {

// Calls part(first, last, inside) for every stretch of the segment inside or
// outside the blocks (sorted, disjoint); `b` carries on from segment to segment.
template <class F>
void SplitByBlocks(const Segment& s, const std::vector<whois::AddressBlock>& blocks, size_t& b, F&& part) {
  uint64_t at = s.first;
  while (at <= s.last) {
    while (b < blocks.size() && blocks[b].last < at) ++b;
    if (b == blocks.size() || blocks[b].first > s.last) {
      part(static_cast<uint32_t>(at), s.last, false);
      return;
    }
    if (blocks[b].first > at) {
      part(static_cast<uint32_t>(at), blocks[b].first - 1, false);
      at = blocks[b].first;
    }
    const uint32_t coveredLast = std::min(blocks[b].last, s.last);
    part(static_cast<uint32_t>(at), coveredLast, true);
    at = uint64_t{coveredLast} + 1;
  }
}

// The APNIC choice once the RIPE ranges are known: an APNIC range costs an
// address only where the index would otherwise have been right, that is a
// RIPE address inside a RIPE range or another registry's address outside.
std::vector<Segment> ApnicGivenRipe(const std::vector<Segment>& segments,
                                    const std::vector<whois::AddressBlock>& ripe) {
  std::vector<Segment> out;
  size_t b = 0;
  for (const Segment& s : segments) {
    SplitByBlocks(s, ripe, b, [&](uint32_t first, uint32_t last, bool inside) {
      Label label = s.label;
      if (s.label == Label::Ripe) label = inside ? Label::Other : Label::Unknown;
      else if (s.label == Label::Other) label = inside ? Label::Unknown : Label::Other;
      out.push_back({first, last, label});
    });
  }
  return out;
}

uint64_t Wrong(const std::vector<Segment>& segments, const Cover& cover) {
  const auto text = whois::FormatRirIndex(cover.apnic, cover.ripe);
  return text ? CountMisassigned(segments, whois::ParseRirIndex(*text)).addresses : UINT64_MAX;
}

}  // namespace

std::vector<Segment> WithoutBlocks(const std::vector<Segment>& segments,
                                   const std::vector<whois::AddressBlock>& blocks) {
  std::vector<Segment> out;
  size_t b = 0;
  for (const Segment& s : segments) {
    SplitByBlocks(s, blocks, b, [&](uint32_t first, uint32_t last, bool inside) {
      out.push_back({first, last, inside ? Label::Unknown : s.label});
    });
  }
  return out;
}

Misassigned CountMisassigned(const std::vector<Segment>& segments, const whois::RirIndexData& index) {
  // The answer can change only where some range starts or stops holding addresses.
  std::vector<uint64_t> changes;
  for (const auto* list : {&index.apnic, &index.ripe}) {
    for (const whois::RirRange& r : *list) {
      changes.push_back(uint64_t{r.first} + 1);
      changes.push_back(r.last);
    }
  }
  std::sort(changes.begin(), changes.end());
  changes.erase(std::unique(changes.begin(), changes.end()), changes.end());

  Misassigned result;
  for (const Segment& s : segments) {
    whois::Rir expected;
    switch (s.label) {
      case Label::Apnic: expected = whois::kRirApnic; break;
      case Label::Ripe: expected = whois::kRirRipe; break;
      case Label::Other: expected = whois::kRirArin; break;
      default: continue;
    }
    result.known += uint64_t{s.last} - s.first + 1;
    uint64_t at = s.first;
    auto next = std::upper_bound(changes.begin(), changes.end(), at);
    while (at <= s.last) {
      const uint64_t pieceLast = (next == changes.end() || *next > s.last) ? s.last : *next - 1;
      if (index.Lookup(static_cast<uint32_t>(at)) != expected) {
        const uint64_t size = pieceLast - at + 1;
        result.addresses += size;
        (s.label == Label::Apnic ? result.apnic : s.label == Label::Ripe ? result.ripe : result.other) += size;
      }
      at = pieceLast + 1;
      if (next != changes.end()) ++next;
    }
  }
  return result;
}

Cover ChooseCover(const std::vector<Segment>& segments, size_t apnicCapacity, size_t ripeCapacity) {
  // Each step is the best choice of one list given the other, so the count
  // never grows; a few rounds settle it.
  Cover cover, best;
  uint64_t bestWrong = UINT64_MAX;
  // At first an address of RIPE or another registry inside an APNIC range counts as wrong.
  cover.apnic = ChooseBlocks(segments, Label::Apnic, {Label::Ripe, Label::Other}, apnicCapacity);
  for (int round = 0; round < kCoverRounds; ++round) {
    // Where APNIC answers, the RIPE list is not asked: those addresses cost nothing.
    cover.ripe = ChooseBlocks(WithoutBlocks(segments, cover.apnic), Label::Ripe, {Label::Other}, ripeCapacity);
    const uint64_t wrong = Wrong(segments, cover);
    if (wrong >= bestWrong) break;
    best = cover;
    bestWrong = wrong;
    cover.apnic = ChooseBlocks(ApnicGivenRipe(segments, cover.ripe), Label::Apnic, {Label::Other}, apnicCapacity);
  }
  return best;
}

}  // namespace hs::rirdata
