#include "cli/json_report.h"

#include <cstdio>

#include "config/text_fields.h"
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
}  // namespace

std::string TraceToJson(const TraceContext& context, const std::vector<HopRef>& rows, bool completed,
                        const geo::PlaceFile* places) {
  std::string out = "{\"target\":" + Quoted(context.targetText);
  out += ",\"address\":" + Quoted(context.targetAddress ? platform::AddressToDotted(context.targetAddress) : "");
  out += ",\"completed\":";
  out += completed ? "true" : "false";
  out += ",\"rows\":[";
  bool first = true;
  for (const HopRef& row : rows) {
    if (!row) continue;
    if (!first) out += ",";
    first = false;
    const uint32_t address = row->address;
    const uint32_t rtt = row->lastRtt;
    const GeoLocation loc = row->Location();
    out += "\n  {\"index\":" + std::to_string(row->hopNumber.load());
    out += ",\"address\":" + Quoted(address ? platform::AddressToDotted(address) : "");
    out += ",\"name\":" + Quoted(row->Name());
    out += ",\"rtt\":" + (rtt == kNoTime || address == 0 || row->sentCount == row->droppedCount
                              ? std::string("null") : std::to_string(rtt));
    out += ",\"status\":" + std::to_string(row->status.load());
    out += ",\"sent\":" + std::to_string(row->sentCount.load());
    out += ",\"dropped\":" + std::to_string(row->droppedCount.load());
    out += ",\"network\":" + Quoted(row->NetName());
    out += ",\"source\":" + std::to_string(static_cast<uint32_t>(loc.source));
    out += ",\"latitude\":" + Number(loc.latitude);
    out += ",\"longitude\":" + Number(loc.longitude);
    out += ",\"precision\":" + std::to_string(loc.precision);
    if (places) {
      std::optional<geo::Place> place;
      if (loc.HasPosition()) place = places->NearestTo(loc.latitude, loc.longitude, 30);
      out += ",\"place\":" + QuotedUtf8(place ? place->name : std::string_view());
    }
    out += "}";
  }
  out += "\n]}";
  return out;
}

}  // namespace hs::cli
