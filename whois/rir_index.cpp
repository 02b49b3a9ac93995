#include "whois/rir_index.h"

#include <arpa/inet.h>

#include "platform/files.h"
#include "platform/resolver.h"
#include "whois/text_lines.h"

namespace hs::whois {
namespace {

constexpr size_t kMaxLineChars = 255;
constexpr uint32_t kErrorValue = 0xFFFFFFFFu;  // what an unconvertible address reads as

uint32_t HostOrder(std::string_view dotted) {
  return ntohl(platform::DottedToAddress(std::string(dotted)));
}

std::string Dotted(uint32_t hostOrder) { return platform::AddressToDotted(htonl(hostOrder)); }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

Rir RirIndexData::Lookup(uint32_t a) const {
  if (!available) return kRirArin;
  for (const RirRange& r : apnic)
    if (r.first < a && a < r.last) return kRirApnic;
  for (const RirRange& r : ripe)
    if (r.first < a && a < r.last) return kRirRipe;
  return kRirArin;
}

RirIndexData ParseRirIndex(std::string_view text) {
  RirIndexData data;
  BoundedLines lines(text, kMaxLineChars);
  std::string_view line;
  if (!lines.Next(line) || !StartsWith(line, "[apnic]")) return data;
  data.available = true;
  std::vector<RirRange>* list = &data.apnic;
  size_t capacity = kMaxApnicRanges;
  while (lines.Next(line)) {
    if (list == &data.apnic && StartsWith(line, "[ripe]")) {
      list = &data.ripe;
      capacity = kMaxRipeRanges;
      continue;
    }
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    std::string_view second = line.substr(tab + 1);
    if (!second.empty() && second.back() == '\n') second.remove_suffix(1);
    const uint32_t first = HostOrder(line.substr(0, tab));
    const uint32_t last = HostOrder(second);
    if (first == kErrorValue || last == kErrorValue) continue;
    if (list->size() < capacity) list->push_back({first, last});
  }
  return data;
}

std::optional<std::string> FormatRirIndex(const std::vector<AddressBlock>& apnic,
                                          const std::vector<AddressBlock>& ripe) {
  if (apnic.size() > kMaxApnicRanges || ripe.size() > kMaxRipeRanges) return std::nullopt;
  std::string out;
  auto section = [&out](std::string_view title, const std::vector<AddressBlock>& blocks) {
    out += title;
    out += '\n';
    for (const AddressBlock& b : blocks) {
      // The reader's comparisons are strict: the bounds lie one outside the block.
      const uint32_t first = b.first == 0 ? 0 : b.first - 1;
      const uint32_t last = b.last >= kErrorValue - 1 ? kErrorValue - 1 : b.last + 1;
      if (last <= first + 1) continue;  // nothing expressible left
      out += Dotted(first);
      out += '\t';
      out += Dotted(last);
      out += '\n';
    }
  };
  section("[apnic]", apnic);
  section("[ripe]", ripe);
  return out;
}

RirIndex::RirIndex(RirIndexData data) {
  std::call_once(once_, [&] {
    data_ = std::move(data);
    loaded_ = true;
  });
}

void RirIndex::Load() {
  std::call_once(once_, [this] {
    if (const auto text = platform::ReadWholeFile(path_)) data_ = ParseRirIndex(*text);
    loaded_ = true;
  });
}

int RirIndex::RirOf(std::string_view dotted) {
  Load();
  return data_.Lookup(HostOrder(dotted));
}

bool RirIndex::Available() {
  Load();
  return data_.available;
}

bool RirIndex::Loaded() const { return loaded_.load(); }

}  // namespace hs::whois
