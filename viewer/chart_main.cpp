#include "viewer/chart_main.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QAction>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QList>
#include <QMenu>
#include <QMouseEvent>
#include <QPen>
#include <QPointF>
#include <QToolTip>
#include <QValueAxis>

#include "viewer/core/chart_text.h"

namespace veldra::viewer {

// The view owns the chart it is made with; a view made without one would
// make a default chart, which setChart() would then disown.
ChartMain::ChartMain(QWidget* parent) : QChartView(new QChart(), parent) {
    QChart* chart = this->chart();
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    value_axis_ = new QValueAxis(chart);
    month_axis_ = new QValueAxis(chart);
    // Row numbers, not 1,200 category labels: whole numbers at each January.
    month_axis_->setLabelFormat("%d");
    month_axis_->setTickType(QValueAxis::TicksDynamic);
    month_axis_->setTickAnchor(1);
    month_axis_->setTitleText("Month");
    chart->addAxis(month_axis_, Qt::AlignBottom);
    chart->addAxis(value_axis_, Qt::AlignLeft);
    for (QLineSeries*& s : series_) {
        s = new QLineSeries(chart);
        chart->addSeries(s);
        s->attachAxis(month_axis_);
        s->attachAxis(value_axis_);
    }
    // The month on display: a thin dashed line across the plot, not in the legend.
    month_line_ = new QLineSeries(chart);
    month_line_->setObjectName("month_line");
    QPen pen(QColor(90, 90, 90));
    pen.setStyle(Qt::DashLine);
    pen.setWidth(1);
    month_line_->setPen(pen);
    chart->addSeries(month_line_);
    month_line_->attachAxis(month_axis_);
    month_line_->attachAxis(value_axis_);
    for (QLegendMarker* m : chart->legend()->markers(month_line_)) m->setVisible(false);
    connect(value_axis_, &QValueAxis::rangeChanged, this, [this] { place_month_line(); });

    setRenderHint(QPainter::Antialiasing);
    // The tooltip follows the pointer without a button held: the view's
    // moves arrive through its viewport, which reports them only so.
    viewport()->setMouseTracking(true);
    designed_bottom_margin_ = chart->margins().bottom();

    menu_ = new QMenu(this);
    save_csv_action = menu_->addAction("Save series as CSV...");
    copy_action = menu_->addAction("Copy");
    save_png_action = menu_->addAction("Save chart as PNG...");
}

void ChartMain::set_row_count(int rows) {
    table_ = ChartTable(static_cast<std::size_t>(std::max(rows, 0)));
    for (auto* s : series_) s->clear();
    month_axis_->setRange(1, std::max(rows, 2));
    // About ten labels, on whole years where the run is long enough.
    const int years = std::max(rows / 12, 1);
    month_axis_->setTickInterval(rows >= 24 ? 12.0 * std::ceil(years / 10.0) : 1.0 * std::max(1, rows / 10));
    place_month_line();
}

void ChartMain::set_legend_text(int column, const QString& text) { series(column)->setName(text); }

void ChartMain::set_value_axis_title(const QString& text) { value_axis_->setTitleText(text); }

void ChartMain::set_column(int column, const MonthlySeries& values) {
    const auto c = static_cast<std::size_t>(column - 1);
    table_.set_column(c, values);
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(table_.rows()));
    for (std::size_t k = 0; k < table_.rows(); ++k)
        if (const auto& v = table_.column(c)[k]) points.append(QPointF(static_cast<double>(k + 1), *v));
    series_[c]->replace(points);

    // The value axis spans every point on the chart.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const auto* s : series_)
        for (const QPointF& p : s->points()) {
            lo = std::min(lo, p.y());
            hi = std::max(hi, p.y());
        }
    if (lo <= hi) {
        const double pad = lo == hi ? std::max(1.0, std::fabs(lo) * 0.05) : (hi - lo) * 0.05;
        value_axis_->setRange(lo - pad, hi + pad);
        value_axis_->applyNiceNumbers();
    }
}

void ChartMain::set_units(int column, const std::string& units) {
    units_[static_cast<std::size_t>(column - 1)] = units;
}

void ChartMain::set_current_row(int row) {
    current_row_ = row;
    place_month_line();
}

void ChartMain::place_month_line() {
    if (current_row_ < 1 || current_row_ > row_count()) {
        month_line_->clear();
        return;
    }
    const double x = current_row_;
    month_line_->replace(QList<QPointF>{{x, value_axis_->min()}, {x, value_axis_->max()}});
}

void ChartMain::set_cell(const QString& title, const std::string& csv_header) {
    chart()->setTitle(title);
    csv_header_ = csv_header;
}

std::string ChartMain::csv_text() const {
    std::array<std::string, 4> legends;
    for (std::size_t c = 0; c < series_.size(); ++c) legends[c] = series_[c]->name().toStdString();
    if (!csv_header_.empty()) legends[0] = csv_header_;
    return series_csv(table_, legends, first_year_);
}

QString ChartMain::tooltip_at(int column, double x) const {
    const auto c = static_cast<std::size_t>(column - 1);
    if (c >= series_.size() || !std::isfinite(x)) return {};
    const double k = std::nearbyint(x);
    if (k < 1 || k > static_cast<double>(table_.rows())) return {};
    const auto row = static_cast<std::size_t>(k);
    const auto& v = table_.column(c)[row - 1];
    if (!v) return {};
    return QString::fromStdString(point_tooltip(series_[c]->name().toStdString(), units_[c], first_year_, row, *v));
}

QString ChartMain::tooltip_near(QPointF view_pos) const {
    // The point of any series nearest to the pointer, within a few pixels.
    constexpr double reach = 8;
    const QPointF at = chart()->mapFromScene(mapToScene(view_pos.toPoint()));
    if (!chart()->plotArea().adjusted(-reach, -reach, reach, reach).contains(at)) return {};
    const double k = std::nearbyint(chart()->mapToValue(at, series_[0]).x());
    if (k < 1 || k > static_cast<double>(table_.rows())) return {};
    int best_column = 0;
    double best = reach;
    for (std::size_t c = 0; c < series_.size(); ++c) {
        const auto& v = table_.column(c)[static_cast<std::size_t>(k) - 1];
        if (!v || !series_[c]->isVisible()) continue;
        const QPointF p = chart()->mapToPosition(QPointF(k, *v), series_[c]);
        const double d = std::hypot(p.x() - at.x(), p.y() - at.y());
        if (d <= best) {
            best = d;
            best_column = static_cast<int>(c) + 1;
        }
    }
    return best_column == 0 ? QString() : tooltip_at(best_column, k);
}

void ChartMain::mouseMoveEvent(QMouseEvent* event) {
    const QString tip = tooltip_near(event->position());
    if (tip.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(event->globalPosition().toPoint(), tip, this);
    QChartView::mouseMoveEvent(event);
}

bool ChartMain::viewportEvent(QEvent* event) {
    // Once the pointer rests, the window system asks for a tooltip; the
    // scene holds none and would hide the one the move showed.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = tooltip_near(help->pos());
        if (tip.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QChartView::viewportEvent(event);
}

void ChartMain::set_bottom_inset(int pixels) {
    QMargins m = chart()->margins();
    // The chart's own margin under the legend, plus what lies under the status line.
    m.setBottom(designed_bottom_margin_ + std::max(0, pixels));
    chart()->setMargins(m);
}

void ChartMain::contextMenuEvent(QContextMenuEvent* event) {
    menu_->exec(event->globalPos());
    event->accept();
}

}  // namespace veldra::viewer
