// Which values of a variable file are values: the one rule for every tool.
// Anything else (the huge markers a model writes for "nothing here", NaN,
// infinities) is no data: left out of the viewer's statistics, the fill
// value in NetCDF and GeoTIFF, NaN in Python.
#pragma once

namespace veldra::files {

// The bounds are single-precision constants and both are excluded, so a
// value of exactly 1e12 is no data. -9999 lies inside: a cell holding it is
// a value for the viewer, though the grid formats cannot tell it from water.
inline constexpr float kValidAbove = -1e13f;
inline constexpr float kValidBelow = 1e12f;

constexpr bool in_valid_range(float value) { return value > kValidAbove && value < kValidBelow; }

}  // namespace veldra::files
