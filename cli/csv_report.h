// The finished route as CSV (hopsight-trace --csv): a header row with the
// JSON report's row keys, then one record per row with the same values
// (null as an empty field, true and false as words), RFC 4180 quoting, CR LF
// line ends.
#pragma once

#include <string>
#include <vector>

#include "trace/records.h"

namespace hs::asn {
class AsLookup;
}
namespace hs::geo {
class PlaceFile;
}

namespace hs::cli {

std::string TraceToCsv(const std::vector<HopRef>& rows, const geo::PlaceFile* places = nullptr,
                       const asn::AsLookup* as = nullptr);

}  // namespace hs::cli
