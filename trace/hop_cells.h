// The texts of a hop's cells in the results list ("#", "IP Address", "Name",
// "RT (ms)", "Network"); the window and the command-line tracer show the same.
#pragma once

#include <string>

#include "trace/records.h"

namespace hs {

enum class HopColumn { Number, Address, Name, RoundTrip, Network };

// The column's title in the program's language.
const char* HopColumnTitle(HopColumn column);
std::string HopCellText(const HopRecord& row, HopColumn column);
// The "Network" cell from a WhoIs text and the network name taken from it.
std::string NetworkCellText(const std::string* whoisText, const std::string& netName);

}  // namespace hs
