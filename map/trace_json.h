// Reads the trace that `hopsight-trace --json` writes (cli/json_report.h),
// for the map viewer.
#pragma once

#include <QByteArray>
#include <string>
#include <vector>

#include "trace/records.h"

namespace hs::map {

struct TraceJson {
  std::string target;       // as the user typed it
  uint32_t targetAddress = 0;
  bool completed = true;    // missing: taken as ended
  std::vector<HopRef> rows;
};

// False, with the reason in `why` (the line and column of a syntax error, or
// the row and field), when the text is not a JSON object or a field is of the
// wrong kind or out of range; `out` is then unchanged. Missing and null fields
// keep the defaults. Texts come back as the 8-bit bytes the writer escaped
// (characters beyond Latin-1 become '?').
bool ReadTraceJson(const QByteArray& text, TraceJson& out, std::string* why = nullptr);

}  // namespace hs::map
