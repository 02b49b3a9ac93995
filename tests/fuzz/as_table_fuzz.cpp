// Any bytes as ASN.idx: the reader must refuse them or answer every address
// without reading outside the file, and a table written again from the
// ranges it found must answer every address the same way.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "asn/as_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::asn;
  const std::optional<AsTable> first = AsTable::FromBytes(std::string(reinterpret_cast<const char*>(data), size));
  if (!first) return 0;
  const std::vector<AsRange> ranges = first->Ranges();
  std::string why;
  const std::optional<AsTable> second = AsTable::FromBytes(WriteAsTable(ranges), &why);
  if (!second) std::abort();
  std::vector<uint32_t> probes{0, 1, 0x7FFFFFFF, 0xDFFFFFFF, 0xFFFFFFFF};
  for (const AsRange& r : ranges) probes.insert(probes.end(), {r.first - 1, r.first, r.last, r.last + 1});
  for (uint32_t a : probes) {
    const auto x = first->FindHostOrder(a), y = second->FindHostOrder(a);
    if (x.has_value() != y.has_value()) std::abort();
    if (x && (x->asn != y->asn || x->name != y->name)) std::abort();
  }
  return 0;
}
