#include "cli/json_report.h"

#include <cstdio>

#include "config/text_fields.h"
#include "cli/report_fields.h"
#include "geo/place_file.h"
#include "platform/resolver.h"
#include "trace/hop_cells.h"

namespace hs::cli {

std::string JsonEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7f) {  // texts are 8-bit: keep every byte, readable by any parser
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

namespace {
std::string Quoted(const std::string& s) { return "\"" + JsonEscape(s) + "\""; }

bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// Place names are UTF-8 (unlike the 8-bit row texts) and go out as such.
std::string QuotedUtf8(std::string_view s) {
  if (!ValidUtf8(s)) return Quoted(std::string(s));
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (u >= 0x20 && c != '"' && c != '\\' && u != 0x7f)) out += c;
    else out += JsonEscape(std::string(1, c));
  }
  return out + "\"";
}
// Six decimals whatever the process locale.
std::string Number(double v) {
  std::string out;
  config::AppendFixed6(out, v);
  return out;
}

void AppendJson(std::string& out, const ReportValue& v) {
  switch (v.kind) {
    case ReportValue::Null: out += "null"; break;
    case ReportValue::Flag: out += v.flag ? "true" : "false"; break;
    case ReportValue::Integer: out += std::to_string(v.integer); break;
    case ReportValue::Decimal: out += Number(v.decimal); break;
    case ReportValue::Text: out += Quoted(v.text); break;
    case ReportValue::Utf8Text: out += QuotedUtf8(v.text); break;
  }
}
}  // namespace

std::string TraceToJson(const TraceContext& context, const std::vector<HopRef>& rows, bool completed,
                        const geo::PlaceFile* places, const asn::AsLookup* as) {
  std::string out = "{\"target\":" + Quoted(context.targetText);
  out += ",\"address\":" + Quoted(context.targetAddress ? platform::AddressToDotted(context.targetAddress) : "");
  out += ",\"completed\":";
  out += completed ? "true" : "false";
  out += ",\"rows\":[";
  const std::vector<geo::PositionVerdict> verdicts = geo::JudgeRoute(rows);
  bool first = true;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i]) continue;
    out += first ? "\n  {" : ",\n  {";
    first = false;
    bool firstField = true;
    for (const ReportField& field : RowFields(*rows[i], verdicts[i], {places, as})) {
      if (!firstField) out += ',';
      firstField = false;
      out += '"';
      out += field.key;
      out += "\":";
      AppendJson(out, field.value);
    }
    out += "}";
  }
  out += "\n]}";
  return out;
}

}  // namespace hs::cli
