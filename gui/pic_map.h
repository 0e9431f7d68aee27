// The map picture of the main window: shows a MapCanvas, which the drawing
// code paints in map units, scaled to the widget.
#pragma once

#include <QWidget>

#include "gui/core/map_canvas.h"

namespace veldra::viewer {

class PicMap : public QWidget {
    Q_OBJECT
public:
    explicit PicMap(QWidget* parent = nullptr);

    // The picture, always as large as the widget in device pixels; a change
    // of size empties it. Call update() after painting on it.
    MapCanvas& canvas();
    const MapCanvas& canvas() const { return canvas_; }

    // Empties the picture and shows that.
    void clear();

    // The map point under a widget position, in the scale the last drawing set.
    QPointF map_point(QPointF widget_pos) const;

signals:
    // Any mouse button, with the shift state and the map point pressed.
    void mouse_down(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QSize device_size() const;
    void sync_size();

    MapCanvas canvas_;
};

}  // namespace veldra::viewer
