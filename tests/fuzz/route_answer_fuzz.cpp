// The route answer as LocateRoute reads it (the wire reader, then the
// acceptance rules). Input: the number of hops, the destination's
// precision, a flag for a well-framed answer, then the answer's bytes.
// Whatever the bytes, a hop is either left alone or placed by the server
// inside the accepted ranges, and only a well-formed answer changes anything.
#include <cstdint>
#include <cstdlib>

#include "config/caches.h"
#include "geo/route_placement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t hops = 1 + data[0] % 64;
  const int32_t destinationPrecision = data[1];
  const bool framed = data[2] & 1;
  std::string answer(reinterpret_cast<const char*>(data + 3), size - 3);
  if (framed) {
    // Banner and end mark around the fuzzed entries, so the fuzzer spends
    // its time on the entries rather than on finding the frame.
    std::string banner = "Copyright fuzz";
    banner.resize(hs::locwire::kBannerLength, ' ');
    answer = banner + answer + "fdb6\r\n";
  }

  std::vector<hs::HopRef> rows;
  const hs::GeoLocation before{hs::LocationSource::Database, 1.5, 2.5, 40};
  for (size_t i = 0; i < hops; ++i) {
    rows.push_back(hs::HopRef::Create());
    rows.back()->address = static_cast<uint32_t>(i + 1);
    rows.back()->SetLocation(before);
  }
  rows.back()->SetLocation({hs::LocationSource::Database, 1.5, 2.5, destinationPrecision});

  hs::config::LocationCache cache;
  int homes = 0;
  const int verdict = hs::geo::RouteAnswerVerdict(answer, hops);
  const bool outFlag = hs::geo::ApplyRouteAnswer(answer, rows, {&cache, 1, [&](const hs::GeoLocation&) { ++homes; }});
  if (verdict != hs::geo::kVerdictGood && (outFlag || homes || cache.Size())) std::abort();
  if (outFlag && (hops <= 2 || destinationPrecision >= 8)) std::abort();
  size_t changed = 0;
  for (size_t i = 0; i < hops; ++i) {
    const hs::GeoLocation g = rows[i]->Location();
    if (g.source == hs::LocationSource::Database) continue;
    if (verdict != hs::geo::kVerdictGood || g.source != hs::LocationSource::Server) std::abort();
    if (g.latitude == 0 || g.longitude == 0 || g.latitude < -85 || g.latitude > 85 || g.longitude < -180 ||
        g.longitude > 180 || g.precision < 0 || g.precision > 255)
      std::abort();
    ++changed;
  }
  if (cache.Size() + static_cast<size_t>(homes) != changed) std::abort();
  return 0;
}
