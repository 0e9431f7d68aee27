// The map as the main window shows it: painting the picture again, the
// legend or the hint over it, what lies under the pointer (in the status
// line), and zoom and pan. The rules are viewer_core's; this applies them
// to the map picture. It reads the layer list only to choose its hint.
#pragma once

#include <optional>

#include <QObject>
#include <QPointF>

class QListWidget;

namespace veldra::viewer {

class PicMap;
class StatusLine;
struct ViewerState;

class MapDisplay {
public:
    // Follows the pointer, the wheel and the view keys of `map`.
    MapDisplay(ViewerState& state, PicMap& map, StatusLine& status_line, const QListWidget& layers);

    // Empties the picture.
    void clear();
    // Paints the picture again in the view asked for, when it is in the
    // grid's scale; between a resize and its redraw the map stays blank.
    void repaint();
    // The legend of the values on display, or the hint of what to choose.
    void refresh_overlays();

    // What lies under the pointer at map point (x, y), in the status line.
    void show_pointer(double x, double y);
    // The same again after the picture changed; nothing while the pointer is away.
    void refresh_readout();

    // Zoom and pan: around a point of the picture (device pixels), around
    // its centre, by a share of the shown part, back to the whole grid.
    void zoom_at_pixel(QPointF device_pos, double factor);
    void zoom_by(double factor);
    void pan(double east_share, double north_share);
    void show_whole_map();
    // The view as a zoom factor around a longitude and latitude.
    void zoom_around(double longitude, double latitude, double zoom);

private:
    void view_key(int key);
    void wheel_turned(QPointF device_pos, int delta, bool horizontal, Qt::KeyboardModifiers modifiers);

    ViewerState& state_;
    PicMap& map_;
    StatusLine& status_line_;
    const QListWidget& layers_;
    // The pointer's place in the picture's pixels, while over the map: a pan
    // moves the map under it.
    std::optional<QPointF> pointer_;
    QObject events_;                  // the receiver of the map's signals, gone with this
};

}  // namespace veldra::viewer
