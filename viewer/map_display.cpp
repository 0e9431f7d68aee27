#include "viewer/map_display.h"

#include <string>

#include <QListWidget>

#include "modelfiles/paths.h"
#include "viewer/core/derived_map.h"
#include "viewer/core/legend.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/map_view.h"
#include "viewer/core/pointer_readout.h"
#include "viewer/core/viewer_state.h"
#include "viewer/pic_map.h"
#include "viewer/status_line.h"

namespace veldra::viewer {

MapDisplay::MapDisplay(ViewerState& state, PicMap& map, StatusLine& status_line, const QListWidget& layers)
    : state_(state), map_(map), status_line_(status_line), layers_(layers) {
    QObject::connect(&map, &PicMap::pointer_moved, &events_, [this](double x, double y) { show_pointer(x, y); });
    QObject::connect(&map, &PicMap::pointer_left, &events_, [this] {
        pointer_.reset();
        status_line_.end_readout();
    });
    QObject::connect(&map, &PicMap::wheel_turned, &events_,
                     [this](QPointF pos, int delta, bool horizontal, Qt::KeyboardModifiers modifiers) {
                         wheel_turned(pos, delta, horizontal, modifiers);
                     });
    QObject::connect(&map, &PicMap::view_key, &events_, [this](int key) { view_key(key); });
}

void MapDisplay::clear() {
    map_.clear();
    state_.picture.globe = false;
    state_.picture.values.reset();
    state_.picture.marked_cell.reset();
    refresh_overlays();
    refresh_readout();
}

void MapDisplay::repaint() {
    if (!state_.picture.grid_scale) return;
    repaint_picture(map_.canvas(), state_);
    map_.update();
    refresh_overlays();
    refresh_readout();
}

void MapDisplay::refresh_overlays() {
    const MapPicture& p = state_.picture;
    map_.set_labels(state_.options.graticule && p.globe && p.grid_scale ? graticule_labels(map_.canvas(), state_)
                                                                         : std::vector<GuideLabel>{});
    const files::OutputEntry* entry = state_.selected_entry();
    if (state_.picture.values) {
        map_.set_legend(make_legend(*state_.picture.values, state_.ramps, legend_units(state_)));
        map_.set_hint(QString());
        return;
    }
    map_.set_legend(std::nullopt);
    QString hint;
    if (!entry) hint = "Choose a variable in the list on the left";
    else if (entry->LayerCount == 0) hint = "This variable has no layers to draw";
    else if (layers_.count() > 0 && layers_.selectedItems().isEmpty()) hint = "Choose a layer in the second list";
    map_.set_hint(hint);
}

void MapDisplay::show_pointer(double x, double y) {
    const Point px = map_.canvas().to_pixel(x, y);
    pointer_ = QPointF(px.x, px.y);
    refresh_readout();
}

void MapDisplay::refresh_readout() {
    if (!pointer_) return;
    if (!state_.picture.grid_scale) {
        status_line_.show_readout(QString());
        return;
    }
    const Point at = map_.canvas().to_map(pointer_->x(), pointer_->y());
    const PointerInfo info = pointer_info(state_, at.x, at.y);
    status_line_.show_readout(QString::fromStdString(pointer_text(info, state_)));
}

void MapDisplay::zoom_at_pixel(QPointF device_pos, double factor) {
    const MapCanvas& c = map_.canvas();
    const MapRect grid = grid_rect(state_.extents);
    // From the view the picture shows, which may be closer than a smaller
    // picture allowed.
    const MapView shown = bounded_view(state_.view, grid, max_zoom(grid, c.width(), c.height()));
    state_.view = zoom_at(shown, grid, c.width(), c.height(), device_pos.x(), device_pos.y(), factor);
    repaint();
}

void MapDisplay::zoom_by(double factor) {
    const MapCanvas& c = map_.canvas();
    zoom_at_pixel(QPointF(c.width() / 2.0, c.height() / 2.0), factor);
}

void MapDisplay::pan(double east_share, double north_share) {
    const MapCanvas& c = map_.canvas();
    const MapRect grid = grid_rect(state_.extents);
    const MapView shown = bounded_view(state_.view, grid, max_zoom(grid, c.width(), c.height()));
    state_.view = pan_by(shown, grid, east_share, north_share);
    repaint();
}

void MapDisplay::show_whole_map() {
    state_.view = MapView{};
    repaint();
}

void MapDisplay::zoom_around(double longitude, double latitude, double zoom) {
    const files::ViewerGridInfo& g = state_.GridInfo;
    const double size = static_cast<double>(g.cellSize);
    const MapCanvas& c = map_.canvas();
    const MapRect grid = grid_rect(state_.extents);
    state_.view = bounded_view(MapView{zoom, (longitude - (g.lowerX + g.upperX) / 2) / size,
                                       (latitude - (g.lowerY + g.upperY) / 2) / size},
                               grid, max_zoom(grid, c.width(), c.height()));
    repaint();
}

void MapDisplay::view_key(int key) {
    // One press pans an eighth of the shown part.
    constexpr double step = 0.125;
    switch (key) {
        case Qt::Key_Left: pan(-step, 0); break;
        case Qt::Key_Right: pan(step, 0); break;
        case Qt::Key_Up: pan(0, step); break;
        case Qt::Key_Down: pan(0, -step); break;
        case Qt::Key_Home: show_whole_map(); break;
        case Qt::Key_Plus:
        case Qt::Key_Equal: zoom_by(2); break;
        case Qt::Key_Minus: zoom_by(0.5); break;
        default: break;
    }
}

void MapDisplay::wheel_turned(QPointF device_pos, int delta, bool horizontal, Qt::KeyboardModifiers modifiers) {
    // A notch pans an eighth of the shown part: Shift (or a sideways wheel)
    // east and west, Alt north and south; a plain wheel zooms.
    const double notches = delta / 120.0;
    if (modifiers & Qt::AltModifier) pan(0, notches * 0.125);
    else if ((modifiers & Qt::ShiftModifier) || horizontal) pan(-notches * 0.125, 0);
    else zoom_at_pixel(device_pos, wheel_zoom_factor(delta));
}

}  // namespace veldra::viewer
