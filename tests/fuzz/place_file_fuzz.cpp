// Any bytes as hopsight.loca: loading and searching must stay inside the
// file; an answer is always a record within the radius box.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "geo/place_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::geo;
  const PlaceFile f = PlaceFile::FromBytes(std::string(reinterpret_cast<const char*>(data), size));
  const int32_t probes[][3] = {{0, 0, 30}, {32400, 16200, 30}, {64800, 32400, 1}, {100, 100, 5000}, {-5, 7, 0}};
  for (const auto& q : probes) {
    const auto p = f.FindNearestPlace(q[0], q[1], q[2]);
    if (p && (std::abs(p->x - q[0]) >= q[2] || std::abs(p->y - q[1]) >= q[2])) std::abort();
    if (p && p->name.data() == nullptr) std::abort();
  }
  return 0;
}
