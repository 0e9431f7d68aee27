#include "serve/render.h"

#include <cmath>
#include <random>

#include "viewer/core/map_options.h"
#include "viewer/core/map_picture.h"
#include "serve/query.h"

namespace veldra::serve {

const std::vector<StyleInfo> kStyles = {
    {"random-colors", "Random colors", 0},   {"red-stretched", "Red stretched", 1},
    {"green-stretched", "Green stretched", 2}, {"blue-stretched", "Blue stretched", 3},
    {"blue-to-yellow", "Blue to Yellow", 4}, {"viridis", "Viridis", 5},
    {"cividis", "Cividis", 6},               {"blue-white-red", "Blue-white-red", 7},
    {"grey", "Grey", 8},
};

std::optional<int> style_ramp(std::string_view name) {
    if (name.empty() || equals_ignoring_case(name, "default")) return style_ramp(kDefaultStyle);
    for (const StyleInfo& s : kStyles)
        if (equals_ignoring_case(name, s.name)) return s.ramp;
    return std::nullopt;
}

const viewer::ColourRamps& server_ramps() {
    static const viewer::ColourRamps ramps = [] {
        std::mt19937 random(1);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        return viewer::build_ramps([&] { return uniform(random); });
    }();
    return ramps;
}

CellIndex index_cells(const GridGeometry& grid, std::span<const files::RangeCell> cells, const files::GlobeMask& globe) {
    CellIndex index;
    index.grid = grid;
    const std::size_t n = static_cast<std::size_t>(grid.cols) * static_cast<std::size_t>(grid.rows);
    index.cell_at.assign(n, -1);
    index.land.assign(n, 0);
    if (globe.cols == grid.cols && globe.rows == grid.rows && globe.land.size() == n) index.land = globe.land;
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const std::int32_t c = cells[k].x - 1, r = cells[k].y - 1;
        if (c < 0 || r < 0 || c >= grid.cols || r >= grid.rows) continue;
        index.cell_at[static_cast<std::size_t>(r) * static_cast<std::size_t>(grid.cols) +
                      static_cast<std::size_t>(c)] = static_cast<std::int32_t>(k);
    }
    return index;
}

viewer::Rgb value_colour(float value, const Painting& painting) {
    const viewer::ColourRamps& ramps = server_ramps();
    if (painting.ramp == 0)
        return ramps.random[static_cast<std::size_t>(viewer::random_ramp_index(value))];
    viewer::StretchStats stats;
    stats.lo = static_cast<float>(painting.lo);
    stats.hi = static_cast<float>(painting.hi);
    viewer::PaintedValues painted(painting.ramp, stats);
    painted.logarithmic = painting.logarithmic;
    return viewer::painted_colour(value, painted, viewer::ramp_at(ramps, painting.ramp));
}

namespace {
void put(std::uint8_t* p, viewer::Rgb c) {
    p[0] = static_cast<std::uint8_t>(c >> 16);
    p[1] = static_cast<std::uint8_t>(c >> 8);
    p[2] = static_cast<std::uint8_t>(c);
    p[3] = 255;
}
}  // namespace

void render(std::span<const std::int32_t> positions, const CellIndex& index, std::span<const float> values,
            const Painting& painting, std::vector<std::uint8_t>& rgba) {
    rgba.assign(positions.size() * 4, 0);
    std::uint8_t* p = rgba.data();
    for (const std::int32_t pos : positions) {
        if (pos >= 0) {
            const std::int32_t cell = index.cell_at[static_cast<std::size_t>(pos)];
            if (cell >= 0 && static_cast<std::size_t>(cell) < values.size())
                put(p, value_colour(values[static_cast<std::size_t>(cell)], painting));
            else if (painting.background)
                put(p, index.land[static_cast<std::size_t>(pos)] ? viewer::kLandColour : viewer::kWaterColour);
        }
        p += 4;
    }
}

void render_legend(const Painting& painting, int width, int height, std::vector<std::uint8_t>& rgba) {
    rgba.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    for (int j = 0; j < height; ++j) {
        const double share = height > 1 ? 1.0 - static_cast<double>(j) / (height - 1) : 0.5;
        double v = painting.lo + share * (painting.hi - painting.lo);
        if (painting.logarithmic && painting.lo > 0 && painting.hi > 0)
            v = std::exp(std::log(painting.lo) + share * (std::log(painting.hi) - std::log(painting.lo)));
        // Within the ends, clear of the rounding at the top.
        if (share >= 1) v = painting.hi - (painting.hi - painting.lo) * 1e-6;
        const viewer::Rgb c = value_colour(static_cast<float>(v), painting);
        for (int i = 0; i < width; ++i)
            put(rgba.data() + (static_cast<std::size_t>(j) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(i)) * 4, c);
    }
}

std::pair<double, double> parse_range(std::string_view text, bool logarithmic) {
    const auto range = viewer::parse_scale(text);
    if (!range) throw RequestError(400, "InvalidParameterValue", "COLORSCALERANGE must be lo,hi: two numbers");
    if (const auto problem = viewer::scale_problem(range->first, range->second, logarithmic))
        throw RequestError(400, "InvalidParameterValue", "COLORSCALERANGE: " + *problem);
    return *range;
}

}  // namespace veldra::serve
