#pragma once
// Building a level larger or smaller than its source ("-scale").
#include "Diagnostics.h"
#include "MapParser.h"

namespace mapc {

constexpr double kLeastMapScale = 0.1;
constexpr double kMostMapScale = 10.0;

// A size -scale takes (false for nan too).
inline bool isMapScale(double factor) { return factor >= kLeastMapScale && factor <= kMostMapScale; }

// Makes the source `factor` times larger about the world's origin: brushes,
// patches, entity origins and placed models; textures keep their size on
// the faces. Lights keep their brightness, so a larger level is lit as the
// larger level it is. False with the error in diag when a point would leave
// the coordinate range; the source is then untouched.
bool scaleMap(MapFile& map, double factor, Diagnostics& diag);

} // namespace mapc
