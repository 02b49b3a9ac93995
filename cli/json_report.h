// The whole trace as one JSON object (hopsight-trace --json; the map viewer reads it).
#pragma once

#include <string>
#include <vector>

#include "trace/engine.h"

namespace hs::cli {

std::string JsonEscape(const std::string& text);
std::string TraceToJson(const TraceContext& context, const std::vector<HopRef>& rows, bool completed);

}  // namespace hs::cli
