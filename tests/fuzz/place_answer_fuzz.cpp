// The place answer as PlaceLookup reads it: the verdict and the two numbers.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "geo/location_servers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const int verdict = hs::geo::PlaceAnswerVerdict(answer);
  const hs::geo::PlacePosition p = hs::geo::ReadPlacePosition(answer);
  if (!std::isfinite(p.latitude) || !std::isfinite(p.longitude)) std::abort();
  if (verdict == hs::geo::kVerdictGood &&
      (answer.substr(0, 4) != "TVGS" || answer.find(',', 6) == std::string_view::npos))
    std::abort();
  if (answer.size() >= 6 && answer.substr(0, 4) == "TVGS" && verdict != hs::geo::kVerdictGood &&
      verdict != hs::geo::kVerdictInvalid && verdict != answer[4] - ',')
    std::abort();
  return 0;
}
