// The fields of one row of hopsight-trace's reports, in report order: the
// JSON report and the CSV report write the same fields, one as keys and the
// other as columns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geo/plausibility.h"
#include "trace/records.h"

namespace hs::asn {
class AsLookup;
}
namespace hs::geo {
class PlaceFile;
}

namespace hs::cli {

struct ReportValue {
  enum Kind { Null, Flag, Integer, Decimal, Text, Utf8Text } kind = Null;
  bool flag = false;
  int64_t integer = 0;
  double decimal = 0;  // written with six decimals
  std::string text;    // Text: the program's 8-bit texts; Utf8Text: UTF-8 from our data files
};

struct ReportField {
  const char* key;
  ReportValue value;
};

struct ReportSources {
  const geo::PlaceFile* places = nullptr;  // with it, rows carry "place"
  const asn::AsLookup* as = nullptr;       // without it, "asn" and "asName" are null
};

// index, address, name, rtt, status, sent, dropped, network, source,
// latitude, longitude, precision, [place], asn, asName, plausible.
std::vector<ReportField> RowFields(const HopRecord& row, const geo::PositionVerdict& verdict,
                                   const ReportSources& sources);

}  // namespace hs::cli
