// Any bytes as RIR.idx: the reader must not crash, keeps its capacities, and
// the writer, given the blocks the reader found, writes a file that answers
// every address the same way.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "whois/rir_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::whois;
  const RirIndexData first = ParseRirIndex(std::string_view(reinterpret_cast<const char*>(data), size));
  if (first.apnic.size() > kMaxApnicRanges || first.ripe.size() > kMaxRipeRanges) std::abort();
  if (!first.available) {
    if (first.Lookup(0x01020304) != kRirArin) std::abort();
    return 0;
  }
  auto blocks = [](const std::vector<RirRange>& ranges) {
    std::vector<AddressBlock> out;
    for (const RirRange& r : ranges)
      if (r.last > r.first + 1) out.push_back({r.first + 1, r.last - 1});  // an empty range holds nothing
    return out;
  };
  const auto text = FormatRirIndex(blocks(first.apnic), blocks(first.ripe));
  if (!text) std::abort();
  const RirIndexData second = ParseRirIndex(*text);
  std::vector<uint32_t> probes;
  for (const auto* list : {&first.apnic, &first.ripe})
    for (const RirRange& r : *list)
      for (uint32_t a : {r.first, r.last}) probes.insert(probes.end(), {a - 1, a, a + 1});
  for (uint32_t a : probes)
    if (first.Lookup(a) != second.Lookup(a)) std::abort();
  return 0;
}
