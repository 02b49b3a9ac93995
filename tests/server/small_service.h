// The request handling of hopsight-locd over the hand-made data directory,
// made once per process (for the fuzz targets).
#pragma once

#include <cstdlib>
#include <memory>

#include "server/locd/service.h"
#include "tests/server/test_support.h"

namespace hs::test {

inline const locd::LocService& SmallDataService() {
  static TempDir dir;
  static std::unique_ptr<locd::GeoData> data = [] {
    WriteSmallData(dir.path());
    auto d = locd::GeoData::Load(dir.path(), nullptr);
    if (!d) std::abort();
    return d;
  }();
  static locd::LocService service(*data, {});
  return service;
}

}  // namespace hs::test
