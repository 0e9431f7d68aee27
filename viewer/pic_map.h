// The map picture of the main window: shows a MapCanvas, which the drawing
// code paints in map units, scaled to the widget. Over it: the colour legend
// at the lower left, or a hint while there is nothing to draw. It reports
// presses (each a cell query), boxes drawn with Shift held, pointer moves,
// wheel turns and the keys that pan and zoom; what they do is the window's.
// A press without Shift is reported at once; one with Shift when let go:
// as a box when the pointer went more than 5 pixels away, else as a press.
#pragma once

#include <optional>

#include <QWidget>

#include "viewer/core/legend.h"
#include "viewer/core/map_guides.h"
#include "viewer/core/map_canvas.h"

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
    // A widget position in the canvas's device pixels.
    QPointF device_point(QPointF widget_pos) const;

    // The legend shown over the map; nothing hides it.
    void set_legend(std::optional<Legend> legend);
    const std::optional<Legend>& legend() const { return legend_; }
    // A hint centred over the map; empty hides it.
    void set_hint(const QString& hint);
    QString hint() const { return hint_; }
    // The graticule's labels along the top and left edges; none hides them.
    void set_labels(std::vector<GuideLabel> labels);
    const std::vector<GuideLabel>& labels() const { return labels_; }

signals:
    // Any mouse button, with the shift state and the map point pressed.
    void mouse_down(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);
    // A box drawn with Shift held, from the map point pressed to the one let go.
    void box_drawn(double x0, double y0, double x1, double y1);
    // The pointer moved to a map point; it left the map.
    void pointer_moved(double x, double y);
    void pointer_left();
    // A wheel turn at a point in device pixels: `delta` in eighths of a
    // degree, `horizontal` for a sideways turn.
    void wheel_turned(QPointF device_pos, int delta, bool horizontal, Qt::KeyboardModifiers modifiers);
    // An arrow key, Home, + or - while the map has the focus.
    void view_key(int key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QSize device_size() const;
    void sync_size();

    MapCanvas canvas_;
    std::optional<Legend> legend_;
    QString hint_;
    std::vector<GuideLabel> labels_;
    // A press held with Shift: where it was pressed and where the pointer is.
    struct ShiftPress {
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        QPointF from;
        QPointF to;
    };
    std::optional<ShiftPress> shift_press_;
};

}  // namespace veldra::viewer
