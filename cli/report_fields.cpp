#include "cli/report_fields.h"

#include "asn/as_table.h"
#include "geo/place_file.h"
#include "platform/resolver.h"

namespace hs::cli {
namespace {

ReportValue Null() { return {}; }
ReportValue Integer(int64_t v) { return {ReportValue::Integer, false, v, 0, {}}; }
ReportValue Decimal(double v) { return {ReportValue::Decimal, false, 0, v, {}}; }
ReportValue Text(std::string s) { return {ReportValue::Text, false, 0, 0, std::move(s)}; }
ReportValue Utf8(std::string s) { return {ReportValue::Utf8Text, false, 0, 0, std::move(s)}; }
ReportValue Flag(bool f) { return {ReportValue::Flag, f, 0, 0, {}}; }

}  // namespace

std::vector<ReportField> RowFields(const HopRecord& row, const geo::PositionVerdict& verdict,
                                   const ReportSources& sources) {
  const uint32_t address = row.address;
  const uint32_t rtt = row.lastRtt;
  const GeoLocation loc = row.Location();
  std::vector<ReportField> f;
  f.reserve(16);
  f.push_back({"index", Integer(row.hopNumber.load())});
  f.push_back({"address", Text(address ? platform::AddressToDotted(address) : "")});
  f.push_back({"name", Text(row.Name())});
  f.push_back({"rtt", rtt == kNoTime || address == 0 || row.sentCount == row.droppedCount ? Null() : Integer(rtt)});
  f.push_back({"status", Integer(row.status.load())});
  f.push_back({"sent", Integer(row.sentCount.load())});
  f.push_back({"dropped", Integer(row.droppedCount.load())});
  f.push_back({"network", Text(row.NetName())});
  f.push_back({"source", Integer(static_cast<uint32_t>(loc.source))});
  f.push_back({"latitude", Decimal(loc.latitude)});
  f.push_back({"longitude", Decimal(loc.longitude)});
  f.push_back({"precision", Integer(loc.precision)});
  if (sources.places) {
    std::optional<geo::Place> place;
    if (loc.HasPosition()) place = sources.places->NearestTo(loc.latitude, loc.longitude, 30);
    f.push_back({"place", Utf8(place ? std::string(place->name) : std::string())});
  }
  std::optional<asn::AsInfo> as;
  if (sources.as && address != 0) as = sources.as->Find(address);
  f.push_back({"asn", as ? Integer(as->asn) : Null()});
  f.push_back({"asName", as ? Utf8(std::string(as->name)) : Null()});
  f.push_back({"plausible", verdict.verdict == geo::Plausibility::NotJudged
                                ? Null()
                                : Flag(verdict.verdict == geo::Plausibility::Plausible)});
  return f;
}

}  // namespace hs::cli
