// The cell query's chart: four line series over the months of the run, the
// legend below the plot, a value axis titled by the variable and its units
// and a month axis labelled with the row numbers. Hidden until the first query.
#pragma once

#include <QChartView>

#include "gui/core/cell_query.h"

class QLineSeries;
class QValueAxis;

namespace veldra::viewer {

class ChartMain : public QChartView {
    Q_OBJECT
public:
    explicit ChartMain(QWidget* parent = nullptr);

    // One row per month of the run; empties the data.
    void set_row_count(int rows);
    int row_count() const { return static_cast<int>(table_.rows()); }

    void set_legend_text(int column, const QString& text);  // column from 1
    void set_value_axis_title(const QString& text);
    // Writes a query's values into a column (from 1); skipped rows keep theirs.
    void set_column(int column, const MonthlySeries& series);

    QLineSeries* series(int column) const { return series_[static_cast<std::size_t>(column - 1)]; }
    QValueAxis* value_axis() const { return value_axis_; }
    QValueAxis* month_axis() const { return month_axis_; }

private:
    ChartTable table_;
    std::array<QLineSeries*, 4> series_{};
    QValueAxis* value_axis_;
    QValueAxis* month_axis_;
};

}  // namespace veldra::viewer
