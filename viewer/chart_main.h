// The cell query's chart: four line series over the months of the run, the
// legend below the plot, a value axis titled by the variable and its units
// and a month axis labelled with the row numbers. Hidden until the first
// query. Beyond that: a tooltip naming the month and value of a point, a
// line at the month on display, and a context menu that saves or copies the
// series and saves the chart.
#pragma once

#include <array>
#include <string>

#include <QChartView>

#include "viewer/core/cell_query.h"

class QAction;
class QLineSeries;
class QMenu;
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

    // The run's first year, for the months of the rows.
    void set_first_year(int year) { first_year_ = year; }
    // The units of a column's values, for its tooltip (column from 1).
    void set_units(int column, const std::string& units);
    // The row (from 1) of the month on display, marked by a vertical line.
    void set_current_row(int row);
    int current_row() const { return current_row_; }
    QLineSeries* month_line() const { return month_line_; }

    // The cell charted: the chart's title, and the CSV's header of the
    // chosen variable's column.
    void set_cell(const QString& title, const std::string& csv_header);

    // The data as the chart holds it, as CSV text.
    std::string csv_text() const;
    // The tooltip for a point of a column near month axis value `x`; empty
    // where the column holds no value.
    QString tooltip_at(int column, double x) const;
    // The tooltip of the point nearest to a position in the view, within a
    // few pixels; empty when there is none.
    QString tooltip_near(QPointF view_pos) const;

    // Keeps the plot and legend above the lowest `pixels` of the view.
    void set_bottom_inset(int pixels);

    QMenu* context_menu() const { return menu_; }
    QAction* save_csv_action;
    QAction* copy_action;
    QAction* save_png_action;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void place_month_line();

    ChartTable table_;
    std::array<QLineSeries*, 4> series_{};
    std::array<std::string, 4> units_{};
    std::string csv_header_;  // of column 1; the legend text while empty
    QValueAxis* value_axis_;
    QValueAxis* month_axis_;
    QLineSeries* month_line_;
    QMenu* menu_;
    int first_year_ = 0;
    int current_row_ = 0;
    int designed_bottom_margin_ = 0;
};

}  // namespace veldra::viewer
