// The viewer's logic without a window: loaders, ramps, statistics, numbers,
// the canvas, the reading and painting of a block and the stepping rules.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "viewer/core/display_block.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/navigation.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/number_text.h"
#include "viewer/core/viewer_state.h"
#include "output_list_line.h"
#include "test_model.h"

namespace veldra::viewer {
namespace {

using veldra::testing::output_list_line;
using veldra::testing::TestModel;

// The message of the LoadError that `fn` raises.
template <typename Fn>
std::string load_error(Fn fn) {
    try {
        fn();
    } catch (const files::LoadError& e) {
        return e.what();
    }
    return "no error";
}

TEST(Settings, FolderBeforeTheApostropheAfterTheFirstCharacter) {
    EXPECT_EQ(files::folder_from_settings_line("'D:\\runs\\world' the world run"), "D:\\runs\\world/");
    EXPECT_EQ(files::folder_from_settings_line("xC:\\model'"), "C:\\model/");  // the first character is dropped whatever it is
    EXPECT_EQ(files::folder_from_settings_line("'/srv/run/' "), "/srv/run/");
    EXPECT_FALSE(files::folder_from_settings_line("'no closing apostrophe"));
    EXPECT_FALSE(files::folder_from_settings_line(""));
    // The closing apostrophe must lie within the 200 characters after the first.
    EXPECT_TRUE(files::folder_from_settings_line("'" + std::string(199, 'a') + "'"));
    EXPECT_FALSE(files::folder_from_settings_line("'" + std::string(200, 'a') + "'"));
}

TEST(OutputList, ActiveLinesAndTheirColumns) {
    std::string text = "Veldra output variables\r\n" + output_list_line("On", "File name", "L", "Label", "Units") + "\r\n" +
                       output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n" +
                       output_list_line("0", "Unused", "1", "Layer", "cm") + "\r\n" +
                       output_list_line(" 1", "Indented", "1", "Layer", "cm") + "\r\n" +
                       output_list_line("1", "Live_Biomass", "3", "Facet", "g/m^2") + "\r\n" +
                       output_list_line("1", "NoLayers", "x", "Layer", "") + "\r\n" + "1   Short\r\n";
    const auto entries = files::parse_output_list(text);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].FileName, "Precip");
    EXPECT_EQ(entries[0].LayerCount, 1);
    EXPECT_EQ(entries[0].LayerLabel, "Layer");
    EXPECT_EQ(entries[0].Units, "cm");
    EXPECT_EQ(entries[1].FileName, "Live_Biomass");
    EXPECT_EQ(entries[1].LayerCount, 3);
    EXPECT_EQ(entries[1].Units, "g/m^2");
    EXPECT_EQ(entries[2].LayerCount, 0);  // a letter counts no layers
    EXPECT_EQ(entries[3].FileName, "Short");
    EXPECT_EQ(entries[3].LayerCount, 0);
    EXPECT_EQ(entries[3].Units, "");
}

TEST(OutputList, OnlyTheFirst127LinesAreRead) {
    std::string text;
    for (int i = 1; i <= 130; ++i) {
        // Built in steps: GCC 12 warns falsely (-Wrestrict) on "V" + to_string.
        std::string name = "V";
        name += std::to_string(i);
        text += output_list_line("1", name, "1", "Layer", "cm") + "\n";
    }
    const auto entries = files::parse_output_list(text);
    ASSERT_EQ(entries.size(), 127u);
    EXPECT_EQ(entries.back().FileName, "V127");
}

TEST(ViewerCellFile, HeaderOnTheFirstLineAndCellsAsOneStream) {
    const files::ViewerCellFile f =
        files::parse_viewer_cell_file("2 720 360 -180 -90 180 89.6 0.5 2000 2004 extra\r\n1 3 10 20 2\r\n2,3,\r\n11 21 4\r\n",
                               "Rng_Data.vrd");
    EXPECT_EQ(f.info.upperY, 90);  // kept as a 16-bit whole number
    EXPECT_EQ(f.info.lastYear, 2004);
    ASSERT_EQ(f.cells.size(), 2u);
    EXPECT_EQ(f.cells[1].x, 11);
    EXPECT_EQ(f.cells[1].rangeType, 4);
    const files::Extents e = compute_extents(f.info);
    EXPECT_EQ(e.half_cols, 360);
    EXPECT_EQ(e.half_rows, 180);
}

// Lines of five plain whole numbers are read at once, any other value by
// value: both give the same cells, and faults the same lines.
TEST(ViewerCellFile, PlainLinesAndOtherCellsReadAlike) {
    const files::ViewerCellFile f = files::parse_viewer_cell_file("5 720 360 -180 -90 180 90 0.5 2000 2004\r\n"
                                                    "1 3 10 20 2\r\n"
                                                    "2 3.0 11 2.1e1 4\r\n"
                                                    "+3 -0 0012 22\r\n"
                                                    "5\r\n"
                                                    "4\t1,13 23 2.5\r\n"
                                                    "00000000005 2147483647 14 24 -2147483648",
                                                    "c");
    ASSERT_EQ(f.cells.size(), 5u);
    const std::int32_t expected[5][5] = {{1, 3, 10, 20, 2},
                                         {2, 3, 11, 21, 4},
                                         {3, 0, 12, 22, 5},
                                         {4, 1, 13, 23, 2},
                                         {5, 2147483647, 14, 24, -2147483647 - 1}};
    for (std::size_t i = 0; i < 5; ++i) {
        const files::RangeCell& c = f.cells[i];
        EXPECT_EQ((std::array{c.cellNumber, c.zone, c.x, c.y, c.rangeType}),
                  (std::array{expected[i][0], expected[i][1], expected[i][2], expected[i][3], expected[i][4]}))
            << i;
    }
    const std::pair<const char*, const char*> faults[] = {
        {"1 1 1 1 1\n2147483648 1 1 1 1\n", "c: line 3: a cell number is not a 32-bit whole number"},
        {"1 1 1 1 1\n2 1 1\n1 -2147483649\n", "c: line 4: a range type is not a 32-bit whole number"},
        {"1 1 1 1 1\n2 1 5 1 1\n", "c: line 3: cell 2 at column 5, row 1 lies outside the grid of 4 columns and 2 rows"},
        {"1 1 1 1 1\n\n\n2 1 1 1 1x\n", "c: line 5: expected the five values of a cell, found \"1x\""},
    };
    for (const auto& [cells, message] : faults) {
        const std::string file = std::string("2 4 2 -2 -1 2 1 1.0 2000 2001\n") + cells;
        EXPECT_EQ(load_error([&] { files::parse_viewer_cell_file(file, "c"); }), message) << file;
    }
}

TEST(ViewerCellFile, HalfRowsIsRoundedHalfToEven) {
    const struct {
        std::int16_t upper_y;
        std::int16_t half_rows_int;
    } cases[] = {{5, 2}, {7, 4}};  // half heights 2.5 and 3.5
    for (const auto& c : cases) {
        files::ViewerGridInfo info;
        info.upperY = c.upper_y;
        info.cellSize = 1;
        EXPECT_EQ(compute_extents(info).half_rows_int, c.half_rows_int) << c.upper_y;
    }
}

TEST(ViewerCellFile, UnusableFilesAreNamed) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 4 2 -2 -1 2\n1 1.0 2000 2001\n1 1 1 1 1\n",
         "c: expected all ten header values on the first line, found them on lines 1 to 2"},
        {"2 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n2 1 x 1 1\n",
         "c: line 3: expected the five values of a cell, found \"x\""},
        {"2 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n2 1     1\n",
         "c: line 3: expected the five values of a cell, found the end of the file"},
        {"2 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n2 1 1\n", "c: the header gives 2 cells, more than the file holds"},
        {"9000000 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n",
         "c: the header gives 9000000 cells, more than the file holds"},
        {"1 4 2 -2 -1 2 1 0 2000 2001\n1 1 1 1 1\n", "c: line 1: expected a positive cell size (header value 8)"},
        {"1 4 2 -2 -1 2 1 1.0 2000 40000\n1 1 1 1 1\n", "c: line 1: the last year 40000 is outside -32768 .. 32767"},
    };
    for (const auto& [text, message] : cases) {
        const std::string file = text;
        EXPECT_EQ(load_error([&] { files::parse_viewer_cell_file(file, "c"); }), message) << file;
    }
}

// Headers that once overflowed a conversion: each is refused with the value
// or the grid it asks for, before anything is allocated for it.
TEST(ViewerCellFile, HostileHeadersAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 4 2 -2 -1 2 1 1.0 -2147483648 2001\n",
         "c: line 1: the first year -2147483648 is not a whole number within -32768 .. 32767"},
        {"1 4 2 -2 -1 2 1 1.0 -2e9 2001\n",
         "c: line 1: the first year -2000000000 is not a whole number within -32768 .. 32767"},
        {"1 4 2 -2 -1 2 1 1.0 1e10 2001\n",
         "c: line 1: the first year 10000000000 is not a whole number within -32768 .. 32767"},
        {"1 4 2 -1e300 -1 1e300 1 1.0 2000 2001\n",
         "c: line 1: a grid of 2E+300 x 2 cells is too large to hold (at most 65534 rows and 1073741824 cells)"},
        {"1 4 2 -2 -1e300 2 1 1.0 2000 2001\n",
         "c: line 1: a grid of 4 x 5E+299 cells is too large to hold (at most 65534 rows and 1073741824 cells)"},
        {"0 0 -1 1e300 1 0 1 1e-30 1 1\n",
         "c: line 1: the edges and the cell size give no finite grid (half -INF x 0 cells)"},
        {"1 720 360 -180 -90 180 90 1e-30 2000 2001\n",
         "c: line 1: a grid of 3.59999998858412E+32 x 8.99999997146031E+31 cells is too large to hold (at most "
         "65534 rows and 1073741824 cells)"},
    };
    for (const auto& [header, message] : cases) {
        const std::string file = std::string(header) + "1 1 1 1 1\n";
        EXPECT_EQ(load_error([&] { files::parse_viewer_cell_file(file, "c"); }), message) << header;
    }
}

TEST(ViewerGlobe, OnlyUpperCaseTAndWholeLines) {
    const files::Extents e{2, 1, 1};
    const files::GlobeMask g = parse_viewer_globe("TTt\r\n TFTTT\r\n", e, "Globe.vrd");
    ASSERT_EQ(g.cols, 4);
    ASSERT_EQ(g.rows, 2);
    EXPECT_TRUE(g.is_land(0, 0));
    EXPECT_TRUE(g.is_land(1, 0));
    EXPECT_FALSE(g.is_land(2, 0));  // "t"
    EXPECT_FALSE(g.is_land(3, 0));  // short line
    EXPECT_FALSE(g.is_land(0, 1));  // a blank is water: the line is taken from its first character
    EXPECT_TRUE(g.is_land(1, 1));
    EXPECT_FALSE(g.is_land(2, 1));
    EXPECT_TRUE(g.is_land(3, 1));
    EXPECT_EQ(load_error([&] { parse_viewer_globe("TTTT\n", e, "o/Globe.vrd"); }),
              "o/Globe.vrd: expected 2 lines, one for each row of the grid, found 1");
    // Counted before the 1 GB mask of a 32768 x 32768 grid would be allocated.
    EXPECT_EQ(load_error([&] { parse_viewer_globe("T\nT\nT\nT\n", files::Extents{16384, 16384, 16384}, "g"); }),
              "g: expected 32768 lines, one for each row of the grid, found 4");
}

TEST(ColourRamps, StretchedAndRandom) {
    const ColourRamps r = build_ramps([] { return 0.5; });
    EXPECT_EQ(r.random[7], rgb(128, 128, 128));
    EXPECT_EQ(r.red[200], rgb(200, 0, 0));
    EXPECT_EQ(r.green[1], rgb(0, 1, 0));
    EXPECT_EQ(r.blue[255], rgb(0, 0, 255));
    EXPECT_EQ(r.blue_to_yellow[0], rgb(0, 0, 255));
    EXPECT_EQ(r.blue_to_yellow[255], rgb(255, 255, 0));
    EXPECT_EQ(r.blue_to_yellow[63], rgb(63, 63, 192));

    const std::pair<float, int> folds[] = {{3.4f, 3},   {3.6f, 4},    {-0.4f, 0},  {-0.6f, 254}, {-1, 254},
                                           {-255, 255}, {256, 1},     {510, 0},    {255, 255},   {2.5f, 2},
                                           {1e20f, 2147483647 % 255}, {-1e20f, 127}};
    for (auto [v, k] : folds) EXPECT_EQ(random_ramp_index(v), k) << v;
}

TEST(ColourRamps, RandomChannelsAreDrawTimes256RoundedHalfToEvenAndCapped) {
    const std::pair<double, int> channels[] = {{0.7 / 256, 1}, {0.5 / 256, 0}, {1.5 / 256, 2}, {0.999, 255}};
    for (auto [draw, channel] : channels) {
        const ColourRamps r = build_ramps([draw = draw] { return draw; });
        EXPECT_EQ(r.random[0], rgb(channel, channel, channel)) << draw;
    }
}

TEST(Stretch, StatisticsAndColours) {
    const std::vector<float> values = {0, 10, 20};
    const StretchStats s = stretch_stats(values);
    EXPECT_EQ(s.count, 3);
    EXPECT_DOUBLE_EQ(s.mean, 10);
    EXPECT_DOUBLE_EQ(s.stdev, 10);
    EXPECT_EQ(s.lo, -10.0f);
    EXPECT_EQ(s.hi, 30.0f);
    ColourRamp index{};
    for (int i = 0; i < 256; ++i) index[i] = static_cast<Rgb>(i);
    EXPECT_EQ(stretch_colour(0, s, index), 63u);
    EXPECT_EQ(stretch_colour(10, s, index), 127u);
    EXPECT_EQ(stretch_colour(20, s, index), 191u);
    EXPECT_EQ(stretch_colour(-500, s, index), 0u);
    EXPECT_EQ(stretch_colour(500, s, index), 255u);
    EXPECT_EQ(stretch_colour(1e12f, s, index), kOutOfRangeColour);

    const std::vector<float> edge = {1e12f, -9999, 5};
    EXPECT_EQ(stretch_stats(edge).count, 2);  // 1e12 is left out, -9999 counts
    const std::vector<float> one = {4, 2e12f};
    const StretchStats single = stretch_stats(one);
    EXPECT_EQ(single.count, 1);
    EXPECT_EQ(single.stdev, 0);
    EXPECT_EQ(stretch_colour(4, single, index), kEmptyStretchColour);
    EXPECT_EQ(stretch_colour(2e12f, single, index), kEmptyStretchColour);
}

TEST(NumberText, LabelsMessagesAndTextBoxes) {
    EXPECT_EQ(files::format_two_decimals(0.5), ".50");
    EXPECT_EQ(files::format_two_decimals(0), ".00");
    EXPECT_EQ(files::format_two_decimals(-3.2), "-3.20");
    EXPECT_EQ(files::format_two_decimals(1234.567), "1234.57");
    EXPECT_EQ(files::format_two_decimals(-0.25), "-.25");
    EXPECT_EQ(files::format_two_decimals(10), "10.00");
    EXPECT_EQ(files::plain_number(5000.0), "5000");
    EXPECT_EQ(files::plain_number(2000.5), "2000.5");
    EXPECT_EQ(files::plain_number(4999.5f), "4999.5");
    EXPECT_EQ(files::plain_number(-2.0f), "-2");
    EXPECT_EQ(files::plain_number(1e13f), "1E+13");
    EXPECT_EQ(files::plain_number(0.1f), "0.1");
    EXPECT_EQ(files::text_value(" 2001"), 2001);
    EXPECT_EQ(files::text_value("-12x"), -12);
    EXPECT_EQ(files::text_value("x"), 0);
    EXPECT_EQ(files::text_value("99999999999"), std::numeric_limits<std::int32_t>::max());
}

TEST(Navigation, StepsStayInsideTheSpan) {
    TimeStep s = month_up(2001, 12, 2004);
    EXPECT_EQ(s.month, 1);
    EXPECT_EQ(s.year, 2002);
    EXPECT_FALSE(s.beep);
    s = month_up(2004, 12, 2004);
    EXPECT_EQ(s.month, 1);
    EXPECT_FALSE(s.year);
    EXPECT_TRUE(s.beep);
    s = month_down(2000, 1, 2000);
    EXPECT_EQ(s.month, 12);
    EXPECT_FALSE(s.year);
    EXPECT_TRUE(s.beep);
    s = month_down(2003, 1, 2000);
    EXPECT_EQ(s.year, 2002);
    s = month_up(2003, 5, 2004);
    EXPECT_EQ(s.month, 6);
    EXPECT_FALSE(s.year);
    EXPECT_FALSE(year_up(2004, 2004).year);
    EXPECT_FALSE(year_up(2004, 2004).beep);
    EXPECT_FALSE(year_down(2000, 2000).year);
    EXPECT_EQ(year_up(2002, 2004).year, 2003);
}

TEST(Canvas, RectanglesInMapUnitsTileThePicture) {
    MapCanvas c;
    c.resize(8, 4);
    c.set_scale(-4, 2, 4, -2);  // one map unit per pixel, y upward
    c.fill_rect(-4, -2, 0, 2, rgb(1, 2, 3));
    c.fill_rect(0, 0, 4, 2, rgb(4, 5, 6));
    EXPECT_EQ(c.pixel(0, 0), rgb(1, 2, 3));
    EXPECT_EQ(c.pixel(3, 3), rgb(1, 2, 3));
    EXPECT_EQ(c.pixel(4, 0), rgb(4, 5, 6));
    EXPECT_EQ(c.pixel(7, 1), rgb(4, 5, 6));
    EXPECT_EQ(c.pixel(4, 2), MapCanvas::kBackground);
    // Smaller than a pixel still paints one; beyond the picture is clipped.
    c.fill_rect(0.1, -1.0, 0.2, -1.1, rgb(9, 9, 9));
    EXPECT_EQ(c.pixel(4, 3), rgb(9, 9, 9));
    c.fill_rect(100, 100, 200, 200, rgb(7, 7, 7));
    c.clear();
    EXPECT_EQ(c.pixel(0, 0), MapCanvas::kBackground);
}

// A model folder of four columns and two rows, years 2000-2001, with three
// cells and three variables: Precip (one layer), Bio (three) and NoLayers.
class DrawModel : public ::testing::Test {
protected:
    void SetUp() override {
        model_.write_text("Parms/Output_List.vrl", output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n" +
                                                       output_list_line("1", "Bio", "3", "Facet", "g/m^2") + "\r\n" +
                                                       output_list_line("1", "NoLayers", " ", "Layer", "cm") + "\r\n");
        write_cells({{1, 1, 1, 1, 1}, {2, 1, 2, 1, 1}, {3, 1, 4, 2, 1}});
        const std::vector<std::string> globe = {"TTTF", "FTTF"};
        model_.write_text("Output/Globe.vrd", files::globe_file_text(globe));
        model_.write_variable("Precip.vrd", 3, 2000, 2001, 1, [](auto, auto, auto, auto i) { return 10.0f * i; });
        model_.write_variable("Bio.vrd", 3, 2000, 2001, 3,
                              [](auto y, auto m, auto l, auto) { return static_cast<float>(y * 100 + m * 10 + l); });
        load();
        canvas_.resize(4, 2);  // one pixel per cell
    }

    void write_cells(const std::vector<files::RangeCell>& cells) {
        const files::GridInfo grid{.cellCount = 3, .xDimension = 4, .yDimension = 2, .lowerX = -2, .lowerY = -1,
                            .upperX = 2, .upperY = 1, .cellSize = 1.0f, .firstYear = 2000, .lastYear = 2001};
        model_.write_text("Output/Rng_Data.vrd", cell_file_text(grid, cells));
    }
    void load() {
        state_ = load_model(model_.root().string());
        state_.ramps = build_ramps([] { return 0.5; });
    }
    void select(int entry, int layer) {
        state_.SelectedEntry = entry;
        state_.SelectedLayer = layer;
    }
    // What the main window does for a drawing: read, keep the values, paint;
    // the labels of a stretched ramp.
    BlockRead draw(int year, int month, const char* ramp = "Blue to Yellow") {
        BlockRead block = read_display_block(state_, year, month, state_.SelectedLayer);
        if (!block.ok()) return block;
        state_.display_values = block.values;
        set_map_scale(canvas_, state_);
        const RampChoice choice = choose_ramp(state_.ramps, ramp);
        if (choice.random) {
            paint_random(canvas_, state_);
        } else {
            const StretchStats stats = stretch_stats(state_.display_values);
            labels_ = stats_labels(stats, state_);
            paint_stretched(canvas_, state_, stats, *choice.stretched);
        }
        return block;
    }
    std::string path(const std::string& file) const { return (model_.output() / file).string(); }

    TestModel model_{"viewer_draw"};
    ViewerState state_;
    MapCanvas canvas_;
    StatsLabels labels_;
};

TEST_F(DrawModel, GlobeAndStretchedCells) {
    EXPECT_EQ(state_.ExportSpanStart, 2000);
    EXPECT_EQ(state_.ExportSpanEnd, 2001);
    set_map_scale(canvas_, state_);
    paint_globe(canvas_, state_);
    EXPECT_EQ(canvas_.pixel(0, 0), kLandColour);
    EXPECT_EQ(canvas_.pixel(3, 0), kWaterColour);
    EXPECT_EQ(canvas_.pixel(0, 1), kWaterColour);

    select(1, 1);
    ASSERT_TRUE(draw(2000, 1).ok());
    EXPECT_EQ(labels_.mean, "10.00");
    EXPECT_EQ(labels_.stdev, "10.00");
    EXPECT_EQ(labels_.cells, "3");
    EXPECT_EQ(labels_.units, "cm");
    EXPECT_EQ(canvas_.pixel(0, 0), rgb(63, 63, 192));   // 0
    EXPECT_EQ(canvas_.pixel(1, 0), rgb(127, 127, 128)); // 10
    EXPECT_EQ(canvas_.pixel(3, 1), rgb(191, 191, 64));  // 20, on water
    EXPECT_EQ(canvas_.pixel(2, 0), kLandColour);        // land without a cell

    draw(2000, 1, "Random colors");
    EXPECT_EQ(canvas_.pixel(1, 0), state_.ramps.random[10]);
}

TEST_F(DrawModel, LayersSelectTheirBlock) {
    select(2, 2);
    ASSERT_TRUE(draw(2001, 3).ok());
    EXPECT_EQ(state_.display_values[0], 200132.0f);
}

TEST_F(DrawModel, DrawableOnlyWithALayerWhereThereAreLayers) {
    const struct {
        int entry, layer;
        bool drawable;
    } cases[] = {{0, 1, false}, {1, 1, true}, {1, 0, false}, {2, 3, true}, {3, 0, true}, {3, 1, false}};
    for (const auto& c : cases) {
        select(c.entry, c.layer);
        EXPECT_EQ(is_drawable(state_), c.drawable) << c.entry << " " << c.layer;
    }
}

TEST_F(DrawModel, MismatchedBlocksAreReportedAndKeepTheValues) {
    select(1, 1);
    // Blocks are 6 records: count, year, month and three values.
    const struct {
        std::int64_t record;
        float value;
        int year, month;
        const char* message;
    } cases[] = {
        {1, 4, 2000, 1,
         "There is disagreement between the number of rangeland cells expected and what is being read-in.  "
         "Something is out of sync. Expected is 3 and read-in was: 4"},
        {8, 1999, 2000, 2,
         "There is disagreement between the current year and the year read-in.  Something is out of sync.  "
         "Excepted is 2000 and read-in was 1999"},
        {14, 2001, 2000, 3,
         "There is disagreement between the current year and the year read-in.  Something is out of sync.  "
         "Excepted is 2000 and read-in was 2001"},
        {87, 5.5f, 2001, 3,
         "There is disagreement between the current month and the month read-in.  Something is out of sync.  "
         "Excepted is 3 and read-in was 5.5"},
    };
    for (const auto& c : cases) model_.set_record("Precip.vrd", c.record, c.value);
    for (const auto& c : cases) {
        const BlockRead block = draw(c.year, c.month);
        EXPECT_EQ(block.message, c.message);
        EXPECT_TRUE(block.values.empty());
    }
    EXPECT_EQ(canvas_.pixel(0, 0), MapCanvas::kBackground);
    EXPECT_EQ(state_.display_values, std::vector<float>(3, 0.0f));
}

TEST_F(DrawModel, BlocksOutsideTheFileAndUnusableFilesAreReported) {
    select(1, 1);
    EXPECT_EQ(draw(1999, 12).message, "The file " + path("Precip.vrd") +
                                          " holds no data for year 1999, month 12 (layer 1): the block would lie "
                                          "before the start of the file.");
    EXPECT_EQ(draw(2002, 1).message, "The file " + path("Precip.vrd") +
                                         " holds no data for year 2002, month 1 (layer 1): the block would lie past "
                                         "the end of the file.");
    std::filesystem::remove(model_.output() / "Precip.vrd");
    EXPECT_EQ(draw(2000, 1).message, "The file " + path("Precip.vrd") + " cannot be opened.");
    std::filesystem::create_directory(model_.output() / "Precip.vrd");
    EXPECT_EQ(draw(2000, 1).message, "The file " + path("Precip.vrd") + " cannot be opened.");
}

TEST_F(DrawModel, CellsOutsideTheGridAreRefusedAtLoad) {
    const std::string file = (model_.output() / "Rng_Data.vrd").string();
    for (const auto& [cell, place] : {std::pair{files::RangeCell{1, 1, 1, std::numeric_limits<std::int32_t>::min(), 1},
                                                "column 1, row -2147483648"},
                                      std::pair{files::RangeCell{1, 1, 5, 1, 1}, "column 5, row 1"},
                                      std::pair{files::RangeCell{1, 1, 4, 0, 1}, "column 4, row 0"}}) {
        write_cells({{7, 1, 1, 1, 1}, cell, {9, 1, 4, 2, 1}});
        EXPECT_EQ(load_error([&] { load(); }),
                  file + ": line 3: cell 2 at " + place + " lies outside the grid of 4 columns and 2 rows");
    }
    // A whole globe of a listed resolution holds its cells on the resolution's
    // grid, though the single-precision 1/10 degree makes the mask a column short.
    const files::ViewerCellFile tenth = files::parse_viewer_cell_file("1 3600 1800 -180 -90 180 90 0.1 2000 2000\n"
                                                        "1 1 3600 1800 1\n", "c");
    EXPECT_EQ(tenth.cells.size(), 1u);
    EXPECT_EQ(load_error([] { files::parse_viewer_cell_file("1 3600 1800 -180 -90 180 90 0.1 2000 2000\n"
                                                     "1 1 3601 1 1\n", "c"); }),
              "c: line 2: cell 1 at column 3601, row 1 lies outside the grid of 3600 columns and 1800 rows");
}

TEST(LoadModel, MissingFilesAreNamed) {
    const std::string reason = std::strerror(ENOENT);
    EXPECT_EQ(load_error([] { load_model("/nonexistent/run"); }),
              "/nonexistent/run/Parms/Output_List.vrl: cannot be opened: " + reason +
                  "; expected the model's output list");
    EXPECT_EQ(load_error([] { files::read_settings_file("/nonexistent/Veldra.ini"); }),
              "/nonexistent/Veldra.ini: cannot be opened: " + reason +
                  "; expected the settings file, whose first line names the model folder within apostrophes");
}

}  // namespace
}  // namespace veldra::viewer
