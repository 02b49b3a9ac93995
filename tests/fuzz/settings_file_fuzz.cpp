// Any bytes as a settings file: the reader must not crash or hang, and what
// it read must survive a write and a second read unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace hs::config;
  Settings first;
  ParseSettings(std::string_view(reinterpret_cast<const char*>(data), size), first);
  for (bool firstRun : {false, true}) {
    const std::string written = FormatSettings(first, firstRun);
    Settings second = first;
    ParseSettings(written, second);
    if (FormatSettings(second, firstRun) != written) std::abort();
  }
  return 0;
}
