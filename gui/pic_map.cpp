#include "gui/pic_map.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

namespace veldra::viewer {

PicMap::PicMap(QWidget* parent) : QWidget(parent) {
    // The canvas covers every pixel, so Qt need not erase behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
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

QPointF PicMap::map_point(QPointF widget_pos) const {
    const double ratio = devicePixelRatioF();
    const Point p = canvas_.to_map(widget_pos.x() * ratio, widget_pos.y() * ratio);
    return QPointF(p.x, p.y);
}

void PicMap::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (canvas_.width() == 0 || canvas_.height() == 0) {
        painter.fillRect(rect(), QColor::fromRgb(MapCanvas::kBackground));
        return;
    }
    const QImage image(reinterpret_cast<const uchar*>(canvas_.data()), canvas_.width(), canvas_.height(),
                       canvas_.width() * 4, QImage::Format_RGB32);
    painter.drawImage(rect(), image);
}

void PicMap::resizeEvent(QResizeEvent* event) {
    sync_size();
    QWidget::resizeEvent(event);
}

void PicMap::mousePressEvent(QMouseEvent* event) {
    const QPointF point = map_point(event->position());
    emit mouse_down(event->button(), event->modifiers(), point.x(), point.y());
    QWidget::mousePressEvent(event);
}

}  // namespace veldra::viewer
