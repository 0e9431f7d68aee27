// The map's tools without a window: legend, zoom and the value under the
// pointer, the stretch over a run, the chart's CSV, frame names, the saved
// map's layout and the status line's place.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "viewer/core/chart_text.h"
#include "viewer/core/legend.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/map_image.h"
#include "modelfiles/number_text.h"
#include "viewer/core/pointer_readout.h"
#include "viewer/core/run_stretch.h"
#include "viewer/core/window_layout.h"
#include "test_model.h"

namespace veldra::viewer {
namespace {

// 8 x 4 one-degree cells around (0, 0): land in row 2 columns 2..4 and row 3
// columns 4..7; rangeland cells at (2, 2), (3, 2) and (6, 3).
ViewerState small_state() {
    ViewerState s;
    s.GridInfo.lowerX = -4;
    s.GridInfo.upperX = 4;
    s.GridInfo.lowerY = -2;
    s.GridInfo.upperY = 2;
    s.GridInfo.cellSize = 1;
    s.extents = compute_extents(s.GridInfo);
    const char* rows[] = {"FFFFFFFF", "FTTTFFFF", "FFFTTTTF", "FFFFFFFF"};
    s.GlobeMask.cols = 8;
    s.GlobeMask.rows = 4;
    for (const char* r : rows)
        for (int c = 0; c < 8; ++c) s.GlobeMask.land.push_back(r[c] == 'T');
    s.CellTable = {{1, 1, 2, 2, 1}, {2, 1, 3, 2, 1}, {3, 1, 6, 3, 1}};
    s.cell_grid = CellGrid(s.CellTable);
    s.display_values = {5.25f, 2e12f, -9999.0f};
    s.OutputTable = {{"Precip", 1, "Layer", "cm"}};
    s.SelectedEntry = 1;
    s.SelectedLayer = 1;
    return s;
}

TEST(Legend, WhatItSaysForEachKindOfColouring) {
    ColourRamps ramps = build_ramps([] { return 0.5; });
    StretchStats stats;
    stats.count = 3;
    stats.mean = 10;
    stats.lo = -10;
    stats.hi = 30;
    StretchStats equal;
    equal.count = 1;
    equal.mean = equal.lo = equal.hi = 5;
    struct Case {
        PaintedValues painted;
        Legend::Kind kind;
        std::vector<std::string> ticks;
        std::vector<std::string> swatches;
        std::string caption;
    } cases[] = {
        {{4, stats, false}, Legend::Kind::stretched, {"-10.0", "10.0", "30.0"}, {"land", "water", "out of range"}, "cm"},
        {{1, stats, true}, Legend::Kind::stretched, {"-10.0", "10.0", "30.0"}, {"land", "water", "out of range"},
         "cm, whole run"},
        {{4, equal, false}, Legend::Kind::equal_values, {}, {"all values equal: 5 cm", "land", "water"}, ""},
        {{4, StretchStats{}, false}, Legend::Kind::equal_values, {}, {"no values to stretch", "land", "water"}, ""},
        {{0, stats, false}, Legend::Kind::random, {}, {"land", "water"}, "Random colours: one per whole value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        const Legend l = make_legend(c.painted, ramps, "cm");
        EXPECT_EQ(l.kind, c.kind);
        std::vector<std::string> ticks, swatches;
        for (const auto& t : l.ticks) ticks.push_back(t.text);
        for (const auto& s : l.swatches) swatches.push_back(s.text);
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_EQ(swatches, c.swatches);
        EXPECT_EQ(l.caption, c.caption);
    }
    const Legend l = make_legend({1, stats, false}, ramps, "cm");
    EXPECT_EQ(l.bar, ramps.red);  // the bar runs through the ramp from the low end
    EXPECT_EQ(l.swatches[0].colour, kLandColour);
    EXPECT_EQ(l.swatches[2].colour, kOutOfRangeColour);
    EXPECT_EQ(make_legend({4, equal, false}, ramps, "cm").swatches[0].colour, kEmptyStretchColour);
}

TEST(Legend, TickNumbersShowThreeDigitsOfTheSpan) {
    struct Case {
        double value, span;
        const char* text;
    } cases[] = {{-9.113, 27.9, "-9.1"}, {4.83, 27.9, "4.8"},         {1234.6, 2000, "1235"},
                 {0.01234, 0.05, "0.0123"}, {2.5e8, 1e9, "2.5E+08"}, {-0.001, 5, "0.00"},
                 {5, 0, "5"}};
    for (const Case& c : cases) EXPECT_EQ(legend_number(c.value, c.span), c.text) << c.value;
}

TEST(Legend, LayoutKeepsTheBarAndDropsSwatchesThatDoNotFit) {
    const ColourRamps ramps = build_ramps([] { return 0.5; });
    StretchStats stats;
    stats.count = 2;
    stats.lo = 0;
    stats.hi = 100;
    const Legend legend = make_legend({4, stats, false}, ramps, "cm");
    const TextWidth six_per_char = [](const std::string& t) { return static_cast<int>(t.size()) * 6; };
    struct Case {
        int width;
        int bar_w;
        std::size_t swatches;
    } cases[] = {{900, 256, 3}, {350, 140, 2}, {200, 96, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        const LegendLayout l = layout_legend(legend, c.width, 12, six_per_char);
        ASSERT_TRUE(l.bar);
        EXPECT_EQ(l.bar->w, c.bar_w);
        EXPECT_EQ(l.swatches.size(), c.swatches);
        EXPECT_LE(l.box.w, c.width);
        EXPECT_EQ(l.box.h, 4 + 12 + 1 + 12 + 4);  // bar row, tick row
        // The ticks stand under the bar: the low end at its start, the high end flush with its end.
        EXPECT_EQ(l.texts[0].box.x, l.bar->x);
        EXPECT_EQ(l.texts[0].box.y, l.bar->bottom() + 1 + 1);
    }
}

TEST(MapView, PointerToCellAtSeveralZooms) {
    ViewerState s = small_state();
    MapCanvas canvas;
    canvas.resize(80, 40);  // 10 pixels a cell at zoom 1; at most 16
    struct Case {
        MapView view;
        double px, py;
        std::int64_t col, row;
        PointKind kind;
    } cases[] = {
        {{1, 0, 0}, 15, 15, 2, 2, PointKind::cell},             // whole grid: pixel / 10
        {{1, 0, 0}, 75, 5, 8, 1, PointKind::water},
        {{1.6, 0, 0}, 40, 21, 5, 3, PointKind::land},           // 16 px a cell around the centre
        {{1.6, 0, 0}, 10, 10, 3, 2, PointKind::cell},           // (-1.875, 0.625)
        {{4, 0, 0}, 10, 10, 3, 2, PointKind::cell},             // held at 16 px a cell
        {{1.6, -100, 100}, 1, 1, 1, 1, PointKind::water},       // panned past the edge: held inside
        {{1.6, 1.5, -0.5}, 40, 20, 6, 3, PointKind::cell},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.view.zoom << " " << c.px << "," << c.py);
        s.view = c.view;
        set_map_scale(canvas, s);
        const Point p = canvas.to_map(c.px, c.py);
        const PointerInfo info = pointer_info(s, p.x, p.y);
        EXPECT_EQ(info.col, c.col);
        EXPECT_EQ(info.row, c.row);
        EXPECT_EQ(info.kind, c.kind);
        // What the picture shows at that pixel is the same position.
        const double pixels_per_cell = canvas.width() / (canvas.scale_right() - canvas.scale_left());
        EXPECT_LE(pixels_per_cell, kMaxPixelsPerCell + 1e-9);
    }
}

TEST(MapView, ZoomKeepsThePointUnderThePointerAndPanStaysInside) {
    const MapRect grid{-1500, 750, 1500, -750};
    const MapView z = zoom_at(MapView{}, grid, 900, 450, 225, 100, 4);
    EXPECT_DOUBLE_EQ(z.zoom, 4);
    const MapRect r = visible_rect(z, grid);
    EXPECT_NEAR(r.left + 225.0 / 900 * r.width(), -1500 + 225.0 / 900 * 3000, 1e-9);
    EXPECT_NEAR(r.top - 100.0 / 450 * r.height(), 750 - 100.0 / 450 * 1500, 1e-9);
    EXPECT_DOUBLE_EQ(zoom_at(z, grid, 900, 450, 0, 0, 1000).zoom, max_zoom(grid, 900, 450));
    EXPECT_DOUBLE_EQ(max_zoom(grid, 900, 450), 16 * 3000.0 / 900);
    EXPECT_EQ(zoom_at(z, grid, 900, 450, 0, 0, 0.001), MapView{});
    const MapRect far = visible_rect(pan_by(z, grid, -50, 50), grid);
    EXPECT_DOUBLE_EQ(far.left, -1500);
    EXPECT_DOUBLE_EQ(far.top, 750);
    EXPECT_EQ(pan_by(MapView{}, grid, 0.5, 0), MapView{});  // nothing moves at the whole grid
    EXPECT_DOUBLE_EQ(wheel_zoom_factor(240), 1.5625);
    // A shown part cut on whole cells, for the saved map.
    const CellWindow w = cell_window(MapRect{-1499.5, 749.2, -1489.9, 740.0}, grid);
    EXPECT_EQ(w.first_col, 0);
    EXPECT_EQ(w.end_col, 11);
    EXPECT_EQ(w.first_row, 0);
    EXPECT_EQ(w.end_row, 10);
    EXPECT_EQ(w.rect, (MapRect{-1500, 750, -1489, 740}));
    // A zoomed view whose east edge falls on the edge of column 500 (within
    // rounding) ends there, without a column beyond it.
    const MapRect on_edge = visible_rect(MapView{7, -1000 - 3000.0 / 7 / 2, 0}, grid);
    EXPECT_NEAR(on_edge.right, -1000, 1e-9);
    const CellWindow e = cell_window(on_edge, grid);
    EXPECT_EQ(e.first_col, 71);
    EXPECT_EQ(e.end_col, 500);
    EXPECT_EQ(cell_window(MapRect{-1499.5, 749.2, -1490, 740}, grid).end_col, 10);
}

TEST(PointerReadout, TextsForEachKindOfPosition) {
    ViewerState s = small_state();
    const PaintedValues stretched;
    // Fixed ends of 0 to 5.25 (the value of cell (2, 2)) and of 0 to 5.
    PaintedValues up_to_the_value(4, StretchStats{0, 0, 0, 0, 5.25f});
    up_to_the_value.fixed_scale = true;
    PaintedValues below_the_value(4, StretchStats{0, 0, 0, 0, 5});
    below_the_value.fixed_scale = true;
    PaintedValues above_the_value(4, StretchStats{0, 0, 0, 5.5f, 9});
    above_the_value.fixed_scale = true;
    struct Case {
        double x, y;
        const PaintedValues* drawn;  // nullptr: nothing drawn
        const char* text;
    } cases[] = {
        {-2.5, 0.5, &stretched, "lon -2.5  lat 0.5   column 2, row 2   5.25 cm"},
        {-1.5, 0.5, &stretched, "lon -1.5  lat 0.5   column 3, row 2   no data (2E+12)"},
        {1.5, -0.5, &stretched, "lon 1.5  lat -0.5   column 6, row 3   -9999 cm"},
        {-2.5, 0.5, nullptr, "lon -2.5  lat 0.5   column 2, row 2   no data"},
        {-0.5, 0.5, &stretched, "lon -0.5  lat 0.5   column 4, row 2   land"},
        {-3.5, 1.5, &stretched, "lon -3.5  lat 1.5   column 1, row 1   water"},
        {4.5, 0.5, &stretched, "lon 4.5  lat 0.5   outside the grid"},
        {-2.5, 0.5, &up_to_the_value, "lon -2.5  lat 0.5   column 2, row 2   5.25 cm"},
        {-2.5, 0.5, &below_the_value, "lon -2.5  lat 0.5   column 2, row 2   5.25 cm (above the scale)"},
        {-2.5, 0.5, &above_the_value, "lon -2.5  lat 0.5   column 2, row 2   5.25 cm (below the scale)"},
    };
    for (const Case& c : cases) {
        s.picture.values.reset();
        if (c.drawn) s.picture.values = *c.drawn;
        EXPECT_EQ(pointer_text(pointer_info(s, c.x, c.y), s), c.text);
    }
    s.GridInfo.cellSize = 1.0f / 12;  // finer cells: more places
    EXPECT_EQ(pointer_text(pointer_info(s, 48, 0), s).substr(0, 10), "lon 4.000 ");
}

TEST(RunStretch, PoolsEveryMonthAndSkipsBlocksThatDoNotMatch) {
    testing::TestModel m("run_stretch");
    // 2 years x 12 months x 2 layers, 3 cells; layer 2 holds 100 x month + cell.
    m.write_variable("V.vrd", 3, 2000, 2001, 2, [](auto y, auto mo, auto l, auto i) {
        return l == 2 ? static_cast<float>(100 * ((y - 2000) * 12 + mo) + i) : -1.0f;
    });
    const std::string path = (m.output() / "V.vrd").string();
    RunStretchRequest request{path, 2, 2, 2000, 2001, 3};
    std::atomic<bool> cancel{false};
    std::vector<float> all;
    for (int k = 1; k <= 24; ++k)
        for (int i = 0; i < 3; ++i) all.push_back(static_cast<float>(100 * k + i));
    const StretchStats expected = stretch_stats(all);
    std::int64_t last_progress = 0;
    RunStretchResult r = compute_run_stretch(request, cancel, [&](std::int64_t d) { last_progress = d; });
    EXPECT_EQ(r.months_used, 24);
    EXPECT_EQ(last_progress, 24);
    EXPECT_EQ(r.stats.count, 72);
    EXPECT_NEAR(r.stats.mean, expected.mean, 1e-9);
    EXPECT_NEAR(r.stats.stdev, expected.stdev, 1e-9);
    EXPECT_EQ(r.stats.lo, expected.lo);
    EXPECT_EQ(r.stats.hi, expected.hi);

    // The year record of March 2000, layer 2 (block 5) does not match: that month is left out.
    m.set_record("V.vrd", 5 * 6 + 2, 1999);
    r = compute_run_stretch(request, cancel);
    EXPECT_EQ(r.months_used, 23);
    EXPECT_EQ(r.months_skipped, 1);
    ASSERT_TRUE(r.first_problem);
    EXPECT_NE(r.first_problem->find("year 2000, month 3"), std::string::npos) << *r.first_problem;
    EXPECT_EQ(r.stats.count, 69);

    cancel = true;
    EXPECT_TRUE(compute_run_stretch(request, cancel).cancelled);
    cancel = false;
    request.path = (m.output() / "Missing.vrd").string();
    r = compute_run_stretch(request, cancel);
    EXPECT_EQ(r.months_used, 0);
    EXPECT_EQ(r.months_skipped, 24);
}

TEST(ChartText, SeriesAsCsvWithYearsAndMonths) {
    ChartTable table(14);
    MonthlySeries a{std::vector<std::optional<float>>(14), std::nullopt};
    a.rows[0] = 4.83f;
    a.rows[13] = -9999.0f;
    MonthlySeries b{std::vector<std::optional<float>>(14, 0.1f), std::nullopt};
    b.rows[12].reset();  // skipped
    table.set_column(0, a);
    table.set_column(1, b);
    const std::string csv = series_csv(table, {"Live, \"herbs\"", "Precipitation (cm)", "Max", "Min"}, 1999);
    const std::string head = "year,month,\"Live, \"\"herbs\"\"\",Precipitation (cm),Max,Min\r\n";
    EXPECT_EQ(csv.substr(0, head.size()), head);
    EXPECT_NE(csv.find("\r\n1999,1,4.83,0.1,,\r\n1999,2,,0.1,,\r\n"), std::string::npos);
    EXPECT_NE(csv.find("\r\n2000,1,,,,\r\n2000,2,-9999,0.1,,\r\n"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 15);

    EXPECT_EQ(row_time(1999, 13), (YearMonth{2000, 1}));
    EXPECT_EQ(time_row(1999, 2000, 2), 14);
    EXPECT_EQ(point_tooltip("Precip", "cm", 1999, 14, 4.5f), "Precip: 4.5 cm\nFebruary 2000 (month 14 of the run)");
}

TEST(MapImage, FramesSortInTimeOrderAndTheLayoutHoldsWholeCells) {
    const auto names = frame_file_names("Precip_L2", FrameSpan{1999, 11, 2000, 2});
    EXPECT_EQ(names, (std::vector<std::string>{"Precip_L2_0001_1999_11.png", "Precip_L2_0002_1999_12.png",
                                               "Precip_L2_0003_2000_01.png", "Precip_L2_0004_2000_02.png"}));
    const auto long_run = frame_file_names("V", FrameSpan{1, 1, 1000, 12});
    EXPECT_EQ(long_run.front(), "V_00001_1_01.png");
    EXPECT_TRUE(std::is_sorted(long_run.begin(), long_run.end()));
    EXPECT_TRUE(frame_file_names("V", FrameSpan{2000, 2, 2000, 1}).empty());

    struct Case {
        int cols, rows, pixels;
    } cases[] = {{720, 360, 2}, {3000, 1500, 1}, {360, 180, 4}, {8, 4, 16}, {100, 600, 1}};
    for (const Case& c : cases) EXPECT_EQ(cell_pixels(c.cols, c.rows), c.pixels) << c.cols;
    const MapImageLayout l = layout_map_image(720, 360, 20, 300, 500, 33);
    EXPECT_EQ(l.map, (PixelRect{0, 36, 1440, 720}));
    EXPECT_EQ(l.legend, (PixelRect{8, 764, 500, 33}));
    EXPECT_EQ(l.width, 1440);
    EXPECT_EQ(l.height, 805);
    const MapImageLayout narrow = layout_map_image(8, 4, 20, 300, 500, 33);
    EXPECT_EQ(narrow.width, 516);
    EXPECT_EQ(narrow.map.x, (516 - 128) / 2);

    EXPECT_EQ(map_title(files::OutputEntry{"Live_Biomass", 3, "Facet", "g/m^2"}, 2, 2001, 3),
              "Live_Biomass (g/m^2), Facet 2, March 2001");
    EXPECT_EQ(map_title(files::OutputEntry{"Snow", 1, "", ""}, 1, 2000, 12), "Snow, layer 1, December 2000");
}

TEST(StatusLine, UnderTheChartOrOverItsFoot) {
    const MainLayout l = *form_resize(16620, 12465, WindowState::normal, MainLayout{}).layout;
    // No frame: the inside is the outer size, and the line fits under the chart.
    StatusLinePlace p = status_line_place(16620, 12465, l);
    EXPECT_EQ(p.rect, (TwipRect{3355, 12165, 15485 - 60 - 3355, 300}));
    EXPECT_EQ(p.chart_inset, 0);
    EXPECT_LE(l.chartMain.bottom(), p.rect.top);
    EXPECT_LE(p.rect.right(), l.cmdEnd.left);
    // A frame takes 510 twips of height: the chart reaches under the line's top.
    p = status_line_place(16500, 11955, l);
    EXPECT_EQ(p.chart_inset, l.chartMain.bottom() - (11955 - 300));
}

TEST(NumberText, FixedAndShortForms) {
    EXPECT_EQ(files::fixed_number(-62.25, 2), "-62.25");
    EXPECT_EQ(files::fixed_number(-0.001, 2), "0.00");
    EXPECT_EQ(files::fixed_number(3, 0), "3");
    EXPECT_EQ(files::short_number(5.652903f), "5.652903");
    EXPECT_EQ(files::short_number(-9999.0f), "-9999");
    EXPECT_EQ(files::short_number(1.2345678e12f), "1.234568E+12");
}

}  // namespace
}  // namespace veldra::viewer

namespace veldra::viewer {
namespace {

TEST(CellMarker, AFrameOfAtLeastFivePixelsAgainstTheCellsColour) {
    const struct {
        PixelBox square;
        MarkerOutline outline;
    } sizes[] = {
        {{10, 10, 11, 11}, {{8, 8, 13, 13}, 1}},  // one pixel a cell: 5 across
        {{10, 10, 12, 12}, {{8, 8, 14, 14}, 1}},
        {{0, 0, 8, 8}, {{-3, -3, 11, 11}, 2}},  // thicker from 8 pixels a cell on
    };
    for (const auto& s : sizes) EXPECT_EQ(marker_outline(s.square), s.outline) << s.square.right - s.square.left;
    EXPECT_EQ(outline_colour(rgb(255, 255, 0)), rgb(0, 0, 0));
    EXPECT_EQ(outline_colour(rgb(255, 255, 255)), rgb(0, 0, 0));
    EXPECT_EQ(outline_colour(kLandColour), rgb(255, 255, 255));
    EXPECT_EQ(outline_colour(rgb(0, 0, 160)), rgb(255, 255, 255));

    // Two pixels a cell: the frame of cell (2, 2) runs from pixel 0 to 5,
    // white against the land it sits on, a pixel of the map between.
    ViewerState s = small_state();
    s.LandColour = kLandColour;
    s.WaterColour = kWaterColour;
    s.picture.globe = true;
    MapCanvas canvas;
    canvas.resize(16, 8);
    set_map_scale(canvas, s);
    paint_globe(canvas, s);
    mark_cell(canvas, s, 0, rgb(255, 255, 0));
    const auto shown = [&](int x, int y) {
        const Rgb p = canvas.pixel(x, y);
        return p == rgb(255, 255, 255) ? 'o' : p == rgb(255, 255, 0) ? 'Y' : '.';
    };
    std::string row2, column3;
    for (int i = 0; i < 8; ++i) {
        row2 += shown(i, 2);
        column3 += shown(3, i);
    }
    EXPECT_EQ(row2, "o.YY.o..");
    EXPECT_EQ(column3, "o.YY.o..");
}

}  // namespace
}  // namespace veldra::viewer
