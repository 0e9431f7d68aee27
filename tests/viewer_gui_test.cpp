// The viewer's windows driven offscreen on small model folders written here:
// start-up, the lists, drawing, stepping, animation and messages, checked
// through what the user sees (texts, enabled buttons, pixels of the map).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "output_list_line.h"
#include "test_model.h"
#include "viewer/core/colour_ramps.h"
#include "export/export_command.h"
#include "export/export_settings.h"
#include "viewer/core/map_drawing.h"
#include "viewer/frm_export.h"
#include "viewer/frm_main.h"
#include "viewer/main_controls.h"
#include "viewer/map_image_painter.h"
#include "viewer/pic_map.h"
#include "viewer/startup.h"
#include "viewer/status_line.h"
#include "viewer/twips.h"
#include "viewer/ui_services.h"
#include "viewer_gui_fixture.h"

namespace fs = std::filesystem;
using namespace veldra::viewer;

namespace {

using namespace veldra::gui_testing;

// ---------------------------------------------------------------------------
// Start-up from the command line

TEST_F(StartupTest, SettingsFileNamesTheFolderWithinApostrophes) {
    const fs::path ini = write_settings(std::string("'") + model.root().string() + "' the world run of last week\r\nignored\r\n");
    const StartupResult r = start_viewer({"--settings", ini.string()});
    ASSERT_TRUE(r.run) << r.message << r.err;
    EXPECT_EQ(r.state.ModelFolder, model.root().string() + "/");
    ASSERT_EQ(r.state.OutputTable.size(), 6u);
    EXPECT_EQ(r.state.OutputTable[0].FileName, "Precip");
}

TEST_F(StartupTest, FirstCharacterOfTheSettingsLineIsDroppedWhateverItIs) {
    const fs::path ini = write_settings(std::string("#") + model.root().string() + "'\n");
    const StartupResult r = start_viewer({"--settings=" + ini.string()});
    ASSERT_TRUE(r.run) << r.message;
    EXPECT_EQ(r.state.ModelFolder, model.root().string() + "/");
}

TEST_F(StartupTest, DefaultSettingsFileComesFromTheEnvironment) {
    const fs::path ini = write_settings(std::string("'") + model.root().string() + "'\n");
    ::setenv("VELDRA_INI", ini.c_str(), 1);
    const StartupResult r = start_viewer({});
    ::unsetenv("VELDRA_INI");
    ASSERT_TRUE(r.run) << r.message;
    EXPECT_EQ(r.state.ModelFolder, model.root().string() + "/");
}

TEST_F(StartupTest, ModelOptionSkipsTheSettingsFile) {
    ::setenv("VELDRA_INI", "/nonexistent/Veldra.ini", 1);
    const StartupResult r = start_viewer({"--model", model.root().string()});
    ::unsetenv("VELDRA_INI");
    ASSERT_TRUE(r.run) << r.message;
    EXPECT_EQ(r.state.OutputTable.size(), 6u);
}

TEST_F(StartupTest, MissingSettingsFileShowsOneMessageWithBothWaysAndFails) {
    const StartupResult r = start_viewer({"--settings", "/nonexistent/dir/Veldra.ini"});
    EXPECT_FALSE(r.run);
    std::ostringstream out, err;
    EXPECT_EQ(finish_without_run(r, ui, out, err), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    const QString m = ui.messages[0];
    EXPECT_TRUE(m.contains("/nonexistent/dir/Veldra.ini")) << m.toStdString();
    EXPECT_TRUE(m.contains("--model DIR")) << m.toStdString();
    EXPECT_TRUE(m.contains("'D:\\runs\\world'")) << m.toStdString();
    EXPECT_TRUE(out.str().empty());
}

TEST_F(StartupTest, SettingsLineWithoutClosingApostropheFails) {
    const fs::path ini = write_settings(std::string("'") + model.root().string() + "\n");
    const StartupResult r = start_viewer({"--settings", ini.string()});
    std::ostringstream out, err;
    EXPECT_EQ(finish_without_run(r, ui, out, err), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].contains(QString::fromStdString(ini.string()))) << ui.messages[0].toStdString();
}

TEST_F(StartupTest, SettingsFileThatIsAFifoIsRefusedWithoutWaiting) {
    const fs::path fifo = model.root() / "Veldra.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const StartupResult r = start_viewer({"--settings", fifo.string()});
    std::ostringstream out, err;
    EXPECT_EQ(finish_without_run(r, ui, out, err), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].startsWith(QString::fromStdString(fifo.string() + ": cannot be opened")))
        << ui.messages[0].toStdString();
}

TEST_F(StartupTest, MissingModelFileIsNamedInOneMessage) {
    for (const char* file : {"Output/Globe.vrd", "Output/Rng_Data.vrd", "Parms/Output_List.vrl"}) {
        ModelDir broken;
        fs::remove(broken.root() / file);
        RecordingUi recorder;
        const StartupResult r = start_viewer({"--model", broken.root().string()});
        EXPECT_FALSE(r.run) << file;
        std::ostringstream out, err;
        EXPECT_EQ(finish_without_run(r, recorder, out, err), 1) << file;
        ASSERT_EQ(recorder.messages.size(), 1u) << file;
        EXPECT_TRUE(recorder.messages[0].contains(fs::path(file).filename().c_str()))
            << file << ": " << recorder.messages[0].toStdString();
    }
}

TEST_F(StartupTest, HelpGoesToStandardOutputAndSucceeds) {
    const StartupResult r = start_viewer({"--help"});
    std::ostringstream out, err;
    EXPECT_EQ(finish_without_run(r, ui, out, err), 0);
    EXPECT_NE(out.str().find("--model DIR"), std::string::npos);
    EXPECT_NE(out.str().find("--settings FILE"), std::string::npos);
    EXPECT_NE(out.str().find("--select NAME"), std::string::npos);
    EXPECT_TRUE(err.str().empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(start_viewer({"--version"}).out, "Veldra_GUI 0.2.0\n");
}

// What a command-line parser could take otherwise: values that start with
// "-", the "=" form, a repeated option (the last stands), "-h".
TEST_F(StartupTest, ValuesAsAScriptGivesThem) {
    const std::string root = model.root().string();
    const StartupResult r = start_viewer({"--model", "/nonexistent", "--model=" + root, "--query", "-62.25,-34.75",
                                          "--scale", "-5,5", "--select=Biomass", "--layer", "3", "--layer", "2"});
    ASSERT_TRUE(r.run) << r.err << r.message;
    EXPECT_EQ(r.query, (std::array<double, 2>{-62.25, -34.75}));
    ASSERT_TRUE(r.scale);
    EXPECT_EQ(r.scale->lo, -5);
    EXPECT_EQ(r.layer, 2);
    EXPECT_EQ(r.select, "Biomass");
    EXPECT_EQ(start_viewer({"-h"}).out, start_viewer({"--help"}).out);
    EXPECT_TRUE(start_viewer({"--model", root, "--select"}).err.starts_with("Veldra_GUI: --select needs a value\n"));
    EXPECT_TRUE(start_viewer({"--graticule=true", "--model", root}).err.starts_with("Veldra_GUI: unknown option --graticule=true\n"));
}

TEST_F(StartupTest, BadCommandLinesPrintUsageAndExitWithTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--model"},
        {"--model", model.root().string(), "--settings", "x.ini"},
        {"--model", model.root().string(), "--select", "Nothing"},
        {"--model", model.root().string(), "--query", "20.5"},
    };
    for (const auto& args : bad) {
        RecordingUi recorder;
        const StartupResult r = start_viewer(args);
        std::ostringstream out, err;
        EXPECT_EQ(finish_without_run(r, recorder, out, err), 2) << args[0];
        EXPECT_NE(err.str().find("Usage: Veldra_GUI"), std::string::npos) << args[0];
        EXPECT_TRUE(out.str().empty());
        EXPECT_TRUE(recorder.messages.empty());
    }
}

TEST_F(StartupTest, SelectNamesAListedVariable) {
    const StartupResult r = start_viewer({"--model", model.root().string(), "--select", "Biomass"});
    ASSERT_TRUE(r.run);
    EXPECT_EQ(r.select, "Biomass");
}

// ---------------------------------------------------------------------------
// The window after Form_Load

// The controls are built where the window layout designs them: laying them
// out at the places the build reports moves none of them.
TEST(MainControlsTest, AreBuiltAtTheLayoutsDesignedPlaces) {
    QWidget form;
    MainControls c;
    MainLayout built;
    build_main_controls(form, c, built);
    EXPECT_EQ(form.size(), QSize(1108, 643));
    EXPECT_EQ(c.lstMaps->geometry(), QRect(8, 8, 209, 95));
    EXPECT_EQ(c.picMap->geometry(), QRect(224, 8, 873, 281));
    EXPECT_EQ(c.cmdEnd->geometry(), QRect(1040, 616, 49, 25));
    std::vector<QRect> before;
    const auto children = form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const QWidget* w : children) before.push_back(w->geometry());
    place_main_controls(c, built);
    for (qsizetype i = 0; i < children.size(); ++i)
        EXPECT_EQ(children[i]->geometry(), before[static_cast<std::size_t>(i)]) << children[i]->objectName().toStdString();
    // What the layout holds of the titles is their width as built.
    EXPECT_EQ(twips(built.lblStdevTitle.width), c.lblStdevTitle->width());
}

TEST_F(ViewerTest, StartsWithDesignedControlsAndNothingChosen) {
    EXPECT_EQ(frm->windowTitle(), "Veldra GUI");
    // Shown, the window takes its 4 : 3 shape (the offscreen frame adds 4
    // pixels to each side's sum): outer 16680 x 12510 twips.
    QCoreApplication::processEvents();
    EXPECT_EQ(frm->frameGeometry().size(), QSize(1112, 834));
    EXPECT_EQ(frm->picMap->geometry(), QRect(224, 8, 864, 432));
    EXPECT_EQ(frm->lstMaps->geometry(), QRect(8, 8, 209, 334));
    EXPECT_EQ(frm->cmdEnd->geometry(), QRect(1036, 762, 49, 25));
    EXPECT_EQ(frm->txtYear->text(), "2000");
    EXPECT_EQ(frm->txtMonth->text(), "1");
    EXPECT_TRUE(frm->txtYear->isReadOnly());
    EXPECT_EQ(items(frm->lstClr),
              (std::vector<QString>{"Random colors", "Red stretched", "Green stretched", "Blue stretched",
                                    "Blue to Yellow"}));
    ASSERT_EQ(frm->lstClr->selectedItems().size(), 1);
    EXPECT_EQ(frm->lstClr->selectedItems().front()->text(), "Blue to Yellow");
    EXPECT_FALSE(frm->cmdAuto->isEnabled());
    EXPECT_FALSE(frm->cmdExport->isEnabled());
    EXPECT_EQ(frm->cmdAuto->text(), "Auto");
    EXPECT_EQ(text(frm->lblMeanTitle), "Mean (yr): ");
    EXPECT_EQ(text(frm->lblCellsTitle), "Cells: ");
    EXPECT_EQ(text(frm->lblStdevTitle), "Std Dev (yr):");
    EXPECT_EQ(text(frm->lblUnitsTitle), "Units:");
    EXPECT_FALSE(frm->chartMain->isVisible());
    EXPECT_EQ(frm->chartMain->row_count(), 36);
    EXPECT_EQ(state.ExportSpanStart, 2000);
    EXPECT_EQ(state.ExportSpanEnd, 2002);
    EXPECT_EQ(frm->findChild<QListWidget*>("lstIndex"), frm->lstIndex);
    EXPECT_FALSE(frm_export->isVisible());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewerTest, LoadPaintsLandAndWaterAndTheFirstDeferredRedrawBlanksIt) {
    FreshViewer fresh(1u);
    FrmMain& w = *fresh.w;
    const ViewerState& s = fresh.s;
    const MapCanvas& c = w.picMap->canvas();
    auto at_cell = [&](int col, int row) {
        return c.pixel(static_cast<int>((col - 0.5) / 8.0 * c.width()), static_cast<int>((row - 0.5) / 4.0 * c.height()));
    };
    EXPECT_EQ(at_cell(4, 2), rgb(100, 60, 40));  // "T"
    EXPECT_EQ(at_cell(1, 1), rgb(30, 30, 60));   // "F"
    EXPECT_EQ(at_cell(2, 2), rgb(100, 60, 40));
    EXPECT_TRUE(s.RedrawPending);

    w.show();  // the first resize arms the deferred redraw
    EXPECT_TRUE(w.tmrRedraw->isActive());
    EXPECT_EQ(w.tmrRedraw->interval(), 1000);
    w.tmrRedraw_Timer();
    EXPECT_FALSE(w.tmrRedraw->isActive());
    EXPECT_FALSE(s.RedrawPending);
    for (int row = 1; row <= 4; ++row)
        for (int col = 1; col <= 8; ++col) EXPECT_EQ(at_cell(col, row), MapCanvas::kBackground);
    EXPECT_EQ(fresh.recorder.beeps, 0);
}

TEST_F(ViewerTest, OutputListColumnsAndTheFirst127Lines) {
    EXPECT_EQ(items(frm->lstMaps),
              (std::vector<QString>{"Precip", "Biomass", "Broken", "Single", "NoLayers", "Last"}));
    EXPECT_EQ(state.OutputTable[kBiomass].LayerCount, 3);
    EXPECT_EQ(state.OutputTable[kBiomass].LayerLabel, "Facet");
    EXPECT_EQ(state.OutputTable[kBiomass].Units, "g/m^2");
    EXPECT_EQ(state.OutputTable[kNoLayers].LayerCount, 0);
}

// ---------------------------------------------------------------------------
// Choosing variables and layers

TEST_F(ViewerTest, OneLayerVariableIsDrawnAtOnceWithItsStatistics) {
    choose(kPrecip);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(frm->cmdAuto->isEnabled());
    EXPECT_TRUE(frm->cmdExport->isEnabled());
    EXPECT_EQ(state.SelectedFile, "Precip");
    EXPECT_EQ(frm->lstIndex->count(), 0);
    // Values 0, 10, 20: mean 10, sample deviation 10, range -10 .. 30.
    EXPECT_EQ(text(frm->lblMean), "10.00");
    EXPECT_EQ(text(frm->lblStdev), "10.00");
    EXPECT_EQ(text(frm->lblCells), "3");
    EXPECT_EQ(text(frm->lblUnits), "cm");
    // Blue to Yellow entries 63, 127 and 191.
    EXPECT_EQ(at(2, 2), rgb(63, 63, 192));
    EXPECT_EQ(at(3, 2), rgb(127, 127, 128));
    EXPECT_EQ(at(6, 3), rgb(191, 191, 64));
    // Around the cells the mask shows through.
    EXPECT_EQ(at(4, 2), rgb(100, 60, 40));
    EXPECT_EQ(at(1, 1), rgb(30, 30, 60));
}

TEST_F(ViewerTest, EveryRampColoursTheCells) {
    choose(kPrecip);
    frm->select_item(frm->lstClr, 1);
    EXPECT_EQ(at(2, 2), rgb(63, 0, 0));
    EXPECT_EQ(at(6, 3), rgb(191, 0, 0));
    frm->select_item(frm->lstClr, 2);
    EXPECT_EQ(at(3, 2), rgb(0, 127, 0));
    frm->select_item(frm->lstClr, 3);
    EXPECT_EQ(at(6, 3), rgb(0, 0, 191));
    EXPECT_EQ(ui.beeps, 4);  // each ramp re-reads the block

    // The random ramp: entry = the value folded into 0..255, the same colours
    // for the same seed; the statistics stay as the last stretched drawing left them.
    frm->lblMean->setText("kept");
    frm->select_item(frm->lstClr, 0);
    EXPECT_EQ(at(2, 2), state.ramps.random[0]);
    EXPECT_EQ(at(3, 2), state.ramps.random[10]);
    EXPECT_EQ(at(6, 3), state.ramps.random[20]);
    EXPECT_EQ(text(frm->lblMean), "kept");

    const FreshViewer twin(12345u);
    EXPECT_EQ(twin.s.ramps.random, state.ramps.random);
    for (int k = 0; k < 256; ++k) EXPECT_EQ(twin.s.ramps.blue_to_yellow[k], rgb(k, k, 255 - k));
}

TEST_F(ViewerTest, RampChangeWithoutAVariableDrawsNothing) {
    frm->select_item(frm->lstClr, 1);
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(blank());
}

TEST_F(ViewerTest, ThreeLayerVariableWaitsForALayer) {
    choose(kBiomass);
    EXPECT_EQ(items(frm->lstIndex), (std::vector<QString>{"Facet 1", "Facet 2", "Facet 3"}));
    EXPECT_FALSE(frm->cmdAuto->isEnabled());
    EXPECT_FALSE(frm->cmdExport->isEnabled());
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(blank());

    frm->select_item(frm->lstIndex, 1);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_TRUE(frm->cmdAuto->isEnabled());
    EXPECT_TRUE(frm->cmdExport->isEnabled());
    EXPECT_EQ(text(frm->lblMean), "200010.00");  // layer 2 of January 2000
    EXPECT_EQ(text(frm->lblUnits), "g/m^2");
    EXPECT_EQ(at(3, 2), rgb(127, 127, 128));
}

TEST_F(ViewerTest, ChoosingAfterAMultiLayerVariableKeepsItsLayerNumberUntilReset) {
    // A one-layer variable sets layer 1; choosing a three-layer one keeps it
    // while its list waits, so the months still step through layer 1.
    choose(kPrecip);
    choose(kBiomass);
    EXPECT_EQ(state.SelectedLayer, 1);
    ui.beeps = 0;
    frm->cmdMnUp_Click();
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(text(frm->lblMean), "101010.00");  // layer 1 of February 2000
}

TEST_F(ViewerTest, VariableWithoutLayersIsListedButNeverDrawn) {
    choose(kPrecip);
    ui.beeps = 0;
    choose(kNoLayers);
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(frm->cmdAuto->isEnabled());
    EXPECT_FALSE(frm->cmdExport->isEnabled());
    EXPECT_EQ(frm->lstIndex->count(), 0);
    EXPECT_TRUE(blank());
    frm->cmdMnUp_Click();
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(blank());
}

TEST_F(ViewerTest, ChoosingBeforeTheFirstDeferredRedrawDrawsTwice) {
    // Right after load a redraw is pending: the first drawing re-applies the
    // selection on the way and so draws twice.
    FreshViewer fresh(1u);
    fresh.w->select_item(fresh.w->lstMaps, kPrecip);
    EXPECT_EQ(fresh.recorder.beeps, 2);
    EXPECT_FALSE(fresh.s.RedrawPending);
}

TEST_F(ViewerTest, AUserClickOnAListRunsItsHandlerOnce) {
    QListWidget* list = frm->lstMaps;
    const QPoint precip = list->visualItemRect(list->item(kPrecip)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, precip);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(state.SelectedEntry, 1);
    // A press on the chosen item chooses it again, as the list's click does.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, precip);
    EXPECT_EQ(ui.beeps, 2);
    // The keyboard moves the choice too, once per key.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(state.SelectedEntry, 2);
    EXPECT_EQ(frm->lstIndex->count(), 3);
    EXPECT_EQ(ui.beeps, 2);
    const QPoint facet3 = frm->lstIndex->visualItemRect(frm->lstIndex->item(2)).center();
    QTest::mouseClick(frm->lstIndex->viewport(), Qt::LeftButton, {}, facet3);
    EXPECT_EQ(ui.beeps, 3);
    EXPECT_EQ(state.SelectedLayer, 3);
    EXPECT_EQ(text(frm->lblMean), "300010.00");
}

// ---------------------------------------------------------------------------
// Years and months

TEST_F(ViewerTest, MonthStepAcrossAYearDrawsTwice) {
    choose(kPrecip);
    frm->txtMonth->setText("12");  // draws December 2000
    std::vector<std::pair<QString, QString>> drawn;
    ui.on_beep = [&] { drawn.emplace_back(frm->txtYear->text(), frm->txtMonth->text()); };
    frm->cmdMnUp_Click();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0], std::make_pair(QString("2000"), QString("1")));
    EXPECT_EQ(drawn[1], std::make_pair(QString("2001"), QString("1")));
    EXPECT_EQ(text(frm->lblMean), "12010.00");

    drawn.clear();
    frm->cmdMnDown_Click();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0], std::make_pair(QString("2001"), QString("12")));
    EXPECT_EQ(drawn[1], std::make_pair(QString("2000"), QString("12")));
    EXPECT_EQ(text(frm->lblMean), "11010.00");

    drawn.clear();
    frm->cmdMnDown_Click();  // within the year: once
    EXPECT_EQ(drawn.size(), 1u);
    EXPECT_EQ(frm->txtMonth->text(), "11");
}

TEST_F(ViewerTest, MonthStepsAtTheEndsOfTheRunWrapInsideTheYearAndBeep) {
    frm->txtYear->setText("2002");
    frm->txtMonth->setText("12");
    frm->cmdMnUp_Click();  // nothing chosen: only the beep of the wrap
    EXPECT_EQ(frm->txtYear->text(), "2002");
    EXPECT_EQ(frm->txtMonth->text(), "1");
    EXPECT_EQ(ui.beeps, 1);

    choose(kPrecip);
    frm->txtMonth->setText("12");
    ui.beeps = 0;
    frm->cmdMnUp_Click();
    EXPECT_EQ(frm->txtYear->text(), "2002");
    EXPECT_EQ(frm->txtMonth->text(), "1");
    EXPECT_EQ(ui.beeps, 2);  // the drawing of January 2002, then the wrap
    EXPECT_EQ(text(frm->lblMean), "24010.00");

    frm->txtYear->setText("2000");
    ui.beeps = 0;
    frm->cmdMnDown_Click();
    EXPECT_EQ(frm->txtYear->text(), "2000");
    EXPECT_EQ(frm->txtMonth->text(), "12");
    EXPECT_EQ(ui.beeps, 2);
    EXPECT_EQ(text(frm->lblMean), "11010.00");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ViewerTest, YearButtonsStopAtTheEndsWithoutABeep) {
    choose(kPrecip);
    ui.beeps = 0;
    frm->cmdYrDown_Click();
    EXPECT_EQ(frm->txtYear->text(), "2000");
    EXPECT_EQ(ui.beeps, 0);
    frm->cmdYrUp->click();
    frm->cmdYrUp->click();
    EXPECT_EQ(frm->txtYear->text(), "2002");
    EXPECT_EQ(ui.beeps, 2);
    EXPECT_EQ(text(frm->lblMean), "24010.00");
    frm->cmdYrUp_Click();
    EXPECT_EQ(frm->txtYear->text(), "2002");
    EXPECT_EQ(ui.beeps, 2);
    frm->cmdMnUp->click();
    EXPECT_EQ(frm->txtMonth->text(), "2");
    EXPECT_EQ(text(frm->lblMean), "25010.00");
    frm->cmdMnDown->click();
    frm->cmdYrDown->click();
    EXPECT_EQ(frm->txtYear->text(), "2001");
    EXPECT_EQ(frm->txtMonth->text(), "1");
    EXPECT_EQ(text(frm->lblMean), "12010.00");
}

TEST_F(ViewerTest, AnimationTogglesItsCaptionAndStepsEachTick) {
    choose(kPrecip);
    ui.beeps = 0;
    frm->cmdAuto->click();
    EXPECT_EQ(frm->cmdAuto->text(), "Manual");
    EXPECT_TRUE(state.AutoRunning);
    EXPECT_TRUE(frm->tmrAuto->isActive());
    EXPECT_EQ(frm->tmrAuto->interval(), 500);

    frm->tmrAuto_Timer();
    EXPECT_EQ(frm->txtMonth->text(), "2");
    EXPECT_EQ(text(frm->lblMean), "1010.00");
    for (int i = 0; i < 11; ++i) frm->tmrAuto_Timer();
    EXPECT_EQ(frm->txtYear->text(), "2001");
    EXPECT_EQ(frm->txtMonth->text(), "1");
    EXPECT_EQ(ui.beeps, 13);  // twelve steps, the last across the year twice

    // A variable that waits for a layer disables the button but not the timer.
    choose(kBiomass);
    EXPECT_FALSE(frm->cmdAuto->isEnabled());
    EXPECT_TRUE(frm->tmrAuto->isActive());
    frm->tmrAuto_Timer();
    EXPECT_EQ(text(frm->lblMean), "113010.00");  // layer 1 of February 2001
    frm->select_item(frm->lstIndex, 0);
    EXPECT_TRUE(frm->cmdAuto->isEnabled());

    frm->cmdAuto->click();
    EXPECT_EQ(frm->cmdAuto->text(), "Auto");
    EXPECT_FALSE(state.AutoRunning);
    EXPECT_FALSE(frm->tmrAuto->isActive());
}

// ---------------------------------------------------------------------------
// Blocks that do not match, and the statistics

TEST_F(ViewerTest, MismatchedBlocksShowTheirMessageAndLeaveTheMap) {
    choose(kBroken);
    ASSERT_EQ(ui.beeps, 1);
    const auto before = pixels();
    const QString mean = text(frm->lblMean);

    frm->cmdMnUp_Click();  // February: count 5
    frm->cmdMnUp_Click();  // March: year 1999
    frm->cmdMnUp_Click();  // April: month 7
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[0],
              "There is disagreement between the number of rangeland cells expected and what is being read-in.  "
              "Something is out of sync. Expected is 3 and read-in was: 5");
    EXPECT_EQ(ui.messages[1],
              "There is disagreement between the current year and the year read-in.  Something is out of sync.  "
              "Excepted is 2000 and read-in was 1999");
    EXPECT_EQ(ui.messages[2],
              "There is disagreement between the current month and the month read-in.  Something is out of sync.  "
              "Excepted is 4 and read-in was 7");
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(pixels(), before);
    EXPECT_EQ(text(frm->lblMean), mean);

    frm->cmdMnUp_Click();  // May is sound again
    EXPECT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.beeps, 2);
    EXPECT_EQ(text(frm->lblMean), "4010.00");
}

TEST_F(ViewerTest, SingleValidCellPaintsEveryCellMagenta) {
    choose(kSingle);
    EXPECT_EQ(text(frm->lblStdev), ".00");
    EXPECT_EQ(text(frm->lblCells), "1");
    EXPECT_EQ(text(frm->lblMean), "5.00");
    EXPECT_EQ(text(frm->lblUnits), "mm");
    EXPECT_EQ(at(2, 2), rgb(255, 0, 255));
    EXPECT_EQ(at(3, 2), rgb(255, 0, 255));
    EXPECT_EQ(at(6, 3), rgb(255, 0, 255));
}

// The labels and the year and month boxes keep "." under a comma-decimal
// locale, which the application takes from the environment.
TEST_F(ViewerTest, StatisticsKeepTheirPointUnderACommaDecimalLocale) {
    struct Locale {
        std::string before = std::setlocale(LC_ALL, nullptr);
        ~Locale() { std::setlocale(LC_ALL, before.c_str()); }
    } restore;
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    choose(kPrecip);
    frm->cmdMnUp_Click();
    EXPECT_EQ(text(frm->lblMean), "1010.00");
    EXPECT_EQ(text(frm->lblStdev), "10.00");
    EXPECT_TRUE(ui.messages.empty());
}

// ---------------------------------------------------------------------------
// The deferred redraw after a resize

TEST_F(ViewerTest, ResizeBlanksTheMapAndTheRedrawRestoresAOneLayerVariable) {
    choose(kPrecip);
    ui.beeps = 0;
    frm->resize(1200, 700);
    QCoreApplication::processEvents();
    EXPECT_TRUE(state.RedrawPending);
    EXPECT_TRUE(blank());
    EXPECT_TRUE(frm->tmrRedraw->isActive());
    EXPECT_EQ(frm->tmrRedraw->interval(), 1000);
    EXPECT_EQ(frm->picMap->geometry(), QRect(224, 8, 956, 478));  // twice as wide as high
    EXPECT_EQ(frm->frameGeometry().size(), QSize(1204, 903));    // 4 : 3

    frm->tmrRedraw_Timer();
    EXPECT_FALSE(frm->tmrRedraw->isActive());
    EXPECT_FALSE(state.RedrawPending);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(at(2, 2), rgb(63, 63, 192));
    EXPECT_EQ(at(4, 2), rgb(100, 60, 40));
}

TEST_F(ViewerTest, RedrawAfterResizeMakesAMultiLayerVariableWaitForItsLayerAgain) {
    choose(kBiomass);
    frm->select_item(frm->lstIndex, 2);
    ASSERT_EQ(ui.beeps, 1);
    frm->resize(1150, 660);
    QCoreApplication::processEvents();
    frm->tmrRedraw_Timer();
    EXPECT_EQ(frm->lstIndex->count(), 3);
    EXPECT_TRUE(frm->lstIndex->selectedItems().isEmpty());
    EXPECT_FALSE(frm->cmdAuto->isEnabled());
    EXPECT_TRUE(blank());
    EXPECT_EQ(ui.beeps, 1);
}

// ---------------------------------------------------------------------------
// The map, the export dialog and End

TEST_F(ViewerTest, PressOnTheMapGivesMapCoordinates) {
    choose(kPrecip);
    QSignalSpy spy(frm->picMap, &PicMap::mouse_down);
    const MapCanvas& c = frm->picMap->canvas();
    // The centre of the square of column 6, row 3: map point (1.5, -0.5).
    const QPoint p(static_cast<int>(5.5 / 8.0 * c.width()), static_cast<int>(2.5 / 4.0 * c.height()));
    // With Shift the press may start a box: it queries when let go nearby.
    QTest::mousePress(frm->picMap, Qt::RightButton, Qt::ShiftModifier, p);
    EXPECT_EQ(spy.count(), 0);
    QTest::mouseRelease(frm->picMap, Qt::RightButton, Qt::ShiftModifier, p + QPoint(5, -5));
    ASSERT_EQ(spy.count(), 1);
    const auto args = spy.takeFirst();
    EXPECT_EQ(args[0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(args[1].value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));
    EXPECT_NEAR(args[2].toDouble(), 1.5, 8.0 / c.width());
    EXPECT_NEAR(args[3].toDouble(), -0.5, 4.0 / c.height());
}

// Presses at the centre of the square of a grid position (column from 1 at
// the west, row from 1 at the north) with any button.
void press(FrmMain& w, int col, int row, Qt::MouseButton button = Qt::LeftButton) {
    const QPoint p(static_cast<int>((col - 0.5) / 8.0 * w.picMap->width()),
                   static_cast<int>((row - 0.5) / 4.0 * w.picMap->height()));
    QTest::mousePress(w.picMap, button, Qt::ControlModifier, p);
}

std::vector<double> values(QLineSeries* s) {
    std::vector<double> v;
    for (const QPointF& p : s->points()) v.push_back(p.y());
    return v;
}

TEST_F(ViewerTest, ACellQueryChartsItsFourSeriesOverTheRun) {
    press(*frm, 3, 2);  // nothing chosen: nothing to chart
    EXPECT_FALSE(frm->chartMain->isVisible());

    choose(kBiomass);
    frm->select_item(frm->lstIndex, 1);
    press(*frm, 3, 2, Qt::MiddleButton);  // the second cell; layer 2 of 3
    ASSERT_TRUE(frm->chartMain->isVisible());
    // The climate files this model lacks are named in one message.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].contains("Output/max_temp.vrd: cannot be opened")) << ui.messages[0].toStdString();
    EXPECT_TRUE(ui.messages[0].contains("Output/min_temp.vrd: cannot be opened"));
    EXPECT_EQ(at(3, 2), rgb(255, 255, 0));  // the yellow marker over the white one

    ChartMain& chart = *frm->chartMain;
    EXPECT_EQ(chart.series(1)->name(), "Biomass");
    EXPECT_EQ(chart.series(2)->name(), "Precipitation (cm)");
    EXPECT_EQ(chart.series(3)->name(), "Max. temperature (C)");
    EXPECT_EQ(chart.series(4)->name(), "Min. temperature (C)");
    EXPECT_EQ(chart.value_axis()->titleText(), "Biomass  g/m^2");
    EXPECT_EQ(chart.month_axis()->titleText(), "Month");
    EXPECT_EQ(chart.month_axis()->labelFormat(), "%d");
    const std::vector<double> biomass = values(chart.series(1));
    ASSERT_EQ(biomass.size(), 36u);
    EXPECT_EQ(biomass[13], 200000 + block_base(2001, 2) + 10);  // row 14: February of the second year
    EXPECT_EQ(values(chart.series(2))[35], block_base(2002, 12) + 10);
    EXPECT_TRUE(chart.series(3)->points().isEmpty());

    // The climate series read layer 1 whatever the layer; values outside the
    // plausible window keep what the chart held.
    model.write_climate();
    ui.messages.clear();
    choose(kSingle);
    press(*frm, 3, 2, Qt::RightButton);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(values(chart.series(1)), biomass);
    EXPECT_EQ(values(chart.series(3))[0], 1.0 + 10);
    EXPECT_EQ(chart.value_axis()->titleText(), "Single  mm");
}

TEST_F(ViewerTest, TheChartAndTheStatusLineNameTheCellChartedAndItsMarkerIsOutlined) {
    model.write_climate();
    choose(kBiomass);
    frm->select_item(frm->lstIndex, 1);
    ChartMain& chart = *frm->chartMain;
    // A press over water charts the nearest rangeland cell, here the third.
    press(*frm, 5, 2);
    EXPECT_EQ(chart.chart()->title().toStdString(), "Cell 3 at 1.5, -0.5 (column 6, row 3): Biomass, layer 2");
    EXPECT_EQ(frm->status_line->text->text().toStdString(), "charting cell 3 at 1.5, -0.5");
    press(*frm, 3, 2);
    EXPECT_EQ(chart.chart()->title().toStdString(), "Cell 2 at -1.5, 0.5 (column 3, row 2): Biomass, layer 2");
    EXPECT_EQ(frm->status_line->text->text().toStdString(), "charting cell 2 at -1.5, 0.5");

    // The yellow square keeps its place; a frame around it, clear of it by a
    // pixel, in black or white against the cell's colour.
    const MapCanvas& c = frm->picMap->canvas();
    const QPoint centre(c.width() * 5 / 16, c.height() * 3 / 8);  // of column 3, row 2
    EXPECT_EQ(at(3, 2), rgb(255, 255, 0));
    const int half = c.width() / 16;  // half a cell
    const Rgb ring = outline_colour(painted_colour(state, 1));
    EXPECT_EQ(c.pixel(centre.x() - half - 2, centre.y()), ring);
    EXPECT_EQ(c.pixel(centre.x(), centre.y() + half + 2), ring);

    // The saved picture carries the title above the plot: more than the
    // background in its top rows.
    ui.save_path = QString::fromStdString((model.root() / "chart.png").string());
    chart.save_png_action->trigger();
    const QImage image(ui.save_path);
    std::set<QRgb> top;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < image.width(); ++x) top.insert(image.pixel(x, y));
    EXPECT_GT(top.size(), 2u);
}

TEST_F(ViewerTest, TheExportDialogIsPreparedWhileItsRootIsBlankAndRemembersItsFolder) {
    FrmExport& d = *frm_export;
    EXPECT_EQ(d.windowTitle(), "Export to GridASCII");
    EXPECT_EQ(d.txtOutFolder->text().toStdString(), model.program().string());  // until the first opening
    choose(kBiomass);
    frm->select_item(frm->lstIndex, 1);
    state.SelectedFile = "Biomass";
    frm->cmdExport->click();
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(d.isModal());
    EXPECT_EQ(d.txtRoot->text(), "Biomass_L2");
    EXPECT_EQ(d.txtStartYear->text(), "2000");
    EXPECT_EQ(d.txtEndYear->text(), "2002");
    EXPECT_EQ(d.txtOutFolder->text(), "");  // no Last_Export_Dir.txt yet, and no message
    EXPECT_TRUE(ui.messages.empty());

    ui.picked_folder = "";
    d.cmdSelect->click();  // cancelled: nothing changes
    EXPECT_EQ(d.txtOutFolder->text(), "");
    ui.picked_folder = "/data/out, new ";
    d.cmdSelect->click();
    d.cmdExportCancel->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(veldra::testing::read_file(model.program() / "Last_Export_Dir.txt"), "\"/data/out, new \"\r\n");

    // A root of one blank is prepared again, with the folder read back.
    d.txtRoot->setText(" ");
    d.txtOutFolder->setText("changed");
    frm->cmdExport->click();
    EXPECT_EQ(d.txtRoot->text(), "Biomass_L2");
    EXPECT_EQ(d.txtOutFolder->text(), "/data/out, new ");
    // Otherwise every box keeps what it held.
    d.txtOutFolder->setText("");
    d.cmdExportCancel->click();
    frm->cmdExport->click();
    EXPECT_EQ(d.txtOutFolder->text(), "");
    EXPECT_EQ(veldra::testing::read_file(model.program() / "Last_Export_Dir.txt"), "\"\"\r\n");
}

TEST_F(ViewerTest, TheExportDialogsStepsStayInsideTheirBounds) {
    FrmExport& d = *frm_export;
    frm->cmdExport->click();
    d.cmdYrUp1->click();
    d.cmdYrUp1->click();
    d.cmdYrUp1->click();  // already at the last year
    d.cmdYrDown2->click();
    EXPECT_EQ(d.txtStartYear->text(), "2002");
    EXPECT_EQ(d.txtEndYear->text(), "2001");
    d.cmdAllYears->click();
    EXPECT_EQ(state.ExportSpanStart, 2000);
    EXPECT_EQ(d.txtEndYear->text(), "2002");
    // Each button moves its own end only.
    d.cmdYrDown2->click();
    EXPECT_EQ(d.txtStartYear->text(), "2000");
    EXPECT_EQ(d.txtEndYear->text(), "2001");
    d.cmdYrDown1->click();  // already at the first year
    d.cmdYrUp2->click();
    EXPECT_EQ(d.txtStartYear->text(), "2000");
    EXPECT_EQ(d.txtEndYear->text(), "2002");
    d.cmdDecUp->click();
    EXPECT_EQ(d.txtDecimals->text(), "4");
    for (int i = 0; i < 6; ++i) d.cmdDecDown->click();
    EXPECT_EQ(d.txtDecimals->text(), "0");
}

TEST_F(ViewerTest, GoChecksItsSettingsInOrderThenCloses) {
    FrmExport& d = *frm_export;
    choose(kPrecip);
    frm->cmdExport->click();
    d.cmdYrUp1->click();
    d.cmdYrDown2->click();
    d.cmdYrDown2->click();
    d.txtOutFolder->setText("");
    d.txtRoot->setText("");
    struct Case {
        std::function<void()> change;
        const char* message;
    } cases[] = {
        {[] {}, "Note:  The ending year is prior to the starting year.  Please adjust."},
        // A span of one year (2001 to 2001) passes the first check.
        {[&] { d.cmdYrUp2->click(); }, "Note:  The output directory is not set.  Please do so."},
        {[&] { d.txtOutFolder->setText(" "); }, "Note:  The output root file name is not set.  Please do so."},
        {[&] {
             d.txtRoot->setText("p");
             state.SelectedEntry = 0;
         },
         veldra::out::kNothingToExport},
    };
    for (const Case& c : cases) {
        c.change();
        d.show();
        ui.messages.clear();
        d.cmdExportGo->click();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].toStdString(), c.message);
        EXPECT_FALSE(d.isVisible());
    }
    EXPECT_EQ(veldra::testing::read_file(model.program() / "Last_Export_Dir.txt"), "\" \"\r\n");
}

// The grid export takes the whole globe only: the test model becomes the
// whole globe in cells of 2 degrees (180 x 90), with the same three cells and
// land in its north-west corner, and is loaded again into `state`; its
// lookup grids, zone ids from the south-west corner, go into the viewer's
// Projection_Layers. Returns the header of a grid of that model.
std::string whole_globe_with_lookup_grids(const ModelDir& model, ViewerState& state) {
    const veldra::files::GridInfo grid{.cellCount = 3, .xDimension = 180, .yDimension = 90, .lowerX = -180, .lowerY = -90,
                                .upperX = 180, .upperY = 90, .cellSize = 2.0f, .firstYear = kFirstYear,
                                .lastYear = kLastYear};
    std::vector<veldra::files::RangeCell> cells;
    for (const auto& c : ModelDir::kCells)
        cells.push_back({static_cast<std::int32_t>(cells.size()) + 1, 1, c[0], c[1], 1});
    model.write("Output/Rng_Data.vrd", veldra::files::cell_file_text(grid, cells));
    std::vector<std::string> globe(90, std::string(180, 'F'));
    globe[1].replace(0, 8, "FTTTFFFF");
    globe[2].replace(0, 8, "FFFTTTTF");
    model.write("Output/Globe.vrd", veldra::files::globe_file_text(globe));
    state = load_model(model.root().string());

    std::string ids, mask;
    for (int k = 0; k < 180 * 90; ++k) {
        ids += std::to_string(k) + (k % 180 == 179 ? "\r\n" : " ");
        mask += k % 180 == 179 ? "1\r\n" : "1 ";
    }
    const std::string header = "ncols         180\r\nnrows         90\r\nxllcorner     -180\r\n"
                               "yllcorner     -90\r\ncellsize      2\r\nNODATA_value  -9999\r\n";
    model.write("program/Projection_Layers/zone_ids_2p0.asc", header + ids);
    model.write("program/Projection_Layers/zone01_2p0.asc", header + mask);
    model.write("program/Projection_Layers/zone_ids_2p0.prj", "GEOGCS[\"GCS_WGS_1984\"]");
    return header;
}

TEST_F(ViewerTest, TheExportDialogSaysWhatItExportsAndItsProposedRootFollowsTheChoice) {
    whole_globe_with_lookup_grids(model, state);
    FrmExport& d = *frm_export;
    choose(kBiomass);
    frm->select_item(frm->lstIndex, 1);
    frm->cmdExport->click();
    EXPECT_EQ(d.txtRoot->text(), "Biomass_L2");
    EXPECT_EQ(d.lblExports->text(), "Exports: Biomass, layer 2");
    // The dialog stays open while another variable is chosen: "Go" exports
    // that one, under its own name.
    choose(kPrecip);
    EXPECT_EQ(d.lblExports->text(), "Exports: Precip, layer 1");
    EXPECT_EQ(d.txtRoot->text(), "Precip");
    d.cmdYrUp2->click();
    for (int i = 0; i < 2; ++i) d.cmdYrDown2->click();
    d.txtOutFolder->setText(QString::fromStdString(model.root().string()));
    d.cmdExportGo->click();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(fs::exists(model.root() / "Precip_2000_12.asc"));
    EXPECT_FALSE(fs::exists(model.root() / "Biomass_L2_2000_01.asc"));

    // A root the user typed stays whatever is chosen.
    frm->cmdExport->click();
    d.txtRoot->setText("rain");
    choose(kBiomass);
    frm->select_item(frm->lstIndex, 0);
    EXPECT_EQ(d.txtRoot->text(), "rain");
    EXPECT_EQ(d.lblExports->text(), "Exports: Biomass, layer 1");
    state.SelectedEntry = 0;
    d.follow_selection();
    EXPECT_EQ(d.lblExports->text(), "Exports: nothing yet; choose a variable and, where it has layers, a layer");
}

TEST_F(ViewerTest, GoCreatesAFolderThatDoesNotExistAndTheStatusLineCountsTheGrids) {
    whole_globe_with_lookup_grids(model, state);
    FrmExport& d = *frm_export;
    choose(kPrecip);
    frm->cmdExport->click();
    const std::string folder = (model.root() / "new" / "deeper").string();
    d.txtOutFolder->setText(QString::fromStdString(" " + folder));
    d.cmdExportGo->click();
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].toStdString();
    EXPECT_EQ(names_in(folder).size(), 72u);  // 36 months, each with its .prj
    EXPECT_EQ(frm->status_line->text->text().toStdString(), "Wrote 36 grids to " + folder);
    EXPECT_EQ(d.lblStatus->text(), "");
}

TEST_F(ViewerTest, GoWritesEveryMonthAndTheCommandLineWritesTheSameBytes) {
    const std::string header = whole_globe_with_lookup_grids(model, state);
    FrmExport& d = *frm_export;
    choose(kPrecip);
    frm->cmdExport->click();
    d.txtOutFolder->setText(QString::fromStdString((model.root() / "dialog").string()));
    fs::create_directories(model.root() / "dialog");
    d.cmdExportGo->click();
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].toStdString();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.lblStatus->text(), "");
    const std::string first = veldra::testing::read_file(model.root() / "dialog" / "Precip_2000_01.asc");
    // The north row is water; the next holds land and the first two cells.
    std::string rows;
    for (int c = 0; c < 180; ++c) rows += "-9999.000 ";
    rows += "\r\n-9999.000 .000 10.000 -255.000 -9999.000 ";
    EXPECT_EQ(first.substr(0, header.size() + rows.size()), header + rows);

    std::ostringstream out, err;
    EXPECT_EQ(run_veldra_export({"--model", model.root().string(), "--variable", "Precip", "--out",
                                 (model.root() / "cli").string(), "--quiet"},
                                out, err, veldra::out::LookupPlaces{{(model.program() / "Projection_Layers").string()}, "", {}}),
              0)
        << err.str();
    EXPECT_EQ(err.str(), "");
    std::size_t grids = 0;
    for (const auto& e : fs::directory_iterator(model.root() / "dialog")) {
        ++grids;
        EXPECT_EQ(veldra::testing::read_file(e.path()),
                  veldra::testing::read_file(model.root() / "cli" / e.path().filename()))
            << e.path();
    }
    EXPECT_EQ(grids, 72u);  // 36 months, each with its .prj

    // Cancel pressed while the export runs stops it after the month being
    // written: every grid left is whole, and no temporary file stays.
    frm->cmdExport->click();
    d.txtOutFolder->setText(QString::fromStdString((model.root() / "cancelled").string()));
    fs::create_directories(model.root() / "cancelled");
    QTimer::singleShot(0, d.cmdExportCancel, &QPushButton::click);
    d.cmdExportGo->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.export_running());
    std::size_t kept = 0;
    for (const auto& e : fs::directory_iterator(model.root() / "cancelled")) {
        ++kept;
        EXPECT_EQ(veldra::testing::read_file(e.path()),
                  veldra::testing::read_file(model.root() / "cli" / e.path().filename()))
            << e.path();
    }
    EXPECT_LT(kept, 72u);
}

TEST_F(ViewerTest, EndClosesTheWindowsAndEndsTheProgram) {
    choose(kPrecip);
    frm->cmdAuto->click();
    frm->cmdExport->click();
    QTimer::singleShot(0, frm->cmdEnd, &QPushButton::click);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(frm->isVisible());
    EXPECT_FALSE(frm_export->isVisible());
    EXPECT_FALSE(frm->tmrAuto->isActive());
}


// ---------------------------------------------------------------------------
// Beyond the design: hints, legend, the value under the pointer, zoom,
// saving, the same colours for every month, shortcuts, start choices

TEST_F(ViewerTest, HintsUntilAVariableIsDrawnThenItsLegend) {
    EXPECT_EQ(frm->picMap->hint(), "Choose a variable in the list on the left");
    EXPECT_EQ(frm->lstClr->toolTip(), "Colour ramp of the map");
    EXPECT_TRUE(frm->lstMaps->toolTip().startsWith("Variables"));
    choose(kBiomass);
    EXPECT_EQ(frm->picMap->hint(), "Choose a layer in the second list");
    frm->select_item(frm->lstIndex, 0);
    EXPECT_TRUE(frm->picMap->hint().isEmpty());
    ASSERT_TRUE(frm->picMap->legend());

    // The legend's bar at the lower left, through Blue to Yellow; the land swatch beside it.
    PicMap& map = *frm->picMap;
    const QImage shot = map.grab().toImage();
    const LegendLayout l = layout_legend(*map.legend(), map.width() - 8, QFontMetrics(map.font()).height(),
                                         text_width_in(map.font()));
    const QPoint origin(4, map.height() - l.box.h - 4);
    const int middle = l.bar->w / 2;
    const auto entry = static_cast<std::size_t>(middle * 255 / (l.bar->w - 1));
    EXPECT_EQ(shot.pixel(origin.x() + l.bar->x + middle, origin.y() + l.bar->y + 5), state.ramps.blue_to_yellow[entry]);
    const PixelRect land = l.swatches.at(0).first;
    EXPECT_EQ(shot.pixel(origin.x() + land.x + 5, origin.y() + land.y + 5), kLandColour);
    EXPECT_EQ(shot.pixel(map.width() - 2, 2), kWaterColour);  // the rest is the map
}

TEST_F(ViewerTest, TheStatusLineShowsWhatLiesUnderThePointer) {
    EXPECT_EQ(frm->picMap->geometry(), QRect(224, 8, 864, 432));  // no control moved
    const QRect line = frm->status_line->geometry();
    EXPECT_GE(line.top(), frm->chartMain->geometry().bottom());
    EXPECT_LT(line.right(), frm->cmdEnd->geometry().left());
    EXPECT_EQ(line.left(), frm->picMap->geometry().left());

    // Made too small, the window takes whole pixels of at least 7007 x 6400
    // twips and lays its controls out there.
    frm->resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_GE(frm->frameGeometry().width() * 15, 7007);
    EXPECT_GE(frm->frameGeometry().height() * 15, 6400);
    EXPECT_TRUE(frm->tmrRedraw->isActive());
    EXPECT_EQ(frm->lstMaps->height(), qRound(frm->frameGeometry().height() / 2.5));
    frm->resize(1108, 830);
    QCoreApplication::processEvents();
    frm->tmrRedraw_Timer();

    choose(kPrecip);
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 3, 2));
    EXPECT_EQ(frm->status_line->text->text(), "lon -1.5  lat 0.5   column 3, row 2   10 cm");
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 5, 2));
    EXPECT_EQ(frm->status_line->text->text(), "lon 0.5  lat 0.5   column 5, row 2   water");
    frm->cmdMnUp->click();  // the value follows the month without a move
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 3, 2));
    EXPECT_EQ(frm->status_line->text->text(), "lon -1.5  lat 0.5   column 3, row 2   1010 cm");
}

TEST(ViewerStart, TheWindowOpensWithinTheScreensAvailableSpace) {
    for (const QSize available : {QSize(1067, 667), QSize(300, 200)}) {
        FreshViewer v(1u);
        // As the program does: before showing, and again once the frame is known.
        v.w->fit_to_screen(available);
        v.w->show();
        QCoreApplication::processEvents();
        v.w->fit_to_screen(available);
        QCoreApplication::processEvents();
        const QSize outer = v.w->frameGeometry().size();
        // 1600 x 1000 pixels at 150 %, then a screen below the minimum.
        const QSize expected = available.width() > 500 ? QSize(889, 667) : QSize(468, 427);
        EXPECT_EQ(outer, expected) << available.width();
        EXPECT_EQ(v.w->lstMaps->height(), qRound(outer.height() / 2.5));
    }
}

// A model of 120 x 60 cells of 3 degrees, fine enough to zoom in a picture
// of 864 x 432 pixels (7.2 a cell; at most 16).
struct FineModel {
    FineModel() : model("viewer_fine") {
        model.write_text("Parms/Output_List.vrl", output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n");
        const veldra::files::GridInfo grid{.cellCount = 3, .xDimension = 120, .yDimension = 60, .lowerX = -180,
                                    .lowerY = -90, .upperX = 180, .upperY = 90, .cellSize = 3.0f,
                                    .firstYear = 2000, .lastYear = 2000};
        const std::vector<veldra::files::RangeCell> cells = {{1, 1, 60, 30, 1}, {2, 1, 61, 30, 1}, {3, 1, 10, 10, 1}};
        model.write_text("Output/Rng_Data.vrd", veldra::files::cell_file_text(grid, cells));
        std::vector<std::string> globe;
        for (int r = 1; r <= 60; ++r) globe.emplace_back(120, r >= 20 && r <= 40 ? 'T' : 'F');
        model.write_text("Output/Globe.vrd", veldra::files::globe_file_text(globe));
        model.write_variable("Precip.vrd", 3, 2000, 2000, 1, [](auto, auto m, auto, auto i) {
            return static_cast<float>(m * 100 + i);
        });
        state = load_model(model.root().string());
        window = std::make_unique<FrmMain>(state, ui, exp, 7u);
        window->Form_Load();
        window->show();
        window->tmrRedraw_Timer();
        window->select_item(window->lstMaps, 0);
    }
    veldra::testing::TestModel model;
    ViewerState state;
    RecordingUi ui;
    FrmExport exp{state, ui, model.root().string(), veldra::out::LookupPlaces{}};
    std::unique_ptr<FrmMain> window;
};

void wheel(QWidget* w, QPoint at, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase,
                  false);
    QCoreApplication::sendEvent(w, &e);
}

TEST(ViewerZoom, TheWheelZoomsAroundThePointerAndEverythingFollows) {
    FineModel f;
    FrmMain& w = *f.window;
    const QPoint p = cell_centre(w, 60, 30, 120, 60);
    const Rgb before = w.picMap->canvas().pixel(p.x(), p.y());
    wheel(w.picMap, p, 2 * 120);
    EXPECT_DOUBLE_EQ(f.state.view.zoom, 1.5625);
    // The same cell stays under the pointer, for the picture and the status line.
    EXPECT_EQ(w.picMap->canvas().pixel(p.x(), p.y()), before);
    QTest::mouseMove(w.picMap, p);
    EXPECT_EQ(w.status_line->text->text(), "lon -1.5  lat 1.5   column 60, row 30   100 cm");
    // A press is still a cell query, of the cell under it; its marker follows further zoom.
    QTest::mousePress(w.picMap, Qt::RightButton, Qt::NoModifier, p);
    EXPECT_TRUE(w.chartMain->isVisible());
    EXPECT_EQ(f.state.picture.marked_cell, 0u);
    wheel(w.picMap, p, 10 * 120);
    EXPECT_DOUBLE_EQ(f.state.view.zoom, max_zoom(grid_rect(f.state.extents), 864, 432));
    EXPECT_EQ(w.picMap->canvas().pixel(p.x(), p.y()), rgb(255, 255, 0));
    ASSERT_TRUE(w.picMap->legend());

    // Shift+wheel and the arrow keys pan; Home shows the whole grid again.
    const double x = f.state.view.centre_x;
    wheel(w.picMap, p, -120, Qt::ShiftModifier);
    EXPECT_GT(f.state.view.centre_x, x);
    const double y = f.state.view.centre_y;
    w.picMap->setFocus();
    QTest::keyClick(w.picMap, Qt::Key_Up);
    EXPECT_GT(f.state.view.centre_y, y);
    QTest::keyClick(w.picMap, Qt::Key_Home);
    EXPECT_EQ(f.state.view, MapView{});
    EXPECT_EQ(f.ui.beeps, 1);  // zooming repaints what was read; it reads and beeps nothing
}

TEST(ViewerZoom, ThePointerReadoutFollowsEveryPanOfTheView) {
    FineModel f;
    FrmMain& w = *f.window;
    const QPoint p = cell_centre(w, 60, 30, 120, 60);
    wheel(w.picMap, p, 6 * 120);  // zoomed in far enough to pan
    QTest::mouseMove(w.picMap, p);
    // What a fresh move to the same place shows, after each kind of pan.
    const auto shown_afresh = [&] {
        const std::string kept = w.status_line->text->text().toStdString();
        QTest::mouseMove(w.picMap, p + QPoint(1, 0));
        QTest::mouseMove(w.picMap, p);
        return std::pair{kept, w.status_line->text->text().toStdString()};
    };
    const std::string before = w.status_line->text->text().toStdString();
    wheel(w.picMap, p, -2 * 120, Qt::ShiftModifier);
    const auto [after_wheel, afresh_wheel] = shown_afresh();
    EXPECT_NE(after_wheel, before);
    EXPECT_EQ(after_wheel, afresh_wheel);
    w.picMap->setFocus();
    QTest::keyClick(w.picMap, Qt::Key_Down);
    const auto [after_key, afresh_key] = shown_afresh();
    EXPECT_NE(after_key, after_wheel);
    EXPECT_EQ(after_key, afresh_key);
}

TEST_F(ViewerTest, SavedMapHasOnePixelSquarePerCellATitleAndTheLegend) {
    ui.save_path = QString::fromStdString((model.root() / "map.png").string());
    frm->act_save_map->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);  // nothing drawn yet
    EXPECT_FALSE(fs::exists(model.root() / "map.png"));

    choose(kBiomass);
    frm->select_item(frm->lstIndex, 1);
    frm->act_save_map->trigger();
    QImage png(ui.save_path);
    ASSERT_FALSE(png.isNull());
    const std::string title = "Biomass (g/m^2), Facet 2, January 2000";
    const SavedMapLayout l = saved_map_layout(state, *state.picture.values, grid_rect(state.extents), title);
    EXPECT_EQ(png.size(), QSize(l.image.width, l.image.height));
    EXPECT_EQ(l.image.map.w, 8 * 16);  // a coarse grid: 16 pixels a cell
    // Each cell a square of 16 pixels, as the window colours it.
    for (const auto& [col, row] : {std::pair{2, 2}, std::pair{6, 3}, std::pair{1, 1}})
        EXPECT_EQ(png.pixel(l.image.map.x + (col - 1) * 16 + 8, l.image.map.y + (row - 1) * 16 + 8), at(col, row));
    // The title is dark text on white, centred over the picture.
    int dark = 0, left_of_centre = 0;
    for (int y = l.image.title.y; y < l.image.title.bottom(); ++y)
        for (int x = 0; x < png.width(); ++x)
            if (qGray(png.pixel(x, y)) < 100) {
                ++dark;
                left_of_centre += x < png.width() / 2;
            }
    EXPECT_GT(dark, 100);
    EXPECT_NEAR(left_of_centre, dark - left_of_centre, dark / 5);
    int land_in_legend = 0;  // the legend's swatch of land
    for (int y = l.image.legend.y; y < l.image.legend.bottom(); ++y)
        for (int x = l.image.legend.x; x < l.image.legend.right(); ++x) land_in_legend += png.pixel(x, y) == kLandColour;
    EXPECT_GE(land_in_legend, 64);
    EXPECT_TRUE(frm->status_line->note().contains("map.png"));
}

TEST_F(ViewerTest, SameColoursForEveryMonthStretchOverTheRun) {
    choose(kPrecip);  // January 2000: 0, 10 and 20
    frm->act_same_colours->trigger();
    ASSERT_TRUE(wait_for([&] { return !frm->run_scale_running(); }));
    ASSERT_TRUE(state.picture.values && state.picture.values->run_scale);
    std::vector<float> run;
    for (int y = kFirstYear; y <= kLastYear; ++y)
        for (int m = 1; m <= 12; ++m)
            for (int i = 0; i < 3; ++i) run.push_back(block_base(y, m) + 10.0f * i);
    const StretchStats expected = stretch_stats(run);
    EXPECT_EQ(state.picture.values->colours.count, 108);
    EXPECT_EQ(state.picture.values->colours.lo, expected.lo);
    EXPECT_EQ(at(2, 2), stretch_colour(0, expected, state.ramps.blue_to_yellow));
    EXPECT_EQ(text(frm->lblCells), "3");  // the labels keep the month's own statistics
    EXPECT_EQ(text(frm->lblMean), "10.00");
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, whole run");
    EXPECT_EQ(frm->status_line->note(), "Same colours over all 36 months of the run");
    frm->cmdMnUp->click();
    EXPECT_EQ(at(2, 2), stretch_colour(1000, expected, state.ramps.blue_to_yellow));

    // Redone for another variable; dropped when unchecked.
    choose(kSingle);
    ASSERT_TRUE(wait_for([&] { return !frm->run_scale_running(); }));
    EXPECT_EQ(state.run_scale.entry, kSingle + 1);
    EXPECT_EQ(state.picture.values->colours.count, 36);
    frm->act_same_colours->trigger();
    EXPECT_FALSE(state.picture.values->run_scale);
    EXPECT_EQ(at(2, 2), kEmptyStretchColour);
}

TEST_F(ViewerTest, ShortcutsClickTheirButtonsAndTheBeepCanBeSilenced) {
    EXPECT_TRUE(frm->cmdMnUp->toolTip().contains("Ctrl+Right"));
    EXPECT_TRUE(frm->cmdEnd->toolTip().contains("Ctrl+Q"));
    choose(kPrecip);
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    frm->txtYear->setFocus();  // a text box does not keep Ctrl+Right for itself
    QTest::keyClick(frm->txtYear, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(frm->txtMonth->text(), "2");
    QTest::keyClick(frm->lstMaps, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(frm->txtYear->text(), "2001");
    QTest::keyClick(frm->txtMonth, Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(frm->txtMonth, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(frm->txtYear->text(), "2000");
    EXPECT_EQ(frm->txtMonth->text(), "1");
    EXPECT_EQ(ui.beeps, 5);
    QTest::keyClick(frm->txtMonth, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(frm->cmdAuto->text(), "Manual");
    QTest::keyClick(frm->txtMonth, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(frm->cmdAuto->text(), "Auto");
    choose(kBiomass);  // Auto is disabled: its shortcut does nothing
    QTest::keyClick(frm->lstMaps, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(frm->cmdAuto->text(), "Auto");

    // Silence, remembered for the next start.
    frm->act_beep->trigger();
    ui.beeps = 0;
    choose(kPrecip);
    EXPECT_EQ(ui.beeps, 0);
    FreshViewer next(1u);
    EXPECT_FALSE(next.w->act_beep->isChecked());
    EXPECT_FALSE(next.s.beep_on_redraw);
    frm->act_beep->trigger();
    EXPECT_TRUE(QSettings("veldra", "Veldra_GUI").value("beep_on_redraw").toBool());
}

TEST_F(ViewerTest, TheChartMarksTheMonthAndSavesAndCopiesItsSeries) {
    model.write_climate();
    choose(kPrecip);
    press(*frm, 3, 2);
    ChartMain& chart = *frm->chartMain;
    EXPECT_EQ(chart.current_row(), 1);
    frm->cmdMnUp->click();
    frm->cmdYrUp->click();
    EXPECT_EQ(chart.current_row(), 14);
    ASSERT_EQ(chart.month_line()->count(), 2);
    EXPECT_EQ(chart.month_line()->at(0).x(), 14);
    EXPECT_EQ(chart.tooltip_at(1, 14.2), "Precip: 13010 cm\nFebruary 2001 (month 14 of the run)");
    ASSERT_EQ(chart.context_menu()->actions().size(), 3);
    EXPECT_EQ(chart.context_menu()->actions()[0]->text(), "Save series as CSV...");

    ui.save_path = QString::fromStdString((model.root() / "series.csv").string());
    chart.save_csv_action->trigger();
    const std::string csv = veldra::testing::read_file(model.root() / "series.csv");
    const std::string head = "year,month,\"Precip, layer 1, cell 2 at -1.5, 0.5\",Precipitation (cm),"
                             "Max. temperature (C),Min. temperature (C)\r\n"
                             "2000,1,10,10,11,11\r\n2000,2,1010,1010,11,11\r\n";
    EXPECT_EQ(csv.substr(0, head.size()), head);
    chart.copy_action->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), csv);
    ui.save_path = QString::fromStdString((model.root() / "chart.png").string());
    chart.save_png_action->trigger();
    EXPECT_EQ(QImage(ui.save_path).size(), chart.size());
}

TEST_F(ViewerTest, TheChartsTooltipShowsOnAPlainHoverAndStaysWhileThePointerRests) {
    model.write_climate();
    choose(kBiomass);
    frm->select_item(frm->lstIndex, 0);
    press(*frm, 3, 2);
    ChartMain& chart = *frm->chartMain;
    QToolTip::hideText();
    // No button held: the viewport follows the pointer on its own.
    const QPointF at = chart.chart()->mapToPosition(QPointF(14, 113010), chart.series(1));
    const QPoint p = chart.mapFromScene(chart.chart()->mapToScene(at));
    QTest::mouseMove(chart.viewport(), p);
    const std::string tip = "Biomass: 113010 g/m^2\nFebruary 2001 (month 14 of the run)";
    EXPECT_EQ(QToolTip::text().toStdString(), tip);
    // The event the window system sends once the pointer rests there.
    QHelpEvent rest(QEvent::ToolTip, p, chart.viewport()->mapToGlobal(p));
    QCoreApplication::sendEvent(chart.viewport(), &rest);
    QTest::qWait(500);  // a tooltip that is hidden goes after 300 ms
    EXPECT_EQ(QToolTip::text().toStdString(), tip);
    EXPECT_TRUE(chart.viewport()->hasMouseTracking());
}

TEST_F(ViewerTest, AnimationFramesOnePerMonthInTimeOrder) {
    choose(kPrecip);
    const fs::path frames = model.root() / "frames";
    fs::create_directories(frames);
    ui.picked_folder = QString::fromStdString(frames.string());
    ui.frame_span = FrameSpan{2000, 11, 2001, 2};
    frm->act_save_frames->trigger();
    ASSERT_TRUE(wait_for([&] { return !frm->frames_running(); }));
    const std::vector<std::string> names = names_in(frames);
    EXPECT_EQ(names, (std::vector<std::string>{"Precip_0001_2000_11.png", "Precip_0002_2000_12.png",
                                               "Precip_0003_2001_01.png", "Precip_0004_2001_02.png"}));
    const QImage first(QString::fromStdString((frames / names[0]).string()));
    EXPECT_EQ(first.size(), QImage(QString::fromStdString((frames / names[3]).string())).size());
    EXPECT_GE(first.width(), 8 * 16);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(frm->status_line->note().startsWith("Wrote 4 of 4 frames"));

    // A folder that cannot take them: the first failure stops the frames and is named.
    ui.picked_folder = QString::fromStdString((model.root() / "missing").string());
    frm->act_save_frames->trigger();
    ASSERT_TRUE(wait_for([&] { return !frm->frames_running(); }));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].contains("missing/Precip_0001_2000_11.png: cannot be written")) << ui.messages[0].toStdString();
    EXPECT_FALSE(fs::exists(model.root() / "missing"));
}

// While alive, files of this process hold at most `bytes` bytes: a write
// beyond fails (EFBIG), for root as well.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit old_{};
    void (*old_handler_)(int) = nullptr;
};

TEST_F(ViewerTest, ASaveThatFailsKeepsTheOldFileAndLeavesNoOther) {
    choose(kPrecip);
    press(*frm, 3, 2);
    const fs::path folder = model.root() / "saved";
    fs::create_directories(folder);
    const std::string old = "the file as it was";
    const std::pair<const char*, QAction*> saves[] = {{"map.png", frm->act_save_map},
                                                     {"chart.png", frm->chartMain->save_png_action},
                                                     {"series.csv", frm->chartMain->save_csv_action}};
    for (const auto& [name, action] : saves) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << old;
        const QString note = frm->status_line->note();
        ui.messages.clear();
        ui.save_path = QString::fromStdString(path.string());
        {
            const FileSizeLimit limit(old.size() + 1);
            action->trigger();
        }
        ASSERT_EQ(ui.messages.size(), 1u) << name;
        EXPECT_TRUE(ui.messages[0].startsWith(ui.save_path + ": cannot be written: write failed: "))
            << ui.messages[0].toStdString();
        EXPECT_EQ(veldra::testing::read_file(path), old) << name;
        EXPECT_EQ(frm->status_line->note(), note) << name;

        // Into a folder that does not exist: it is not made either.
        ui.save_path = QString::fromStdString((folder / "missing" / name).string());
        action->trigger();
        ASSERT_EQ(ui.messages.size(), 2u) << name;
        EXPECT_TRUE(ui.messages[1].startsWith(ui.save_path + ": cannot be written: ")) << ui.messages[1].toStdString();
    }
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"chart.png", "map.png", "series.csv"}));
}

TEST_F(StartupTest, StartChoicesAreAppliedAsClicksWouldBe) {
    const std::string root = model.root().string();
    const FrmMain& w =
        open_started({"--select", "Biomass", "--layer", "2", "--year", "2001", "--month", "3", "--ramp", "red STRETCHED"});
    EXPECT_EQ(w.lstIndex->currentRow(), 1);
    EXPECT_EQ(w.txtYear->text(), "2001");
    EXPECT_EQ(w.txtMonth->text(), "3");
    EXPECT_EQ(w.lstClr->selectedItems().front()->text(), "Red stretched");
    EXPECT_EQ(w.lblMean->text(), "214010.00");  // layer 2, March 2001
    EXPECT_TRUE(ui.messages.empty());

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--layer", "2"}, {"--select", "Precip", "--layer", "2"}, {"--month", "13"},
          {"--year", "1999"}, {"--ramp", "Purple"}, {"--zoom", "0.5"}, {"--year", "20x1"}}) {
        std::vector<std::string> args{"--model", root};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(start_viewer(args).exit_status, 2) << bad[0];
    }
}
}  // namespace

int main(int argc, char** argv) {
    // The windows never need a display, not even when the test list is read.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Options the viewer remembers go to a folder of the tests' own.
    const fs::path settings = fs::temp_directory_path() / ("veldra_gui_settings_" + std::to_string(::getpid()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settings.string()));
    struct Cleanup {
        fs::path dir;
        ~Cleanup() { fs::remove_all(dir); }
    } cleanup{settings};
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
