// The place answer as the place lookup reads it: the verdict and the two numbers.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "server/wire/locwire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::locwire;
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const PlaceLookupResult read = ReadPlaceLookupAnswer(answer);
  if (!std::isfinite(read.latitude) || !std::isfinite(read.longitude)) std::abort();
  const bool tvgs = answer.size() >= 6 && answer.substr(0, 4) == "TVGS";
  if (read.verdict == kVerdictGood && (!tvgs || answer.find(',', 6) == std::string_view::npos)) std::abort();
  if (read.verdict != kVerdictGood && (read.latitude != 0 || read.longitude != 0)) std::abort();
  if (tvgs && read.verdict != kVerdictGood && read.verdict != kVerdictInvalid && read.verdict != answer[4] - ',')
    std::abort();
  return 0;
}
