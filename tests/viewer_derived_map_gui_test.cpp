// What the map shows beyond a month (summaries of the run, this run minus a
// baseline run) and the chart's series of a region, on the three-cell model
// of the fixture, whose values are known exactly: Precip is
// block_base(year, month) + 10 x cell.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QLineSeries>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <string>
#include <vector>

#include "test_model.h"
#include "viewer/core/perceptual_ramps.h"
#include "viewer/status_line.h"
#include "viewer_gui_fixture.h"

namespace {

using namespace veldra::gui_testing;

std::vector<double> series_values(QLineSeries* s) {
    std::vector<double> v;
    for (const QPointF& p : s->points()) v.push_back(p.y());
    return v;
}

// A widget point at a place of the grid in cells from its north-west corner.
QPoint grid_point(const FrmMain& w, double gx, double gy) {
    return QPoint(static_cast<int>(gx / 8 * w.picMap->width()), static_cast<int>(gy / 4 * w.picMap->height()));
}

TEST_F(ViewerTest, TheShowChoicesDrawTheSummariesOfTheRunWithTheMonthsRamps) {
    choose(kPrecip);
    frm->txtYear->setText("2001");
    frm->txtMonth->setText("7");
    ASSERT_TRUE(frm->act_show[0]->isChecked());
    EXPECT_EQ(frm->picMap->legend()->caption, "cm");
    // The month's stretch colours values 17500, 17510, 17520 as it colours
    // July 2001's 18000, 18010, 18020: the same ramp over the same spread.
    const std::array<Rgb, 3> month_colours{at(2, 2), at(3, 2), at(6, 3)};

    frm->act_show[1]->trigger();  // the year's mean: 12000 + 5500 + 10 x cell
    EXPECT_EQ(frm->shown(), MapShow::year_mean);
    EXPECT_EQ(state.display_values, (std::vector<float>{17500, 17510, 17520}));
    EXPECT_EQ((std::array<Rgb, 3>{at(2, 2), at(3, 2), at(6, 3)}), month_colours);
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, mean of 2001");
    EXPECT_EQ(text(frm->lblMean), "17510.00");
    EXPECT_EQ(frm->status_line->text->text(), "Showing mean of 2001");

    frm->act_show[2]->trigger();  // July over the three years: 6000, 18000, 30000
    EXPECT_EQ(state.display_values, (std::vector<float>{18000, 18010, 18020}));
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, climatology of July");
    frm->cmdMnUp->click();  // the month follows
    EXPECT_EQ(state.display_values, (std::vector<float>{19000, 19010, 19020}));
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, climatology of August");

    // The run mean on fixed ends: its lowest cell at the low end of Viridis,
    // its highest at the high end.
    frm->set_colour_map(kFirstPerceptualRamp);
    frm->set_colour_scale(ColourScale{true, 17500, 17520, false});
    frm->act_show[3]->trigger();
    EXPECT_EQ(state.display_values, (std::vector<float>{17500, 17510, 17520}));
    EXPECT_EQ(at(2, 2), perceptual_ramp(kFirstPerceptualRamp)[0]);
    EXPECT_EQ(at(6, 3), perceptual_ramp(kFirstPerceptualRamp)[255]);
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, mean 2000-2002, fixed scale");

    // Annual means 5500, 17500, 29500 (+ 10 x cell): 12000 a year, 120000 a decade.
    frm->set_colour_scale(ColourScale{true, 0, 120000, false});
    frm->act_show[4]->trigger();
    EXPECT_EQ(state.display_values, (std::vector<float>{120000, 120000, 120000}));
    EXPECT_EQ(at(3, 2), perceptual_ramp(kFirstPerceptualRamp)[255]);
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, trend per decade 2000-2002, fixed scale");

    // Back to the month as before.
    frm->set_colour_scale(ColourScale{});
    frm->set_colour_map(0);
    frm->act_show[0]->trigger();
    EXPECT_EQ(state.display_values, (std::vector<float>{19000, 19010, 19020}));
    EXPECT_EQ(frm->picMap->legend()->caption, "cm");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewerTest, ComparingWithAnotherRunShowsThisRunMinusItUntilTheComparisonEnds) {
    ModelDir base;
    base.rewrite("Precip", 1, [](int, int, int, int i) { return 100.0f * static_cast<float>(i); });
    const std::string name = fs::path(base.root()).filename().string();
    choose(kPrecip);
    frm->txtYear->setText("2001");
    frm->txtMonth->setText("3");  // 14000, 14010, 14020
    EXPECT_FALSE(frm->act_end_compare->isEnabled());

    ui.picked_folder = QString();  // a cancelled browser changes nothing
    frm->act_compare->trigger();
    EXPECT_EQ(frm->baseline(), nullptr);

    ui.picked_folder = QString::fromStdString(base.root().string());
    frm->act_compare->trigger();
    ASSERT_NE(frm->baseline(), nullptr);
    EXPECT_TRUE(frm->act_end_compare->isEnabled());
    EXPECT_EQ(state.display_values, (std::vector<float>{14000, 13910, 13820}));
    EXPECT_EQ(frm->picMap->legend()->caption, "cm minus " + name);
    EXPECT_EQ(frm->status_line->text->text().toStdString(), "Showing the month minus " + base.root().string());
    // The first cell holds the largest difference: the high end of the stretch.
    frm->set_colour_map(kFirstPerceptualRamp);
    frm->set_colour_scale(ColourScale{true, 13820, 14000, false});
    EXPECT_EQ(at(2, 2), perceptual_ramp(kFirstPerceptualRamp)[255]);
    EXPECT_EQ(at(6, 3), perceptual_ramp(kFirstPerceptualRamp)[0]);

    frm->set_show(MapShow::year_mean);  // 17500 + 10 x cell minus 100 x cell
    EXPECT_EQ(state.display_values, (std::vector<float>{17500, 17410, 17320}));
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, mean of 2001 minus " + name + ", fixed scale");

    frm->act_end_compare->trigger();
    EXPECT_EQ(frm->baseline(), nullptr);
    EXPECT_FALSE(frm->act_end_compare->isEnabled());
    EXPECT_EQ(state.display_values, (std::vector<float>{17500, 17510, 17520}));
    EXPECT_TRUE(ui.messages.empty());

    // A folder without a run is named in a message and compares nothing.
    ui.picked_folder = QString::fromStdString((base.root() / "nothing").string());
    frm->act_compare->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].contains("nothing")) << ui.messages[0].toStdString();
    EXPECT_EQ(frm->baseline(), nullptr);
}

TEST_F(ViewerTest, AShiftDragDrawsABoxWhoseAreaMeanReplacesTheCellSeries) {
    model.write_climate();
    choose(kPrecip);
    QTest::mousePress(frm->picMap, Qt::LeftButton, Qt::NoModifier, cell_centre(*frm, 3, 2));  // cell 2, then the climate
    ChartMain& chart = *frm->chartMain;
    const std::vector<double> precipitation = series_values(chart.series(2));
    const std::vector<double> max_temp = series_values(chart.series(3));

    // Around cells 1 and 2, both in row 2: the mean of 0 and 10 over each month.
    QSignalSpy presses(frm->picMap, &PicMap::mouse_down);
    QTest::mousePress(frm->picMap, Qt::LeftButton, Qt::ShiftModifier, grid_point(*frm, 1.2, 1.2));
    QTest::mouseMove(frm->picMap, grid_point(*frm, 2, 1.5));
    QTest::mouseRelease(frm->picMap, Qt::LeftButton, Qt::ShiftModifier, grid_point(*frm, 2.8, 1.8));
    EXPECT_EQ(presses.count(), 0);
    const std::vector<double> box = series_values(chart.series(1));
    ASSERT_EQ(box.size(), 36u);
    for (int k = 0; k < 36; ++k) EXPECT_EQ(box[static_cast<std::size_t>(k)], k * 1000 + 5) << k;
    EXPECT_TRUE(chart.series(1)->name().startsWith("Precip, layer 1, box -")) << chart.series(1)->name().toStdString();
    EXPECT_TRUE(chart.series(1)->name().endsWith("(area mean)"));
    EXPECT_EQ(series_values(chart.series(2)), precipitation);
    EXPECT_EQ(series_values(chart.series(3)), max_temp);
    EXPECT_TRUE(ui.messages.empty());

    // The zone under the pointer: all three cells, of equal area (rows 2 and
    // 3 lie either side of the equator), so the mean of 0, 10 and 20.
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 6, 3));
    frm->act_zone_series->trigger();
    const std::vector<double> zone = series_values(chart.series(1));
    ASSERT_EQ(zone.size(), 36u);
    for (int k = 0; k < 36; ++k) EXPECT_EQ(zone[static_cast<std::size_t>(k)], k * 1000 + 10) << k;
    EXPECT_EQ(chart.series(1)->name(), "Precip, layer 1, zone 1 (area mean)");
    EXPECT_EQ(frm->status_line->text->text(), "charting the area mean of zone 1");

    // Saved with the chart's own save.
    ui.save_path = QString::fromStdString((model.root() / "zone.csv").string());
    chart.save_csv_action->trigger();
    EXPECT_TRUE(ui.suggested_path.endsWith("/Precip_L1_zone_1.csv")) << ui.suggested_path.toStdString();
    const std::string csv = veldra::testing::read_file(model.root() / "zone.csv");
    const std::string head = "year,month,\"Precip, layer 1, zone 1 (area mean)\",Precipitation (cm),"
                             "Max. temperature (C),Min. temperature (C)\r\n"
                             "2000,1,10,10,11,11\r\n2000,2,1010,1010,11,11\r\n";
    EXPECT_EQ(csv.substr(0, head.size()), head);

    // Another variable: the region's series follows it.
    choose(kBiomass);
    frm->select_item(frm->lstIndex, 0);
    EXPECT_EQ(chart.series(1)->name(), "Biomass, layer 1, zone 1 (area mean)");
    EXPECT_EQ(series_values(chart.series(1))[0], 100000 + 10);
}

TEST_F(StartupTest, ShowAndCompareFromTheCommandLine) {
    ModelDir base;
    base.rewrite("Precip", 1, [](int, int, int, int i) { return 100.0f * static_cast<float>(i); });
    const FrmMain& w = open_started({"--select", "Precip", "--year", "2001", "--show", "year-mean", "--compare",
                                     base.root().string()});
    EXPECT_EQ(w.shown(), MapShow::year_mean);
    EXPECT_TRUE(w.act_show[1]->isChecked());
    ASSERT_NE(w.baseline(), nullptr);
    EXPECT_EQ(started.state.display_values, (std::vector<float>{17500, 17410, 17320}));
    EXPECT_EQ(w.picMap->legend()->caption,
              "cm, mean of 2001 minus " + fs::path(base.root()).filename().string());
    EXPECT_TRUE(ui.messages.empty());

    const StartupResult refused = start_viewer({"--model", model.root().string(), "--show", "median"});
    EXPECT_EQ(refused.exit_status, 2);
    EXPECT_TRUE(refused.err.starts_with("Veldra_GUI: --show")) << refused.err;
}

}  // namespace
