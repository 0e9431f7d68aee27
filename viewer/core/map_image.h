// The map saved as a picture: its title, its layout (title, map at a whole
// number of pixels per cell, legend), and the names of animation frames.
#pragma once

#include <string>
#include <vector>

#include "viewer/core/legend.h"
#include "viewer/core/map_view.h"
#include "modelfiles/viewer_model.h"

namespace veldra::viewer {

// Pixels per cell of a saved map of `cols` x `rows` cells: 1 for a fine
// grid, a whole multiple for a coarse one, as many as keep the map within
// 1440 x 720 pixels, never more than kMaxPixelsPerCell.
int cell_pixels(int cols, int rows);

struct MapImageLayout {
    int width = 0;
    int height = 0;
    int cell_pixels = 1;
    PixelRect title;   // one line of text, centred over the image
    PixelRect map;     // cols x rows cells of cell_pixels each
    PixelRect legend;  // where the legend box goes, under the map at the left
};

// The title on top, the map under it, the legend box (`legend_w` x
// `legend_h`) under the map; the image as wide as the widest of the map, the
// legend and the title text (`title_w`), with the map centred.
MapImageLayout layout_map_image(int cols, int rows, int line_height, int title_w, int legend_w, int legend_h);

// The title of a saved map: «Precip (cm), Layer 1, January 2000».
std::string map_title(const files::OutputEntry& entry, int layer, int year, int month);

// A span of months, both ends included.
struct FrameSpan {
    int from_year = 0;
    int from_month = 1;
    int to_year = 0;
    int to_month = 12;
    bool operator==(const FrameSpan&) const = default;
};

// The months of the span in time order; none when it ends before it starts
// or a month lies outside 1..12.
std::vector<std::pair<int, int>> span_months(const FrameSpan& span);

// One file name per month of the span, «<root>_<n>_<year>_<month>.png» with
// the frame number n from 1 padded to the same width (at least four digits)
// and the month in two, so that the names sort in time order.
std::vector<std::string> frame_file_names(const std::string& root, const FrameSpan& span);

}  // namespace veldra::viewer
