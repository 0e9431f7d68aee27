#include "viewer/core/map_guides.h"

#include <charconv>
#include <algorithm>
#include <cmath>

namespace veldra::viewer {

// The text of tools/data/map_lines.txt, compiled in by the build.
extern const std::string_view kMapLinesText;

namespace {

bool read_float(std::string_view& text, float& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    if (r.ec != std::errc()) return false;
    text.remove_prefix(static_cast<std::size_t>(r.ptr - text.data()));
    return true;
}

}  // namespace

std::vector<GeoLine> parse_map_lines(std::string_view text) {
    std::vector<GeoLine> lines;
    bool open = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '>') {
            lines.push_back(GeoLine{line.size() > 1 && line[1] == 'B', {}});
            open = true;
            continue;
        }
        GeoPoint p;
        if (open && read_float(line, p.lon) && read_float(line, p.lat)) lines.back().points.push_back(p);
    }
    return lines;
}

const std::vector<GeoLine>& world_lines() {
    static const std::vector<GeoLine> lines = parse_map_lines(kMapLinesText);
    return lines;
}

Point geo_to_map(const ViewerState& state, double lon, double lat) {
    const files::ViewerGridInfo& g = state.GridInfo;
    const double size = static_cast<double>(g.cellSize);
    return {(lon - (g.lowerX + g.upperX) / 2) / size, (lat - (g.lowerY + g.upperY) / 2) / size};
}

std::string degrees_text(int degrees, bool longitude) {
    const int size = degrees < 0 ? -degrees : degrees;
    std::string text = std::to_string(size) + "\u00B0";
    if (size == 0 || (longitude && size == 180)) return text;
    return text + (longitude ? (degrees > 0 ? "E" : "W") : (degrees > 0 ? "N" : "S"));
}

namespace {

// The graticule's longitudes and latitudes within the grid's span.
template <typename Use>
void for_each_graticule_line(const ViewerState& state, Use use) {
    const files::ViewerGridInfo& g = state.GridInfo;
    const double west = std::min(g.lowerX, g.upperX), east = std::max(g.lowerX, g.upperX);
    const double south = std::min<double>(g.lowerY, g.upperY), north = std::max<double>(g.lowerY, g.upperY);
    for (int lon = -180; lon <= 360; lon += kGraticuleStep)
        if (lon >= west && lon <= east) use(true, lon, geo_to_map(state, lon, south), geo_to_map(state, lon, north));
    for (int lat = -90; lat <= 90; lat += kGraticuleStep)
        if (lat >= south && lat <= north) use(false, lat, geo_to_map(state, west, lat), geo_to_map(state, east, lat));
}

}  // namespace

std::vector<GuideLabel> graticule_labels(const MapCanvas& canvas, const ViewerState& state) {
    std::vector<GuideLabel> labels;
    if (!(state.GridInfo.cellSize > 0)) return labels;
    for_each_graticule_line(state, [&](bool meridian, int degrees, Point a, Point) {
        const Point p = canvas.to_pixel(a.x, a.y);
        const double at = meridian ? p.x : p.y;
        const double limit = meridian ? canvas.width() : canvas.height();
        // A line on the far edge (or beyond it) has no room for its label,
        // and the poles' would cover the meridians' in the corner.
        if (at >= 0 && at < limit - 1 && (meridian || (degrees != 90 && degrees != -90)))
            labels.push_back({degrees_text(degrees > 180 ? degrees - 360 : degrees, meridian), meridian, at});
    });
    return labels;
}

void paint_guides(MapCanvas& canvas, const ViewerState& state, const MapOptions& options,
                  const std::vector<GeoLine>& lines) {
    if (!(state.GridInfo.cellSize > 0)) return;
    if (options.graticule) {
        // Meridians and parallels within the grid's span: straight lines on
        // the map's plate carrée.
        for_each_graticule_line(state, [&](bool, int, Point a, Point b) {
            canvas.draw_line(a.x, a.y, b.x, b.y, kGraticuleColour);
        });
    }
    if (options.borders) {
        for (const GeoLine& line : lines) {
            const Rgb colour = line.border ? kBorderColour : kCoastColour;
            for (std::size_t i = 1; i < line.points.size(); ++i) {
                const GeoPoint& p = line.points[i - 1];
                const GeoPoint& q = line.points[i];
                // A step across the date line is two ends of the map, not a line.
                if (std::fabs(q.lon - p.lon) > 180) continue;
                const Point a = geo_to_map(state, p.lon, p.lat), b = geo_to_map(state, q.lon, q.lat);
                canvas.draw_line(a.x, a.y, b.x, b.y, colour);
            }
        }
    }
}

}  // namespace veldra::viewer
