// The viewer as a new user meets it: statistics that describe the map on
// display, a difference on its own scale, the chart and its marker that
// follow the selection, export boxes that look as read-only as they are,
// the export folder remembered where the program's folder is not writable,
// a --screenshot that waits for no one, ends of the colour scale from the
// values' own range, and the lines that say where the map is.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QLineSeries>
#include <QValueAxis>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "viewer/core/map_guides.h"
#include "viewer/core/perceptual_ramps.h"
#include "viewer/map_options_ui.h"
#include "viewer/status_line.h"
#include "viewer_gui_fixture.h"

namespace {

using namespace veldra::gui_testing;

std::vector<QString> statistics(const FrmMain& w) {
    return {w.lblUnits->text(), w.lblMean->text(), w.lblStdev->text(), w.lblCells->text()};
}

const std::vector<QString> kEmpty(4);

TEST_F(ViewerTest, TheStatisticsAreEmptiedWithTheMapAndFilledByTheNextStretchedDrawing) {
    choose(kPrecip);
    EXPECT_EQ(statistics(*frm), (std::vector<QString>{"cm", "10.00", "10.00", "3"}));

    // A layered variable before its layer: the map is empty, and so are the labels.
    choose(kBiomass);
    EXPECT_TRUE(blank());
    EXPECT_EQ(statistics(*frm), kEmpty);
    frm->select_item(frm->lstIndex, 1);
    EXPECT_EQ(statistics(*frm), (std::vector<QString>{"g/m^2", "200010.00", "10.00", "3"}));

    // A variable without layers cannot be drawn either.
    choose(kNoLayers);
    EXPECT_TRUE(blank());
    EXPECT_EQ(statistics(*frm), kEmpty);

    // Random colours fill no label: they stay empty under a drawn map.
    frm->select_item(frm->lstClr, 0);
    choose(kPrecip);
    EXPECT_FALSE(blank());
    EXPECT_EQ(statistics(*frm), kEmpty);
    frm->select_item(frm->lstClr, 4);
    EXPECT_EQ(statistics(*frm), (std::vector<QString>{"cm", "10.00", "10.00", "3"}));
}

TEST_F(ViewerTest, ADifferenceHasItsOwnScaleWhateverTheScaleOfTheValues) {
    choose(kPrecip);
    frm->set_colour_scale(ColourScale{true, 1, 150, true});
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, fixed scale, log scale");

    // July 2000 minus January 2000: 6000 in every cell, on -6000 .. 6000.
    frm->txtMonth->setText("7");
    frm->set_difference(DifferenceTo{2000, 1});
    const Legend& legend = *frm->picMap->legend();
    EXPECT_EQ(legend.caption, "cm minus January 2000");
    ASSERT_EQ(legend.ticks.size(), 3u);
    EXPECT_EQ(legend.ticks.front().value, -6000);
    EXPECT_EQ(legend.ticks.back().value, 6000);
    const ColourRamp& diverging = ramp_at(state.ramps, kBlueWhiteRedRamp);
    EXPECT_EQ(at(2, 2), diverging[255]);  // the largest difference: the high end's colour

    // The dialog sets the difference's ends, and says the logarithm does not apply.
    frm->open_colour_scale();
    ColourScaleDialog& d = *frm->map_options().scale_dialog;
    EXPECT_FALSE(d.chkLog->isChecked());
    EXPECT_FALSE(d.chkLog->isEnabled());
    EXPECT_TRUE(d.lblScaleOf->text().contains("does not apply to differences"));
    d.optFixed->setChecked(true);
    d.txtLow->setText("-12000");
    d.txtHigh->setText("12000");
    d.cmdApply->click();
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, fixed scale minus January 2000");
    EXPECT_EQ(at(2, 2), diverging[191]);  // three quarters up
    // The values keep their own scale for when the difference ends.
    EXPECT_TRUE(state.options.scale.logarithmic);
    frm->set_difference(std::nullopt);
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, fixed scale, log scale");
    EXPECT_TRUE(d.chkLog->isChecked() && d.chkLog->isEnabled());
}

TEST_F(ViewerTest, TheChartFollowsTheSelectionAndTheMarkerStaysOnTheChartedCell) {
    model.write_climate();
    choose(kPrecip);
    frm->query_at(-1.5, 0.5);  // cell 2, at column 3, row 2
    ASSERT_TRUE(ui.messages.empty());
    ChartMain& chart = *frm->chartMain;
    EXPECT_EQ(chart.series(1)->name(), "Precip");
    EXPECT_EQ(at(3, 2), rgb(255, 255, 0));

    // A month step keeps the marker.
    frm->cmdMnUp_Click();
    EXPECT_EQ(frm->txtMonth->text(), "2");
    EXPECT_EQ(at(3, 2), rgb(255, 255, 0));

    // A selection that cannot be drawn keeps the last series ...
    const double climate = chart.series(3)->points().at(0).y();
    choose(kBiomass);
    EXPECT_EQ(chart.series(1)->name(), "Precip");
    // ... the next one charts the same cell again; the climate stays.
    frm->select_item(frm->lstIndex, 2);
    EXPECT_EQ(chart.series(1)->name(), "Biomass");
    EXPECT_EQ(chart.value_axis()->titleText(), "Biomass  g/m^2");
    EXPECT_EQ(chart.chart()->title().toStdString(), "Cell 2 at -1.5, 0.5 (column 3, row 2): Biomass, layer 3");
    EXPECT_EQ(chart.series(1)->points().at(0).y(), 300000 + 10);
    EXPECT_EQ(chart.series(3)->points().at(0).y(), climate);
    EXPECT_EQ(at(3, 2), rgb(255, 255, 0));

    // Until another cell is charted.
    frm->query_at(1.5, -0.5);  // cell 3, at column 6, row 3
    frm->cmdYrUp_Click();
    EXPECT_EQ(at(6, 3), rgb(255, 255, 0));
    EXPECT_NE(at(3, 2), rgb(255, 255, 0));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewerTest, TheExportDialogsReadOnlyBoxesLookItAndStepWithTheArrowKeys) {
    choose(kPrecip);
    frm->cmdExport_Click();
    FrmExport& d = *frm_export;
    const QColor editable = d.txtOutFolder->palette().color(QPalette::Base);
    for (QLineEdit* box : {d.txtStartYear, d.txtEndYear, d.txtDecimals}) {
        EXPECT_TRUE(box->isReadOnly());
        EXPECT_EQ(box->palette().color(QPalette::Base), d.palette().color(QPalette::Window))
            << box->objectName().toStdString();
        EXPECT_NE(box->palette().color(QPalette::Base), editable);
        // On screen: the box's inside is not the colour of the folder box's.
        const QImage shot = box->grab().toImage();
        EXPECT_NE(shot.pixelColor(shot.width() - 4, shot.height() / 2), d.txtOutFolder->grab().toImage().pixelColor(
                                                                         d.txtOutFolder->width() - 4, 4));
    }
    // Typing does nothing; Up and Down step as the arrows do.
    QTest::keyClicks(d.txtStartYear, "1999");
    EXPECT_EQ(d.txtStartYear->text(), "2000");
    QTest::keyClick(d.txtStartYear, Qt::Key_Up);
    QTest::keyClick(d.txtStartYear, Qt::Key_Up);
    EXPECT_EQ(d.txtStartYear->text(), "2002");
    EXPECT_EQ(state.ExportSpanStart, 2002);
    QTest::keyClick(d.txtEndYear, Qt::Key_Down);
    EXPECT_EQ(state.ExportSpanEnd, 2001);
    QTest::keyClick(d.txtDecimals, Qt::Key_Down);
    QTest::keyClick(d.txtDecimals, Qt::Key_Down);
    QTest::keyClick(d.txtDecimals, Qt::Key_Down);
    QTest::keyClick(d.txtDecimals, Qt::Key_Down);
    EXPECT_EQ(d.txtDecimals->text(), "0");
    QTest::keyClick(d.txtDecimals, Qt::Key_Up);
    EXPECT_EQ(d.txtDecimals->text(), "1");
}

// The machine's files, except that no file can be made in one folder: the
// program's folder of an installed viewer.
class ReadOnlyFolder : public veldra::files::FileAccess {
public:
    explicit ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {}
    std::unique_ptr<veldra::files::InputFile> open_input(const std::string& path) override {
        return veldra::files::system_files().open_input(path);
    }
    std::unique_ptr<veldra::files::OutputFile> create_temporary(const std::string& final_path) override {
        if (final_path.starts_with(folder_))
            throw veldra::files::FileWriteError(final_path, "cannot create: Permission denied", EACCES);
        return veldra::files::system_files().create_temporary(final_path);
    }
    void rename(const std::string& from, const std::string& to) override { veldra::files::system_files().rename(from, to); }
    void remove(const std::string& path) override { veldra::files::system_files().remove(path); }
    void create_folders(const std::string& path) override { veldra::files::system_files().create_folders(path); }

private:
    std::string folder_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(ViewerTest, TheExportFolderIsRememberedInTheUsersConfigurationWhereTheProgramsFolderIsNotWritable) {
    const fs::path config = model.root() / "config";
    const ScopedEnv xdg("XDG_CONFIG_HOME", config.string());
    ReadOnlyFolder files(model.program().string());
    choose(kPrecip);
    {
        FrmExport d(state, ui, model.program().string(), veldra::out::LookupPlaces{}, nullptr, files);
        d.open_dialog();
        d.txtOutFolder->setText("/data/out");
        d.cmdExportCancel_Click();
    }
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().toStdString();
    EXPECT_FALSE(fs::exists(model.program() / "Last_Export_Dir.txt"));
    EXPECT_EQ(veldra::testing::read_file(config / "veldra" / "Last_Export_Dir.txt"), "\"/data/out\"\r\n");

    // The next run reads it back from there.
    FrmExport again(state, ui, model.program().string(), veldra::out::LookupPlaces{}, nullptr, files);
    again.open_dialog();
    EXPECT_EQ(again.txtOutFolder->text(), "/data/out");

    // A writable program folder keeps the file beside the program, as always.
    FrmExport beside(state, ui, model.program().string(), veldra::out::LookupPlaces{});
    beside.open_dialog();
    EXPECT_EQ(beside.txtOutFolder->text(), "");
    beside.cmdExportCancel_Click();
    EXPECT_TRUE(fs::exists(model.program() / "Last_Export_Dir.txt"));
}

TEST_F(ViewerTest, TheColourScaleTakesTheMonthsOrTheRunsRangeOrPercentiles) {
    choose(kPrecip);  // January 2000: 0, 10 and 20
    frm->open_colour_scale();
    ColourScaleDialog& d = *frm->map_options().scale_dialog;
    d.cboEndsFrom->setCurrentIndex(1);
    d.cmdFromMonth->click();
    EXPECT_EQ(d.txtLow->text(), "0");
    EXPECT_EQ(d.txtHigh->text(), "20");
    EXPECT_EQ(d.lblNote->text(), "The smallest and largest value of the month on display.");
    d.cboEndsFrom->setCurrentIndex(2);
    d.cmdFromMonth->click();
    EXPECT_EQ(d.txtLow->text(), "0.4");
    EXPECT_EQ(d.txtHigh->text(), "19.6");

    // The run holds 0 .. 35020: its range, and percentiles between the values around their ranks.
    d.cboEndsFrom->setCurrentIndex(1);
    d.cmdFromRun->click();
    ASSERT_TRUE(wait_for([&] { return d.cmdFromRun->isEnabled(); }));
    EXPECT_EQ(d.txtLow->text(), "0");
    EXPECT_EQ(d.txtHigh->text(), "35020");
    d.cboEndsFrom->setCurrentIndex(2);
    d.cmdFromRun->click();
    ASSERT_TRUE(wait_for([&] { return d.cmdFromRun->isEnabled(); }));
    EXPECT_TRUE(d.lblNote->text().startsWith("The 2nd and 98th percentiles of 36 months"))
        << d.lblNote->text().toStdString();
    const double bin = 35020.0 / 4096;
    EXPECT_GE(d.txtLow->text().toDouble(), 20 - bin);  // rank 2.14 of 108: between 20 and 1000
    EXPECT_LE(d.txtLow->text().toDouble(), 1000 + bin);
    EXPECT_GE(d.txtHigh->text().toDouble(), 34000 - bin);  // rank 104.86: between 34020 and 35000
    EXPECT_LE(d.txtHigh->text().toDouble(), 35000 + bin);
    d.cmdOk->click();
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, fixed scale");
}

// The number of pixels of the map in `colour`.
int count_of(const MapCanvas& c, Rgb colour) {
    int n = 0;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) n += c.pixel(x, y) == colour;
    return n;
}

TEST_F(ViewerTest, TheGraticuleIsDrawnOnTheMapKeptInSavedMapsAndOffByDefault) {
    choose(kPrecip);
    const MapCanvas& c = frm->picMap->canvas();
    EXPECT_EQ(count_of(c, kGraticuleColour), 0);
    EXPECT_FALSE(frm->act_graticule->isChecked() || frm->act_borders->isChecked());
    const std::vector<std::uint32_t> plain = pixels();

    // The grid runs from 4 W to 4 E and 2 S to 2 N: the prime meridian and
    // the equator cross in the middle of the map.
    frm->act_graticule->trigger();
    EXPECT_TRUE(state.options.graticule);
    EXPECT_EQ(c.pixel(c.width() / 2, c.height() / 4), kGraticuleColour);
    EXPECT_EQ(c.pixel(c.width() / 8, c.height() / 2), kGraticuleColour);
    EXPECT_EQ(count_of(c, kGraticuleColour), c.width() + c.height() - 1);  // two whole lines
    // Labelled where the lines meet the top and the left edge.
    EXPECT_EQ(frm->picMap->labels(), (std::vector<GuideLabel>{{"0\u00B0", true, c.width() / 2.0},
                                                              {"0\u00B0", false, c.height() / 2.0}}));
    const QImage shown = frm->picMap->grab().toImage();
    int text = 0;
    for (int y = 2; y < 12; ++y)
        for (int x = c.width() / 2 + 3; x < c.width() / 2 + 15; ++x) text += shown.pixel(x, y) != c.pixel(x, y);
    EXPECT_GT(text, 5);
    // It stays through redraws and a month step, over the values.
    frm->cmdMnUp_Click();
    EXPECT_EQ(c.pixel(c.width() / 2, c.height() / 4), kGraticuleColour);

    ui.save_path = QString::fromStdString((model.root() / "map.png").string());
    frm->act_save_map->trigger();
    const QImage png(ui.save_path);
    ASSERT_FALSE(png.isNull());
    int grey = 0;
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x) grey += (png.pixel(x, y) | 0xFF000000u) == kGraticuleColour;
    EXPECT_GE(grey, 8 * 16 + 4 * 16 - 4);

    // Borders over a map without any coast change nothing; off again, the picture is as before.
    frm->act_borders->trigger();
    frm->act_graticule->trigger();
    frm->cmdMnDown_Click();
    EXPECT_EQ(pixels(), plain);
    EXPECT_TRUE(frm->picMap->labels().empty());
}

TEST_F(StartupTest, BordersAndGraticuleFromTheCommandLine) {
    const FrmMain& w = open_started({"--select", "Precip", "--borders", "--graticule"});
    EXPECT_TRUE(w.act_borders->isChecked());
    EXPECT_TRUE(w.act_graticule->isChecked());
    EXPECT_TRUE(started.state.options.borders && started.state.options.graticule);
    const MapCanvas& c = w.picMap->canvas();
    EXPECT_EQ(c.pixel(c.width() / 2, c.height() / 4), kGraticuleColour);
    EXPECT_NE(start_viewer({"--model", model.root().string(), "--borders=yes"}).exit_status, 0);
}

#ifdef VELDRA_GUI_PROGRAM
// The viewer itself, run as a script would run it, offscreen.
struct ViewerRun {
    int status = -1;
    QString err;
};
ViewerRun run_viewer(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(VELDRA_GUI_PROGRAM, args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardError())};
}

TEST(ScreenshotRun, MessagesGoToStandardErrorAndTheStatusSaysWhetherThePictureWasWritten) {
    ModelDir model;  // without the temperature files of the climate
    const QString root = QString::fromStdString(model.root().string());
    const QString png = QString::fromStdString((model.root() / "shot.png").string());
    const ViewerRun ok =
        run_viewer({"--model", root, "--select", "Precip", "--query", "-1.5,0.5", "--screenshot", png});
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_TRUE(ok.err.contains("max_temp")) << ok.err.toStdString();
    EXPECT_FALSE(QImage(png).isNull());

    const QString nowhere = QString::fromStdString((model.root() / "missing" / "shot.png").string());
    const ViewerRun unwritten = run_viewer({"--model", root, "--select", "Precip", "--screenshot", nowhere});
    EXPECT_EQ(unwritten.status, 1);
    EXPECT_TRUE(unwritten.err.contains("shot.png")) << unwritten.err.toStdString();

    // A model that cannot be loaded: the message on standard error, no box.
    const ViewerRun unloaded = run_viewer({"--model", root + "/none", "--screenshot", png});
    EXPECT_EQ(unloaded.status, 1);
    EXPECT_TRUE(unloaded.err.contains("Output_List.vrl")) << unloaded.err.toStdString();
}
#endif

}  // namespace
