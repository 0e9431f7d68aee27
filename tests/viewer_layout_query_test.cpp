// The main window's layout arithmetic and the cell query's search and series,
// without a window.
#include <gtest/gtest.h>

#include <filesystem>

#include "viewer/core/cell_query.h"
#include "viewer/core/window_layout.h"
#include "test_model.h"

namespace veldra::viewer {
namespace {

TEST(FormResize, WorkedExamples) {
    struct Case {
        double w, h;
        WindowState state;
        std::optional<OuterSize> new_size;
        TwipRect map, chart;
    } cases[] = {
        {12000, 9000, WindowState::normal, std::nullopt, {3355, 120, 8275, 4137.5}, {3355, 4307.5, 8275, 4262.5}},
        {28800, 16200, WindowState::maximized, std::nullopt, {3355, 120, 22300, 11150}, {3355, 11320, 22300, 4450}},
        // The map's height limit h * 0.75 - 1000 is rounded, halves to even: 11151.5 and 11154.5.
        {28800, 16202, WindowState::maximized, std::nullopt, {3355, 120, 22304, 11152}, {3355, 11322, 22304, 4450}},
        {28800, 16206, WindowState::maximized, std::nullopt, {3355, 120, 22308, 11154}, {3355, 11324, 22308, 4452}},
        // The height follows the width, never the other way.
        {16000, 9000, WindowState::normal, OuterSize{16000, 12000}, {3355, 120, 12275, 6137.5},
         {3355, 6307.5, 12275, 5262.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        const ResizeOutcome r = form_resize(c.w, c.h, c.state, MainLayout{});
        EXPECT_EQ(r.new_size, c.new_size);
        ASSERT_TRUE(r.layout);
        EXPECT_EQ(r.layout->picMap, c.map);
        EXPECT_EQ(r.layout->chartMain, c.chart);
    }
}

TEST(FormResize, TheLeftColumnAndTheStatisticsKeepTheirOrder) {
    const MainLayout l = *form_resize(12000, 9000, WindowState::normal, MainLayout{}).layout;
    EXPECT_EQ(l.lstMaps.height, 3600);
    EXPECT_EQ(l.lstIndex, (TwipRect{120, 3780, 3135, 1500}));
    EXPECT_EQ(l.lstClr, (TwipRect{120, 5340, 3135, 1200}));
    EXPECT_EQ(l.txtYear.top, 6660);
    EXPECT_EQ(l.cmdYrUp, (TwipRect{735, 6645, 180, 195}));
    EXPECT_EQ(l.cmdYrDown.top, 6840);
    EXPECT_EQ(l.txtMonth.left, 1115);
    EXPECT_EQ(l.cmdMnUp.left, 1490);
    EXPECT_EQ(l.cmdAuto, (TwipRect{2520, 6645, 735, 375}));
    EXPECT_EQ(l.cmdExport.top, 7235);
    EXPECT_EQ(l.cmdEnd, (TwipRect{10865, 7925, 735, 375}));
    // Units, mean, standard deviation, cells, with gaps of 100, 100 and 250.
    EXPECT_EQ(l.lblCellsTitle.top, 9000 - 255 - 650);
    EXPECT_EQ(l.lblMeanTitle.bottom() + 100, l.lblStdevTitle.top);
    EXPECT_EQ(l.lblUnitsTitle.bottom() + 100, l.lblMeanTitle.top);
    EXPECT_EQ(l.lblStdevTitle.bottom() + 250, l.lblCellsTitle.top);
    EXPECT_EQ(l.lblCells.left, 120 + 975 + 50);
}

TEST(FormResize, SmallWindowsSettleInOneStep) {
    // Too small in either direction resets both; a minimized window keeps its layout.
    EXPECT_EQ(form_resize(12000, 5000, WindowState::normal, {}).new_size, (OuterSize{7007, 6400}));
    EXPECT_FALSE(form_resize(12000, 5000, WindowState::normal, {}).layout);
    EXPECT_FALSE(form_resize(100, 100, WindowState::minimized, {}).layout);
    // Widths where 3 : 4 would fall below the minimum height keep that height,
    // and laying out again at the size asked for asks for nothing more.
    for (double w : {7007.0, 8000.0, 8533.0, 8534.0}) {
        const ResizeOutcome r = form_resize(w, 6400, WindowState::normal, {});
        const double h = r.new_size ? r.new_size->height : 6400;
        EXPECT_EQ(h, std::max(6400.0, w * 0.75));
        EXPECT_FALSE(form_resize(w, h, WindowState::normal, {}).new_size) << w;
    }
}

TEST(FormResize, TheStartSizeFitsTheScreenAtFourToThree) {
    const struct {
        double available_width, available_height;
        OuterSize start;
    } cases[] = {
        {28800, 16200, {16620, 12465}},  // room enough: as designed
        {16005, 10005, {13340, 10005}},  // 1600 x 1000 at 150 %: the height decides
        {12000, 16005, {12000, 9000}},   // a screen on end: the width decides
        {6000, 4500, {7007, 6400}},      // smaller than the minimum: the minimum
    };
    for (const auto& c : cases) {
        const OuterSize s = start_size(c.available_width, c.available_height);
        EXPECT_EQ(s, c.start) << c.available_width << " x " << c.available_height;
        EXPECT_FALSE(form_resize(s.width, s.height, WindowState::normal, {}).new_size);
    }
}

TEST(CellQuery, NearestCellByTheCentreOfItsSquare) {
    // Half extents 2 x 1: squares from x = -2 .. 2, y = -1 .. 1.
    const std::vector<files::RangeCell> cells = {{1, 0, 1, 1, 0}, {2, 0, 2, 1, 0}, {3, 0, 2, 2, 0}, {4, 0, 2, 2, 0}};
    struct Case {
        double x, y;
        std::size_t cell;
    } cases[] = {
        {-1.9, 0.9, 0},   // inside cell 1
        {-0.1, 0.9, 1},   // the upper-right of cell 2's square is still cell 2
        {-1.0, 0.5, 0},   // on the border between 1 and 2: the first listed
        {-0.5, -0.5, 2},  // two cells at one place: the first listed
        {500, -300, 2},   // far outside: the nearest at the edge
    };
    for (const Case& c : cases) EXPECT_EQ(nearest_cell(cells, 2, 1, c.x, c.y), c.cell) << c.x << ", " << c.y;
    EXPECT_FALSE(nearest_cell({}, 2, 1, 0, 0));
}

TEST(CellQuery, SeriesReadTheBlockOfTheLayerAndSkipImplausibleValues) {
    testing::TestModel model("cell_series");
    // 1000 cells from 1900, two layers: cell 5 of March 1901, layer 2, is record 29095.
    model.write_variable("Var.vrd", 1000, 1900, 1901, 2, [](int y, int m, int l, int i) {
        if (i == 4 && y == 1901 && m == 4) return 2e12f;
        return i == 4 ? float(l * 10000 + (y - 1900) * 100 + m) : -1.0f;
    });
    const SeriesSource source{"Var", (model.output() / "Var.vrd").string(), 2, 2};
    const MonthlySeries s = read_cell_series(source, 4, {1000, 1900, 1901});
    EXPECT_FALSE(s.failure);
    ASSERT_EQ(s.rows.size(), 24u);
    EXPECT_EQ(s.rows[0], 20001.0f);
    EXPECT_EQ(s.rows[14], 20103.0f);  // row 15
    EXPECT_FALSE(s.rows[15]);         // outside the plausible window

    // A file too short for the run: what can be read, and the reason.
    const MonthlySeries longer = read_cell_series(source, 4, {1000, 1900, 1902});
    EXPECT_EQ(longer.rows[23], 20112.0f);
    EXPECT_FALSE(longer.rows[24]);
    EXPECT_EQ(*longer.failure, source.path + ": the file holds 48144 records; expected the value of cell 5 for "
                                             "year 1902, month 1 at record 49155");
    const MonthlySeries missing = read_cell_series({"X", "no/such.vrd", 1, 1}, 0, {1000, 1900, 1901});
    EXPECT_EQ(*missing.failure,
              "no/such.vrd: cannot be opened: No such file or directory; expected the monthly values of the run");
}

}  // namespace
}  // namespace veldra::viewer
