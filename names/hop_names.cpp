#include "names/hop_names.h"

#include <optional>
#include <string>

#include "platform/clock.h"

namespace hs::names {

HopNameLookup::HopNameLookup(config::NameCache& cache, platform::Resolver& resolver, Clock now)
    : cache_(cache), resolver_(resolver), now_(now ? std::move(now) : Clock(platform::CalendarTime)) {}

std::string NormalizeHostName(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (name.size() > HopRecord::kMaxNameLength) name.resize(HopRecord::kMaxNameLength);
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

bool HopNameLookup::LookupHopName(HopRecord& row, bool networkAllowed, const CancellationWatch& watch) {
  row.SetName("");
  if (row.status.load() == IP_REQ_TIMED_OUT) {
    row.SetName(StatusRowText(IP_REQ_TIMED_OUT));
    row.SetStage(HopStage::Settled);
    return false;
  }
  const uint32_t address = row.address.load();
  if (address == 0) return false;

  std::string name;
  if (std::optional<std::string> cached = cache_.Find(address)) {
    name = std::move(*cached);
  } else if (networkAllowed) {
    std::optional<std::string> answer = resolver_.ReverseName(address);
    // The trace may have been stopped or replaced while the resolver worked.
    if (!watch.IsCurrent()) return false;
    if (answer && !answer->empty()) name = NormalizeHostName(std::move(*answer));
    cache_.Insert(address, name, now_());
  }
  if (name.empty()) return false;
  row.SetName(name);
  row.SetStage(HopStage::Settled);
  return true;
}

}  // namespace hs::names
