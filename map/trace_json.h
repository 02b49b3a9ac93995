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

// False when the text is not a JSON object. Fields that are missing or of the
// wrong kind keep the row's defaults; texts come back as the 8-bit bytes the
// writer escaped (characters beyond Latin-1 become '?').
bool ReadTraceJson(const QByteArray& text, TraceJson& out);

}  // namespace hs::map
