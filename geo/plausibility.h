// Whether a hop's position agrees with its round-trip time. Light in fibre
// covers about 200 km per millisecond, so an answer that came back after t ms
// came from at most t / 2 × 200 km away: a hop placed farther from the home
// location than that (after a margin for the precision of both positions)
// cannot be where the map shows it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "trace/records.h"

namespace hs::geo {

inline constexpr double kFibreKmPerMs = 200.0;
inline constexpr double kEarthRadiusKm = 6371.0;

enum class Plausibility { NotJudged, Plausible, Implausible };

// Why a position was not judged.
enum class NotJudgedBecause { Judged, NoPosition, NoHome, NoTime, IsHome };

struct PositionVerdict {
  Plausibility verdict = Plausibility::NotJudged;
  NotJudgedBecause because = NotJudgedBecause::NoPosition;
  // For a judged position: how far it lies from home, how far the time lets
  // it be (the time's reach plus the margin), and the margin alone.
  double distanceKm = 0;
  double allowedKm = 0;
  double marginKm = 0;
  uint32_t rttMs = 0;
};

// Great-circle distance (haversine on a sphere of kEarthRadiusKm).
double DistanceKm(double latitude1, double longitude1, double latitude2, double longitude2);

// How far a position may lie from the true place, by its source and
// precision: positions of the location servers, the cache, the user's own
// and the home location on the servers' scale (precision 200: 1 km, 160:
// 10 km, 120: 100 km, 80: 1,000 km, never less than 1 km); a city of the
// router-name database 50 km; a network's postal address 1,000 km.
double PositionMarginKm(const GeoLocation& location);

// The rule: implausible when the great-circle distance from home exceeds
// (rtt + 1) × 100 km (the reach of half the round trip, the extra
// millisecond for the clock's grain) plus the margins of both positions.
// Not judged without a position, without a home other than the built-in
// default, or without a round-trip time.
PositionVerdict JudgePosition(const GeoLocation& home, const GeoLocation& hop, std::optional<uint32_t> rttMs);

// The round-trip time a row shows (the "RT (ms)" column's rule), if any.
std::optional<uint32_t> ShownRoundTrip(const HopRecord& row);

// Every row of a trace judged against row 0, the local computer, whose
// position is the home location. Row 0 itself is not judged.
std::vector<PositionVerdict> JudgeRoute(const std::vector<HopRef>& rows);

}  // namespace hs::geo
