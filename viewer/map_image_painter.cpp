#include "viewer/map_image_painter.h"

#include <QFontMetrics>
#include <QPainter>

#include "viewer/core/map_canvas.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/map_guides.h"
#include "viewer/core/map_image.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

QColor colour(Rgb c) { return QColor::fromRgb(c); }

QRect rect(const PixelRect& r, QPoint origin) { return QRect(origin.x() + r.x, origin.y() + r.y, r.w, r.h); }

// Fixed pixel sizes: a saved picture looks the same on every screen.
QFont image_font(int pixels, bool bold) {
    QFont f;
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

}  // namespace

TextWidth text_width_in(const QFont& font) {
    return [metrics = QFontMetrics(font)](const std::string& text) {
        return metrics.horizontalAdvance(QString::fromStdString(text));
    };
}

QRect paint_legend(QPainter& painter, const Legend& legend, QPoint origin, int max_width, const QFont& font) {
    const QFontMetrics metrics(font);
    const LegendLayout l = layout_legend(legend, max_width, metrics.height(), text_width_in(font));
    painter.save();
    painter.setFont(font);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect box = rect(l.box, origin);
    painter.fillRect(box, QColor(255, 255, 255, 240));
    painter.setPen(QColor(120, 120, 120));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    if (l.bar) {
        const QRect bar = rect(*l.bar, origin);
        for (int x = 0; x < bar.width(); ++x) {
            const std::size_t entry = bar.width() > 1 ? static_cast<std::size_t>(x * 255 / (bar.width() - 1)) : 0;
            painter.fillRect(QRect(bar.x() + x, bar.y(), 1, bar.height()), colour(legend.bar[entry]));
        }
        painter.setPen(QColor(60, 60, 60));
        painter.drawRect(bar.adjusted(0, 0, -1, -1));
    }
    for (const auto& [r, c] : l.swatches) {
        const QRect s = rect(r, origin);
        painter.fillRect(s, colour(c));
        painter.setPen(QColor(60, 60, 60));
        painter.drawRect(s.adjusted(0, 0, -1, -1));
    }
    painter.setPen(QColor(20, 20, 20));
    for (const LegendText& t : l.texts)
        painter.drawText(rect(t.box, origin).adjusted(0, 0, 4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(t.text));
    painter.restore();
    return box;
}

void paint_guide_labels(QPainter& painter, const std::vector<GuideLabel>& labels, QPointF origin, double scale,
                        const QFont& font) {
    const QFontMetrics metrics(font);
    painter.save();
    painter.setFont(font);
    for (const GuideLabel& l : labels) {
        const QString text = QString::fromStdString(l.text);
        const double at = l.at / scale;
        // Beside its line: right of a meridian along the top, under a
        // parallel along the left.
        const QRectF box(l.meridian ? QPointF(origin.x() + at + 2, origin.y() + 1)
                                    : QPointF(origin.x() + 1, origin.y() + at + 2),
                         QSizeF(metrics.horizontalAdvance(text) + 4, metrics.height()));
        painter.fillRect(box, QColor(255, 255, 255, 170));
        painter.setPen(QColor(40, 40, 40));
        painter.drawText(box, Qt::AlignCenter, text);
    }
    painter.restore();
}

SavedMapLayout saved_map_layout(const ViewerState& state, const PaintedValues& painted, const MapRect& shown,
                                const std::string& title, const std::string& note) {
    SavedMapLayout out;
    out.cells = cell_window(shown, grid_rect(state.extents));
    const QFontMetrics title_metrics(image_font(16, true)), legend_metrics(image_font(12, false));
    const files::OutputEntry* entry = state.selected_entry();
    out.legend = make_legend(painted, state.ramps, (entry ? std::string(files::trim_blanks(entry->Units)) : "") + note);
    const int m = cell_pixels(out.cells.cols(), out.cells.rows());
    // The legend may take the map's width, and at least room for all of it.
    out.legend_room = std::max(out.cells.cols() * m, 640);
    const LegendLayout legend =
        layout_legend(out.legend, out.legend_room, legend_metrics.height(), text_width_in(image_font(12, false)));
    out.image = layout_map_image(out.cells.cols(), out.cells.rows(), title_metrics.height(),
                                 title_metrics.horizontalAdvance(QString::fromStdString(title)), legend.box.w,
                                 legend.box.h);
    return out;
}

QImage render_map_image(const ViewerState& state, std::span<const float> values, const PaintedValues& painted,
                        const MapRect& shown, const std::string& title, const std::string& note) {
    const SavedMapLayout saved = saved_map_layout(state, painted, shown, title, note);
    const MapImageLayout& l = saved.image;
    const CellWindow& cells = saved.cells;

    MapCanvas canvas;
    canvas.resize(l.map.w, l.map.h);
    canvas.set_scale(cells.rect.left, cells.rect.top, cells.rect.right, cells.rect.bottom);
    paint_globe(canvas, state);
    paint_values(canvas, state, values, painted);
    paint_guides(canvas, state, state.options);
    const std::vector<GuideLabel> labels =
        state.options.graticule ? graticule_labels(canvas, state) : std::vector<GuideLabel>{};
    const QImage map(reinterpret_cast<const uchar*>(canvas.data()), canvas.width(), canvas.height(),
                     canvas.width() * 4, QImage::Format_RGB32);

    QImage image(l.width, l.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(image_font(16, true));
    painter.setPen(QColor(20, 20, 20));
    painter.drawText(QRect(l.title.x, l.title.y, l.title.w, l.title.h), Qt::AlignHCenter | Qt::AlignVCenter,
                     QString::fromStdString(title));
    painter.drawImage(QPoint(l.map.x, l.map.y), map);
    paint_guide_labels(painter, labels, QPointF(l.map.x, l.map.y), 1, image_font(11, false));
    paint_legend(painter, saved.legend, QPoint(l.legend.x, l.legend.y), saved.legend_room, image_font(12, false));
    painter.end();
    return image;
}

}  // namespace veldra::viewer
