// Any bytes as HopSight.gdp: the reader must not crash, read out of range or
// allocate without bound; whatever it loaded is searchable, the index agrees
// with a plain scan, and a well-formed load survives the writer unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "geo/location_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::geo;
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  LocationDatabase db;
  const uint32_t code = LocDBInit(db, image);
  for (const char* name : {"xe-1.core1.fra1.example.net", "a.b", "", "ffm-bb2-link.ip.twelve99.net"}) {
    if (db.FindInDatabase(name, 0x0102A8C0) != db.FindByLinearScan(name, 0x0102A8C0)) std::abort();
    for (const DomainEntry& d : db.Domains())
      if (!d.patterns.empty()) {
        const std::string probe = d.patterns.front().pattern + d.key;
        if (db.FindInDatabase(probe, 0) != db.FindByLinearScan(probe, 0)) std::abort();
      }
  }
  if (code != 0) return 0;
  // Keys and patterns the writer can store come back as they were.
  DatabaseSpec spec;
  for (const DomainEntry& d : db.Domains()) {
    if (d.key.empty()) return 0;
    DomainEntry copy{d.key, {}};
    for (const PatternEntry& p : d.patterns) {
      if (!(p.location.latitude >= -90 && p.location.latitude <= 90 && p.location.longitude >= -180 &&
            p.location.longitude <= 180))
        return 0;
      copy.patterns.push_back(p);
    }
    spec.domains.push_back(std::move(copy));
  }
  LocationDatabase again;
  if (LocDBInit(again, WriteLocationDatabase(spec)) != 0 || again.Domains().size() != db.Domains().size()) std::abort();
  for (size_t i = 0; i < db.Domains().size(); ++i) {
    if (again.Domains()[i].key != db.Domains()[i].key) std::abort();
    for (size_t j = 0; j < db.Domains()[i].patterns.size(); ++j)
      if (again.Domains()[i].patterns[j].pattern != db.Domains()[i].patterns[j].pattern) std::abort();
  }
  return 0;
}
