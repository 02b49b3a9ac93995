#include "geo/plausibility.h"

#include <algorithm>
#include <cmath>

namespace hs::geo {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMinimumMarginKm = 1.0;
constexpr double kCityMarginKm = 50.0;
constexpr double kPostalAddressMarginKm = 1000.0;
// Half the circumference: no margin needs to reach farther.
constexpr double kMaximumMarginKm = kPi * kEarthRadiusKm;

double Radians(double degrees) { return degrees * kPi / 180.0; }

}  // namespace

double DistanceKm(double latitude1, double longitude1, double latitude2, double longitude2) {
  const double dLat = Radians(latitude2 - latitude1), dLon = Radians(longitude2 - longitude1);
  const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                   std::cos(Radians(latitude1)) * std::cos(Radians(latitude2)) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(a)));
}

double PositionMarginKm(const GeoLocation& location) {
  switch (location.source) {
    case LocationSource::Database: return kCityMarginKm;
    case LocationSource::WhoIsAddress: return kPostalAddressMarginKm;
    default: {
      // The location servers' scale: precision 200 - 40 log10(radius in km).
      const double km = std::pow(10.0, (200.0 - location.precision) / 40.0);
      return std::clamp(km, kMinimumMarginKm, kMaximumMarginKm);
    }
  }
}

PositionVerdict JudgePosition(const GeoLocation& home, const GeoLocation& hop, std::optional<uint32_t> rttMs) {
  PositionVerdict v;
  if (!hop.HasSource()) {
    v.because = NotJudgedBecause::NoPosition;
    return v;
  }
  if (!home.HasSource() || home.source == LocationSource::DefaultHome) {
    v.because = NotJudgedBecause::NoHome;
    return v;
  }
  if (!rttMs) {
    v.because = NotJudgedBecause::NoTime;
    return v;
  }
  v.because = NotJudgedBecause::Judged;
  v.rttMs = *rttMs;
  v.distanceKm = DistanceKm(home.latitude, home.longitude, hop.latitude, hop.longitude);
  v.marginKm = PositionMarginKm(home) + PositionMarginKm(hop);
  v.allowedKm = (double(*rttMs) + 1.0) * kFibreKmPerMs / 2.0 + v.marginKm;
  v.verdict = v.distanceKm > v.allowedKm ? Plausibility::Implausible : Plausibility::Plausible;
  return v;
}

std::optional<uint32_t> ShownRoundTrip(const HopRecord& row) {
  const uint32_t rtt = row.lastRtt;
  if (rtt == kNoTime || row.address == 0 || row.sentCount == row.droppedCount) return std::nullopt;
  return rtt;
}

std::vector<PositionVerdict> JudgeRoute(const std::vector<HopRef>& rows) {
  std::vector<PositionVerdict> out(rows.size());
  if (rows.empty() || !rows[0]) return out;
  const GeoLocation home = rows[0]->Location();
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i]) continue;
    if (i == 0) {
      out[i].because = NotJudgedBecause::IsHome;
      continue;
    }
    out[i] = JudgePosition(home, rows[i]->Location(), ShownRoundTrip(*rows[i]));
  }
  return out;
}

}  // namespace hs::geo
