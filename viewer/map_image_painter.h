// Painting the legend with Qt, over the map or under a saved map, and
// rendering a saved map: title, the cells at whole pixels, legend.
#pragma once

#include <span>
#include <string>

#include <QFont>
#include <QImage>
#include <QPoint>

#include "viewer/core/legend.h"
#include "viewer/core/map_guides.h"
#include "viewer/core/map_image.h"
#include "viewer/core/map_view.h"
#include "viewer/core/viewer_state.h"

class QPainter;

namespace veldra::viewer {

// Text widths in `font`, for layout_legend.
TextWidth text_width_in(const QFont& font);

// Lays out and paints `legend` in at most `max_width` pixels with its
// top-left corner at `origin`; returns its box there.
QRect paint_legend(QPainter& painter, const Legend& legend, QPoint origin, int max_width, const QFont& font);

// The graticule's labels over a map whose top-left corner is at `origin`,
// its pixels `scale` times the labels' (the canvas's device pixels).
void paint_guide_labels(QPainter& painter, const std::vector<GuideLabel>& labels, QPointF origin, double scale,
                        const QFont& font);

// Where the title, the map and the legend of a saved map go (what
// render_map_image lays out), and the whole cells it shows.
struct SavedMapLayout {
    MapImageLayout image;
    CellWindow cells;
    Legend legend;
    int legend_room = 0;  // the width the legend is laid out in
};
// `note` follows the units in the legend: what the values stand for beyond
// a month (", mean of 2001").
SavedMapLayout saved_map_layout(const ViewerState& state, const PaintedValues& painted, const MapRect& shown,
                                const std::string& title, const std::string& note = {});

// The saved map of `values` painted as `painted`: `title` over the part
// `shown` of the grid (whole cells around it) at a whole number of pixels
// per cell, with its legend under it.
QImage render_map_image(const ViewerState& state, std::span<const float> values, const PaintedValues& painted,
                        const MapRect& shown, const std::string& title, const std::string& note = {});

}  // namespace veldra::viewer
