// The whole trace as one JSON object (hopsight-trace --json; the map viewer reads it).
#pragma once

#include <string>
#include <vector>

#include "trace/engine.h"

namespace hs::geo {
class PlaceFile;
}
namespace hs::asn {
class AsLookup;
}

namespace hs::cli {

std::string JsonEscape(const std::string& text);
// Each row carries its position: "source" (LocationSource number), "latitude",
// "longitude", "precision", and with a place file "place" (the nearest
// named place, empty when none is near or the row has no position); its AS,
// "asn" and "asName" (null without one); and "plausible": whether its
// position agrees with its round-trip time (null: not judged).
std::string TraceToJson(const TraceContext& context, const std::vector<HopRef>& rows, bool completed,
                        const geo::PlaceFile* places = nullptr, const asn::AsLookup* as = nullptr);

}  // namespace hs::cli
