// What changed in a route since its recorded trace: the hops whose address
// differs, hop by hop, between the trace history's record and a new trace.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trace/history.h"
#include "trace/records.h"

namespace hs {

// One hop that differs. An address of 0 is a hop that did not reply; no
// value is a hop that one of the two routes does not have.
struct RouteChange {
  int row = 0;  // row index; shown as row + 1, like the "#" column
  std::optional<uint32_t> before;
  std::optional<uint32_t> after;
  friend bool operator==(const RouteChange&, const RouteChange&) = default;
};

// The hops of `rows` whose address differs from the recorded entry of the
// same row, and the hops that only one side has, in row order.
std::vector<RouteChange> CompareRoutes(const std::vector<TraceHopEntry>& recorded, const std::vector<HopRef>& rows);

// "hop 4: no reply -> 198.18.31.2".
std::string RouteChangeLine(const RouteChange& change);
// One side of a change: the dotted address, "no reply" or "none".
std::string RouteChangeSide(const std::optional<uint32_t>& address);

}  // namespace hs
