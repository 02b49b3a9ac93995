#include "cli/csv_report.h"

#include "asn/csv.h"
#include "cli/report_fields.h"
#include "config/text_fields.h"

namespace hs::cli {
namespace {

std::string CsvValue(const ReportValue& v) {
  std::string out;
  switch (v.kind) {
    case ReportValue::Null: break;
    case ReportValue::Flag: out = v.flag ? "true" : "false"; break;
    case ReportValue::Integer: out = std::to_string(v.integer); break;
    case ReportValue::Decimal: config::AppendFixed6(out, v.decimal); break;
    case ReportValue::Text:
    case ReportValue::Utf8Text: out = v.text; break;
  }
  return out;
}

}  // namespace

std::string TraceToCsv(const std::vector<HopRef>& rows, const geo::PlaceFile* places, const asn::AsLookup* as) {
  const std::vector<geo::PositionVerdict> verdicts = geo::JudgeRoute(rows);
  // The header comes from the fields themselves, so the two always agree.
  std::vector<std::string> header;
  for (const ReportField& field : RowFields(*HopRef::Create(), {}, {places, nullptr})) header.push_back(field.key);
  std::string out = csv::Record(header);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i]) continue;
    std::vector<std::string> values;
    for (const ReportField& field : RowFields(*rows[i], verdicts[i], {places, as})) values.push_back(CsvValue(field.value));
    out += csv::Record(values);
  }
  return out;
}

}  // namespace hs::cli
