// Drawing a month's field into an RGBA picture: each pixel takes the cell
// at its grid position, coloured through the viewer's ramps; positions
// without a cell take the viewer's land or water colour, or stay
// transparent; outside the grid the picture is transparent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/globe_file.h"
#include "serve/geometry.h"
#include "viewer/core/colour_ramps.h"

namespace veldra::serve {

// Which cell lies at each grid position (-1 for none), and whether it is land.
struct CellIndex {
    GridGeometry grid;
    std::vector<std::int32_t> cell_at;  // cols x rows
    std::vector<std::uint8_t> land;     // cols x rows; 1 for land
};

// Cells of `cells` (columns and rows from 1) on `grid`; a later cell at the
// same position stands, as in the viewer. `globe` gives land and water
// (all water when it does not match the grid).
CellIndex index_cells(const GridGeometry& grid, std::span<const files::RangeCell> cells, const files::GlobeMask& globe);

// The styles: the viewer's ramps by a name fit for a URL.
struct StyleInfo {
    const char* name;   // "red-stretched"
    const char* title;  // as the viewer's lists name it
    int ramp;           // the viewer's ramp index (0 random, 1-4 the list's, 5-8 perceptual)
};
extern const std::vector<StyleInfo> kStyles;
// The style of a name (any case; empty is the default), or nothing.
std::optional<int> style_ramp(std::string_view name);
inline constexpr const char* kDefaultStyle = "blue-to-yellow";

// The viewer's ramps with the random ramp of a fixed seed, so that the
// random colours are the same on every request and every server.
const viewer::ColourRamps& server_ramps();

// How the values are coloured.
struct Painting {
    int ramp = 4;
    double lo = 0;
    double hi = 1;
    bool logarithmic = false;
    bool background = true;  // land and water where there is no cell
};

// The colour of a value as the viewer paints it, 0xFFRRGGBB.
viewer::Rgb value_colour(float value, const Painting& painting);

// The picture: RGBA bytes, row by row from the top.
void render(std::span<const std::int32_t> positions, const CellIndex& index, std::span<const float> values,
            const Painting& painting, std::vector<std::uint8_t>& rgba);

// A legend: a vertical bar of the ramp, high at the top, width x height.
void render_legend(const Painting& painting, int width, int height, std::vector<std::uint8_t>& rgba);

// "lo,hi" of COLORSCALERANGE; raises RequestError 400 for anything else or,
// with `logarithmic`, ends not above 0.
std::pair<double, double> parse_range(std::string_view text, bool logarithmic);

}  // namespace veldra::serve
