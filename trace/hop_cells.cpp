#include "trace/hop_cells.h"

#include "i18n/language.h"
#include "platform/resolver.h"

namespace hs {

const char* HopColumnTitle(HopColumn column) {
  switch (column) {
    case HopColumn::Number: return i18n::Tr(NC_("25446", "#"));
    case HopColumn::Address: return i18n::Tr(NC_("25447", "IP Address"));
    case HopColumn::Name: return i18n::Tr(NC_("25448", "Name"));
    case HopColumn::RoundTrip: return i18n::Tr(NC_("25449", "RT (ms)"));
    case HopColumn::Network: return i18n::Tr(NC_("25456", "Network"));
  }
  return "";
}

std::string NetworkCellText(const std::string* whoisText, const std::string& netName) {
  if (netName.empty()) return "-----";
  if (!whoisText) return netName;
  const std::string& text = *whoisText;
  const size_t lineEnd = text.find_first_of("\r\n");
  std::string line = text.substr(0, lineEnd);
  if (size_t paren = line.find('('); paren != std::string::npos) line.erase(paren);
  if (line.size() > 255) line.resize(255);
  // The first line names the network when the network name appears in it
  // (after its first character): then it is the friendlier text.
  if (lineEnd != std::string::npos && !line.empty()) {
    const size_t at = text.find(netName, 1);
    if (at != std::string::npos && at < lineEnd) return line;
  }
  return netName;
}

std::string HopCellText(const HopRecord& row, HopColumn column) {
  switch (column) {
    case HopColumn::Number: return std::to_string(row.hopNumber + 1);
    case HopColumn::Address: {
      const uint32_t address = row.address;
      return address ? platform::AddressToDotted(address) : "-----";
    }
    case HopColumn::Name: {
      std::string name = row.Name();
      return name.empty() ? "-----" : ShownName(name);
    }
    case HopColumn::RoundTrip: {
      const uint32_t rtt = row.lastRtt;
      if (rtt != kNoTime && row.address != 0 && row.sentCount != row.droppedCount)
        return std::to_string(rtt) + " ";
      return "-- ";
    }
    case HopColumn::Network: {
      const auto whois = row.WhoisText();
      return NetworkCellText(whois.get(), row.NetName());
    }
  }
  return {};
}

}  // namespace hs
