#include "viewer/pic_map.h"

#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QWheelEvent>

#include "viewer/core/derived_map.h"
#include "viewer/map_image_painter.h"

namespace veldra::viewer {

PicMap::PicMap(QWidget* parent) : QWidget(parent) {
    // The canvas covers every pixel, so Qt need not erase behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The value under the pointer follows it without a button held.
    setMouseTracking(true);
}

QSize PicMap::device_size() const {
    const double ratio = devicePixelRatioF();
    return QSize(qRound(width() * ratio), qRound(height() * ratio));
}

void PicMap::sync_size() {
    const QSize size = device_size();
    if (size.width() != canvas_.width() || size.height() != canvas_.height()) {
        canvas_.resize(size.width(), size.height());
    }
}

MapCanvas& PicMap::canvas() {
    // A hidden widget gets its resize event only when first shown, but the
    // window paints the land mask before that.
    sync_size();
    return canvas_;
}

void PicMap::clear() {
    canvas().clear();
    update();
}

QPointF PicMap::device_point(QPointF widget_pos) const { return widget_pos * devicePixelRatioF(); }

QPointF PicMap::map_point(QPointF widget_pos) const {
    const QPointF d = device_point(widget_pos);
    const Point p = canvas_.to_map(d.x(), d.y());
    return QPointF(p.x, p.y);
}

void PicMap::set_legend(std::optional<Legend> legend) {
    legend_ = std::move(legend);
    update();
}

void PicMap::set_hint(const QString& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    update();
}

void PicMap::set_labels(std::vector<GuideLabel> labels) {
    if (labels == labels_) return;
    labels_ = std::move(labels);
    update();
}

void PicMap::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (canvas_.width() == 0 || canvas_.height() == 0) {
        painter.fillRect(rect(), QColor::fromRgb(MapCanvas::kBackground));
    } else {
        const QImage image(reinterpret_cast<const uchar*>(canvas_.data()), canvas_.width(), canvas_.height(),
                           canvas_.width() * 4, QImage::Format_RGB32);
        painter.drawImage(rect(), image);
    }
    paint_guide_labels(painter, labels_, QPointF(0, 0), devicePixelRatioF(), font());
    if (legend_) {
        // At the lower left: over the southern ocean and Antarctica on a
        // world map, where no rangeland lies.
        const QFontMetrics metrics(font());
        const int max_width = width() - 8;
        const LegendLayout l = layout_legend(*legend_, max_width, metrics.height(), text_width_in(font()));
        paint_legend(painter, *legend_, QPoint(4, height() - l.box.h - 4), max_width, font());
    }
    if (shift_press_) {
        // The box being drawn.
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(shift_press_->from, shift_press_->to).normalized());
    }
    if (!hint_.isEmpty()) {
        const QFontMetrics metrics(font());
        const QRect text = metrics.boundingRect(hint_).adjusted(-10, -6, 10, 6);
        QRect box(QPoint(0, 0), text.size());
        box.moveCenter(rect().center());
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 230));
        painter.drawRoundedRect(box, 4, 4);
        painter.setPen(QColor(40, 40, 40));
        painter.drawText(box, Qt::AlignCenter, hint_);
    }
}

void PicMap::resizeEvent(QResizeEvent* event) {
    sync_size();
    QWidget::resizeEvent(event);
}

void PicMap::mousePressEvent(QMouseEvent* event) {
    if (event->modifiers() & Qt::ShiftModifier) {
        shift_press_ = ShiftPress{event->button(), event->modifiers(), event->position(), event->position()};
        QWidget::mousePressEvent(event);
        return;
    }
    const QPointF point = map_point(event->position());
    emit mouse_down(event->button(), event->modifiers(), point.x(), point.y());
    QWidget::mousePressEvent(event);
}

void PicMap::mouseReleaseEvent(QMouseEvent* event) {
    if (shift_press_) {
        const ShiftPress press = *shift_press_;
        shift_press_.reset();
        update();
        const QPointF from = map_point(press.from);
        const QPointF to = map_point(event->position());
        const QPointF moved = event->position() - press.from;
        if (draws_box(moved.x(), moved.y())) emit box_drawn(from.x(), from.y(), to.x(), to.y());
        else emit mouse_down(press.button, press.modifiers, from.x(), from.y());
    }
    QWidget::mouseReleaseEvent(event);
}

void PicMap::mouseMoveEvent(QMouseEvent* event) {
    if (shift_press_) {
        shift_press_->to = event->position();
        update();
    }
    // The centre of the pixel under the pointer: the top row and the left
    // column of pixels lie inside the grid too.
    const QPointF point = map_point(event->position() + QPointF(0.5, 0.5));
    emit pointer_moved(point.x(), point.y());
    QWidget::mouseMoveEvent(event);
}

void PicMap::leaveEvent(QEvent* event) {
    emit pointer_left();
    QWidget::leaveEvent(event);
}

void PicMap::wheelEvent(QWheelEvent* event) {
    // Some systems turn a wheel held with Alt or Shift sideways.
    const QPoint angle = event->angleDelta();
    const bool horizontal = angle.y() == 0 && angle.x() != 0;
    const int delta = horizontal ? angle.x() : angle.y();
    if (delta != 0) emit wheel_turned(device_point(event->position()), delta, horizontal, event->modifiers());
    event->accept();
}

void PicMap::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_Plus:
        case Qt::Key_Minus:
        case Qt::Key_Equal:
            if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) break;
            emit view_key(event->key());
            event->accept();
            return;
        default: break;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace veldra::viewer
