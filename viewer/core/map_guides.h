// Lines that say where the map is, drawn over it on request: coastlines and
// national borders (from tools/data/map_lines.txt, compiled in), and a
// graticule of longitudes and latitudes every 30 degrees.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "viewer/core/map_canvas.h"
#include "viewer/core/viewer_state.h"

namespace veldra::viewer {

// A polyline in degrees: longitude, latitude.
struct GeoPoint {
    float lon = 0;
    float lat = 0;
};
struct GeoLine {
    bool border = false;  // a national border, else a coastline
    std::vector<GeoPoint> points;
};

// The lines of a text in the form of tools/data/map_lines.txt: ">C" starts a
// coastline, ">B" a border, each following line "lon lat"; "#" lines are
// comments. Lines that cannot be read as two numbers are skipped.
std::vector<GeoLine> parse_map_lines(std::string_view text);

// The coastlines and borders compiled into the viewer, read once.
const std::vector<GeoLine>& world_lines();

inline constexpr Rgb kCoastColour = rgb(0, 0, 0);
inline constexpr Rgb kBorderColour = rgb(60, 60, 60);
inline constexpr Rgb kGraticuleColour = rgb(170, 170, 170);
inline constexpr int kGraticuleStep = 30;  // degrees

// The map point of a longitude and latitude: cells from the grid's centre,
// as the pointer's position in the status line counts them.
Point geo_to_map(const ViewerState& state, double lon, double lat);

// Draws over the canvas, in its scale, what `options` asks for: the
// graticule first, then the coastlines and borders `lines`.
void paint_guides(MapCanvas& canvas, const ViewerState& state, const MapOptions& options,
                  const std::vector<GeoLine>& lines = world_lines());

// «30°E», «0°», «180°», «60°S»: a meridian's or a parallel's label.
std::string degrees_text(int degrees, bool longitude);

// Where a graticule line meets the picture: a meridian's label at `at`
// pixels from the left along the top edge, a parallel's at `at` pixels from
// the top along the left edge.
struct GuideLabel {
    std::string text;
    bool meridian = true;
    double at = 0;
    bool operator==(const GuideLabel&) const = default;
};
// The labels of the graticule lines that cross the canvas, in its scale.
std::vector<GuideLabel> graticule_labels(const MapCanvas& canvas, const ViewerState& state);

}  // namespace veldra::viewer
