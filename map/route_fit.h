// What the map viewer shows of a trace read from a file: the route from its
// first placed hop on, in a view that holds every placed hop.
#pragma once

#include <vector>

#include "map/map_view.h"
#include "trace/records.h"

namespace hs::map {

// The rows from the first one with a position on. Rows before it have no
// place to be drawn (the route's first hop is drawn where it is, and would
// land at 0°, 0°); rows without a position after it are drawn on the route
// between their neighbours as usual.
std::vector<HopRef> PlacedRoute(const std::vector<HopRef>& rows);

// Centres the view on the placed hops and takes the finest scale at which
// all of them lie at least `marginPx` pixels inside the picture, coarser than
// maxScale when the route needs it (maxScale then grows, so zooming out can
// come back to this view). The hops' box is taken the short way round the
// earth: a route from America over Europe to Asia spans the Atlantic, one
// from Asia to America the Pacific. The view first needs a client size and
// scales (Show whole world). False, and the view unchanged, without a placed
// hop.
bool FitRoute(MapView& view, const MapTable& maps, const std::vector<GeoLocation>& locations, int32_t marginPx);

}  // namespace hs::map
