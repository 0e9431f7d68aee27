#include "gui/chart_main.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QValueAxis>

namespace veldra::viewer {

ChartMain::ChartMain(QWidget* parent) : QChartView(parent) {
    auto* chart = new QChart();
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
    for (auto& s : series_) {
        s = new QLineSeries(chart);
        chart->addSeries(s);
        s->attachAxis(month_axis_);
        s->attachAxis(value_axis_);
    }
    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
}

void ChartMain::set_row_count(int rows) {
    table_ = ChartTable(static_cast<std::size_t>(std::max(rows, 0)));
    for (auto* s : series_) s->clear();
    month_axis_->setRange(1, std::max(rows, 2));
    // About ten labels, on whole years where the run is long enough.
    const int years = std::max(rows / 12, 1);
    month_axis_->setTickInterval(rows >= 24 ? 12.0 * std::ceil(years / 10.0) : 1.0 * std::max(1, rows / 10));
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

}  // namespace veldra::viewer
