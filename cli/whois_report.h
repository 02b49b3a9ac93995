// hopsight-trace --whois: the destination's two WhoIs texts after the route.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "trace/engine.h"

namespace hs::cli {

struct DestinationWhoIs {
  std::optional<std::string> registrant;  // the domain answer of the last row
  std::optional<std::string> network;     // its network answer
};

// The texts as the window's Registrant and Network panels show them: only
// when the route reached the target, each from its first "Registrant" on.
DestinationWhoIs DestinationWhoIsTexts(const TraceContext& context, const std::vector<HopRef>& rows);

// Both texts under their titles; "(no answer)" for a missing one.
std::string FormatDestinationWhoIs(const DestinationWhoIs& texts);

}  // namespace hs::cli
