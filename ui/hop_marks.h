// The marks the results list adds to a hop's row: whether its position agrees
// with its round-trip time (on the "#" cell) and whether its address changed
// since the recorded trace of the target (on the "IP Address" cell), each
// with a tip that says why. Drawn by code, like the rest of the artwork.
#pragma once

#include <QIcon>
#include <QString>
#include <cstdint>
#include <optional>

#include "geo/plausibility.h"

namespace hs::ui {

enum class HopMark : int { None = 0, Plausible = 1, Implausible = 2, Changed = 3 };

// The icon of a mark (at 1x and 2x); a transparent one for None.
QIcon MarkIcon(HopMark mark);

// The mark and the tip of a verdict; no tip for a hop without a position.
HopMark PlausibilityMark(const geo::PositionVerdict& verdict);
QString PlausibilityTip(const geo::PositionVerdict& verdict);

// The tip of a changed hop: what it was in the trace recorded at
// `recordedTime` (seconds since 1970; none: 0 = no reply, nullopt = no hop).
QString ChangedHopTip(std::optional<uint32_t> before, int64_t recordedTime);

}  // namespace hs::ui
