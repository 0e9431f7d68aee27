// The viewer's logic without a window: loaders, ramps, statistics, the
// canvas, the drawing of a block and the stepping rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "gui/core/map_drawing.h"
#include "output_list_line.h"
#include "gui/core/navigation.h"
#include "gui/core/viewer_state.h"

namespace veldra::viewer {
namespace {

template <typename Fn>
std::string load_error(Fn fn) {
    try {
        fn();
    } catch (const LoadError& e) {
        return e.message;
    }
    return "no error";
}

TEST(Settings, FolderBeforeTheApostropheAfterTheFirstCharacter) {
    std::string folder;
    ASSERT_TRUE(folder_from_settings_line("'D:\\runs\\world' the world run", folder));
    EXPECT_EQ(folder, "D:\\runs\\world/");
    ASSERT_TRUE(folder_from_settings_line("xC:\\model'", folder));  // the first character is dropped whatever it is
    EXPECT_EQ(folder, "C:\\model/");
    ASSERT_TRUE(folder_from_settings_line("'/srv/run/' ", folder));
    EXPECT_EQ(folder, "/srv/run/");
    EXPECT_FALSE(folder_from_settings_line("'no closing apostrophe", folder));
    EXPECT_FALSE(folder_from_settings_line("", folder));
    // The closing apostrophe must lie within the 200 characters after the first.
    EXPECT_TRUE(folder_from_settings_line("'" + std::string(199, 'a') + "'", folder));
    EXPECT_FALSE(folder_from_settings_line("'" + std::string(200, 'a') + "'", folder));
}

using veldra::testing::output_list_line;

TEST(OutputList, ActiveLinesAndTheirColumns) {
    std::string text = "Veldra output variables\r\n" + output_list_line("On", "File name", "L", "Label", "Units") + "\r\n" +
                       output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n" +
                       output_list_line("0", "Unused", "1", "Layer", "cm") + "\r\n" +
                       output_list_line(" 1", "Indented", "1", "Layer", "cm") + "\r\n" +
                       output_list_line("1", "Live_Biomass", "3", "Facet", "g/m^2") + "\r\n" +
                       output_list_line("1", "NoLayers", "x", "Layer", "") + "\r\n" + "1   Short\r\n";
    const auto entries = parse_output_list(text);
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
        std::string name = "V";
        name += std::to_string(i);
        text += output_list_line("1", name, "1", "Layer", "cm") + "\n";
    }
    const auto entries = parse_output_list(text);
    ASSERT_EQ(entries.size(), 127u);
    EXPECT_EQ(entries.back().FileName, "V127");
}

TEST(ViewerCellFile, HeaderOnTheFirstLineAndCellsAsOneStream) {
    ViewerGridInfo info;
    std::vector<ViewerCell> cells;
    parse_viewer_cell_file("2 720 360 -180 -90 180 89.6 0.5 2000 2004 extra\r\n1 3 10 20 2\r\n2,3,\r\n11 21 4\r\n",
                           "Rng_Data.vrd", info, cells);
    EXPECT_EQ(info.upperY, 90);  // kept as a 16-bit whole number
    EXPECT_EQ(info.lastYear, 2004);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[1].x, 11);
    EXPECT_EQ(cells[1].rangeType, 4);
    const Extents e = compute_extents(info);
    EXPECT_EQ(e.halfCols, 360);
    EXPECT_EQ(e.halfRows, 180);
    EXPECT_EQ(e.halfRowsInt, 180);
}

TEST(ViewerCellFile, UnusableFilesAreNamed) {
    ViewerGridInfo info;
    std::vector<ViewerCell> cells;
    EXPECT_EQ(load_error([&] { parse_viewer_cell_file("1 4 2 -2 -1 2\n1 1.0 2000 2001\n1 1 1 1 1\n", "m/Rng_Data.vrd",
                                                      info, cells); }),
              "m/Rng_Data.vrd: expected all ten header values on the first line, found them on lines 1 to 2");
    EXPECT_EQ(load_error([&] { parse_viewer_cell_file("2 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n2 1 x 1 1\n", "c",
                                                      info, cells); }),
              "c: line 3: expected the five values of a cell, found \"x\"");
    EXPECT_EQ(load_error([&] { parse_viewer_cell_file("2 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n2 1     1\n",
                                                      "c", info, cells); }),
              "c: line 3: expected the five values of a cell, found the end of the file");
    EXPECT_EQ(load_error([&] { parse_viewer_cell_file("2 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n2 1 1\n", "c",
                                                      info, cells); }),
              "c: the header gives 2 cells, more than the file holds");
    EXPECT_EQ(load_error([&] { parse_viewer_cell_file("9000000 4 2 -2 -1 2 1 1.0 2000 2001\n1 1 1 1 1\n", "c",
                                                      info, cells); }),
              "c: the header gives 9000000 cells, more than the file holds");
    EXPECT_EQ(load_error([&] { parse_viewer_cell_file("1 4 2 -2 -1 2 1 0 2000 2001\n1 1 1 1 1\n", "c", info,
                                                      cells); }),
              "c: line 1: expected a positive cell size (header value 8)");
}

TEST(ViewerGlobe, OnlyUpperCaseTAndWholeLines) {
    const Extents e{2, 1, 1};
    const ViewerGlobe g = parse_viewer_globe("TTt\r\n TFTTT\r\n", e, "Globe.vrd");
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
}

TEST(ColourRamps, StretchedAndRandom) {
    double next = 0.999;  // 0.999 * 256 rounds to 256, capped at 255
    const ColourRamps r = build_ramps([&] { return next; });
    EXPECT_EQ(r.random[7], rgb(255, 255, 255));
    EXPECT_EQ(r.red[200], rgb(200, 0, 0));
    EXPECT_EQ(r.green[1], rgb(0, 1, 0));
    EXPECT_EQ(r.blue[255], rgb(0, 0, 255));
    EXPECT_EQ(r.blueToYellow[0], rgb(0, 0, 255));
    EXPECT_EQ(r.blueToYellow[255], rgb(255, 255, 0));
    EXPECT_EQ(r.blueToYellow[63], rgb(63, 63, 192));

    const std::pair<float, int> folds[] = {{3.4f, 3},   {3.6f, 4},    {-0.4f, 0},  {-0.6f, 254}, {-1, 254},
                                           {-255, 255}, {256, 1},     {510, 0},    {255, 255},   {2.5f, 2},
                                           {1e20f, 2147483647 % 255}, {-1e20f, 127}};
    for (auto [v, k] : folds) EXPECT_EQ(random_ramp_index(v), k) << v;
}

TEST(Stretch, StatisticsAndColours) {
    const float values[] = {0, 10, 20};
    const StretchStats s = stretch_stats(values, 3);
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

    const float edge[] = {1e12f, -9999, 5};
    const StretchStats e = stretch_stats(edge, 3);
    EXPECT_EQ(e.count, 2);  // 1e12 is left out, -9999 counts
    const float one[] = {4, 2e12f};
    const StretchStats single = stretch_stats(one, 2);
    EXPECT_EQ(single.count, 1);
    EXPECT_EQ(single.stdev, 0);
    EXPECT_EQ(stretch_colour(4, single, index), kEmptyStretchColour);
    EXPECT_EQ(stretch_colour(2e12f, single, index), kEmptyStretchColour);
}

TEST(Labels, NumberPatterns) {
    EXPECT_EQ(format_two_decimals(0.5), ".50");
    EXPECT_EQ(format_two_decimals(0), ".00");
    EXPECT_EQ(format_two_decimals(-3.2), "-3.20");
    EXPECT_EQ(format_two_decimals(1234.567), "1234.57");
    EXPECT_EQ(format_two_decimals(-0.25), "-.25");
    EXPECT_EQ(format_two_decimals(10), "10.00");
    EXPECT_EQ(plain_number(5000.0), "5000");
    EXPECT_EQ(plain_number(4999.5f), "4999.5");
    EXPECT_EQ(plain_number(-2.0f), "-2");
    EXPECT_EQ(plain_number(1999.0f), "1999");
    EXPECT_EQ(plain_number(1e13f), "1E+13");
    EXPECT_EQ(plain_number(0.1f), "0.1");
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

// A model folder of four columns and two rows, years 2000-2001.
class DrawModel : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("veldra_draw_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_ / "Parms");
        std::filesystem::create_directories(dir_ / "Output");
        write("Parms/Output_List.vrl", output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n" +
                                           output_list_line("1", "Bio", "3", "Facet", "g/m^2") + "\r\n");
        write("Output/Rng_Data.vrd", "3 4 2 -2 -1 2 1 1.0 2000 2001\r\n1 1 1 1 1\r\n2 1 2 1 1\r\n3 1 4 2 1\r\n");
        write("Output/Globe.vrd", "TTTF\r\nFTTF\r\n");
        write_variable("Precip.vrd", 1, [](int, int, int, int i) { return 10.0f * static_cast<float>(i); });
        write_variable("Bio.vrd", 3, [](int y, int m, int l, int) { return static_cast<float>(y * 100 + m * 10 + l); });
        load_model(state_, dir_.string());
        state_.ramps = build_ramps([] { return 0.5; });
        canvas_.resize(4, 2);  // one pixel per cell
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void write(const std::string& rel, const std::string& text) { std::ofstream(dir_ / rel, std::ios::binary) << text; }
    void write_variable(const std::string& name, int layers, float (*value)(int, int, int, int),
                        int bad_block = -1, int bad_record = 0, float bad_value = 0) {
        std::vector<float> r;
        int block = 0;
        for (int y = 2000; y <= 2001; ++y)
            for (int m = 1; m <= 12; ++m)
                for (int l = 1; l <= layers; ++l, ++block) {
                    float head[3] = {3, static_cast<float>(y), static_cast<float>(m)};
                    if (block == bad_block) head[bad_record] = bad_value;
                    r.insert(r.end(), head, head + 3);
                    for (int i = 0; i < 3; ++i) r.push_back(value(y, m, l, i));
                }
        std::ofstream(dir_ / "Output" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(r.data()), static_cast<std::streamsize>(r.size() * 4));
    }
    DrawOutcome draw(const std::string& year, const std::string& month, const char* ramp = "Blue to Yellow") {
        return draw_data(state_, canvas_, year, month, ramp);
    }

    std::filesystem::path dir_;
    ViewerState state_;
    MapCanvas canvas_;
};

TEST_F(DrawModel, GlobeAndStretchedCells) {
    EXPECT_EQ(state_.ExportSpanStart, 2000);
    EXPECT_EQ(state_.ExportSpanEnd, 2001);
    set_map_scale(canvas_, state_);
    paint_globe(canvas_, state_);
    EXPECT_EQ(canvas_.pixel(0, 0), kLandColour);
    EXPECT_EQ(canvas_.pixel(3, 0), kWaterColour);
    EXPECT_EQ(canvas_.pixel(0, 1), kWaterColour);

    state_.SelectedEntry = 1;
    state_.SelectedLayer = 1;
    ASSERT_TRUE(is_drawable(state_));
    const DrawOutcome out = draw("2000", "1");
    ASSERT_TRUE(out.drawn);
    ASSERT_TRUE(out.labels);
    EXPECT_EQ(out.labels->mean, "10.00");
    EXPECT_EQ(out.labels->stdev, "10.00");
    EXPECT_EQ(out.labels->cells, "3");
    EXPECT_EQ(out.labels->units, "cm");
    EXPECT_EQ(canvas_.pixel(0, 0), rgb(63, 63, 192));   // 0
    EXPECT_EQ(canvas_.pixel(1, 0), rgb(127, 127, 128)); // 10
    EXPECT_EQ(canvas_.pixel(3, 1), rgb(191, 191, 64));  // 20, on water
    EXPECT_EQ(canvas_.pixel(2, 0), kLandColour);        // land without a cell
    EXPECT_EQ(state_.CellTable[2].value, 20.0f);

    const DrawOutcome red = draw("2000", "1", "Red stretched");
    EXPECT_EQ(canvas_.pixel(1, 0), rgb(127, 0, 0));
    EXPECT_TRUE(red.labels);
    const DrawOutcome random = draw("2000", "1", "Random colors");
    EXPECT_FALSE(random.labels);  // the labels keep what they showed
    EXPECT_EQ(canvas_.pixel(1, 0), state_.ramps.random[10]);
}

TEST_F(DrawModel, LayersSelectTheirBlock) {
    state_.SelectedEntry = 2;
    state_.SelectedLayer = 2;
    ASSERT_TRUE(draw("2001", "3").drawn);
    EXPECT_EQ(state_.CellTable[0].value, 200132.0f);
    state_.SelectedLayer = 0;
    EXPECT_FALSE(is_drawable(state_));
}

TEST_F(DrawModel, MismatchedBlocksAreReportedAndLeaveTheMap) {
    state_.SelectedEntry = 1;
    state_.SelectedLayer = 1;
    canvas_.clear();
    write_variable("Precip.vrd", 1, [](int, int, int, int) { return 1.0f; }, 0, 0, 4);
    DrawOutcome out = draw("2000", "1");
    EXPECT_FALSE(out.drawn);
    EXPECT_EQ(*out.message,
              "There is disagreement between the number of rangeland cells expected and what is being read-in.  "
              "Something is out of sync. Expected is 3 and read-in was: 4");
    EXPECT_EQ(canvas_.pixel(0, 0), MapCanvas::kBackground);
    EXPECT_EQ(state_.CellTable[0].value, 0.0f);

    write_variable("Precip.vrd", 1, [](int, int, int, int) { return 1.0f; }, 1, 1, 1999);
    out = draw("2000", "2");
    EXPECT_EQ(*out.message,
              "There is disagreement between the current year and the year read-in.  Something is out of sync.  "
              "Excepted is 2000 and read-in was 1999");
    write_variable("Precip.vrd", 1, [](int, int, int, int) { return 1.0f; }, 14, 2, 5.5f);
    out = draw("2001", "3");
    EXPECT_EQ(*out.message,
              "There is disagreement between the current month and the month read-in.  Something is out of sync.  "
              "Excepted is 3 and read-in was 5.5");
    EXPECT_EQ(canvas_.pixel(0, 0), MapCanvas::kBackground);
}

TEST_F(DrawModel, BlocksOutsideTheFileAreNotRead) {
    state_.SelectedEntry = 1;
    state_.SelectedLayer = 1;
    DrawOutcome out = draw("1999", "12");
    EXPECT_FALSE(out.drawn);
    EXPECT_EQ(*out.message, "The file " + dir_.string() +
                                "/Output/Precip.vrd holds no data for year 1999, month 12 (layer 1): the block would "
                                "lie before the start of the file.");
    out = draw("2002", "1");
    EXPECT_EQ(*out.message, "The file " + dir_.string() +
                                "/Output/Precip.vrd holds no data for year 2002, month 1 (layer 1): the block would "
                                "lie past the end of the file.");
    std::filesystem::remove(dir_ / "Output" / "Precip.vrd");
    out = draw("2000", "1");
    EXPECT_EQ(*out.message, "The file " + dir_.string() + "/Output/Precip.vrd cannot be opened.");
}

TEST(LoadModel, MissingFilesAreNamed) {
    ViewerState state;
    EXPECT_EQ(load_error([&] { load_model(state, "/nonexistent/run"); }),
              "/nonexistent/run/Parms/Output_List.vrl: cannot be opened; expected the model's output list");
    EXPECT_EQ(load_error([&] { read_settings_file("/nonexistent/Veldra.ini"); }),
              "/nonexistent/Veldra.ini: cannot be opened; expected the settings file, whose first line names the "
              "model folder within apostrophes");
}

}  // namespace
}  // namespace veldra::viewer
