// The Map menu's options as a user reaches them (keys, clicks, the command
// line): captions that fit, the colour scale, perceptual maps, the
// difference view and videos through ffmpeg, checked by texts and pixels.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

#include <cstdlib>
#include <fstream>

#include "viewer/core/perceptual_ramps.h"
#include "viewer/map_options_ui.h"
#include "viewer/startup.h"
#include "viewer/status_line.h"
#include "viewer/video_saver.h"
#include "viewer_gui_fixture.h"

namespace {

using namespace veldra::gui_testing;

// The room a control leaves for its caption, as its style lays it out.
int text_room(const QWidget& w) {
    if (const auto* l = qobject_cast<const QLabel*>(&w)) return l->contentsRect().width() - 2 * l->margin();
    if (const auto* b = qobject_cast<const QAbstractButton*>(&w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        QStyle::SubElement e = qobject_cast<const QRadioButton*>(b)  ? QStyle::SE_RadioButtonContents
                               : qobject_cast<const QCheckBox*>(b) ? QStyle::SE_CheckBoxContents
                                                                    : QStyle::SE_PushButtonContents;
        return b->style()->subElementRect(e, &opt, b).width();
    }
    if (const auto* spin = qobject_cast<const QSpinBox*>(&w)) return spin->findChild<QLineEdit*>()->width();
    if (const auto* list = qobject_cast<const QListWidget*>(&w))
        return list->viewport()->width() - list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    return w.width();
}

// A key pressed in the main window, as its shortcuts take it.
void press(FrmMain& w, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.lstMaps, key, modifiers);
}

// Every caption of `window` that does not fit, e.g. «Label1 "Destination folder:" 102 > 89», or that
// a neighbour covers, e.g. «Label1 under txtOutFolder».
std::vector<std::string> cut_captions(QWidget& window) {
    std::vector<std::string> cut;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || qobject_cast<QToolButton*>(w)) continue;
        QStringList captions;
        if (const auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap()) captions << l->text();
        else if (const auto* b = qobject_cast<QAbstractButton*>(w)) captions << b->text();
        else if (const auto* spin = qobject_cast<QSpinBox*>(w)) captions << spin->text();
        else if (const auto* list = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < list->count(); ++i) captions << list->item(i)->text();
        const QFontMetrics fm(w->font());
        // A sibling over the caption hides it as well (a label's text runs from its left edge).
        QRect shown = w->geometry();
        if (qobject_cast<QLabel*>(w) && !captions.isEmpty())
            shown.setWidth(std::min(shown.width(), fm.horizontalAdvance(captions.front()) + w->width() - text_room(*w)));
        if (!captions.isEmpty() && w->parentWidget())
            for (const QWidget* s : w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (s != w && s->isVisibleTo(&window) && s->geometry().intersects(shown))
                    cut.push_back(w->objectName().toStdString() + " under " + s->objectName().toStdString());
        for (const QString& c : captions)
            if (fm.horizontalAdvance(c) > text_room(*w))
                cut.push_back(w->objectName().toStdString() + " \"" + c.toStdString() + "\" " +
                              std::to_string(fm.horizontalAdvance(c)) + " > " + std::to_string(text_room(*w)));
    }
    return cut;
}

// Both windows, at the scale factor the test runs under (QT_SCALE_FACTOR).
TEST_F(ViewerTest, EveryCaptionOfBothWindowsFitsItsControl) {
    choose(kBiomass);  // the layer list filled too
    frm_export->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(cut_captions(*frm), std::vector<std::string>{});
    EXPECT_EQ(cut_captions(*frm_export), std::vector<std::string>{});
    frm->open_colour_scale();
    frm->open_difference();
    EXPECT_EQ(cut_captions(*frm->map_options().scale_dialog), std::vector<std::string>{});
    EXPECT_EQ(cut_captions(*frm->map_options().difference_dialog), std::vector<std::string>{});
}

TEST_F(ViewerTest, TheColourScaleDialogFixesTheEndsAndTheMapLegendAndReadoutFollow) {
    choose(kPrecip);  // January 2000: 0, 10 and 20 cm
    press(*frm, Qt::Key_K, Qt::ControlModifier);
    ColourScaleDialog& d = *frm->map_options().scale_dialog;
    ASSERT_TRUE(d.isVisible());
    EXPECT_TRUE(d.optStretched->isChecked());
    EXPECT_FALSE(d.txtLow->isEnabled());

    d.cmdFromMonth->click();  // mean 10, standard deviation 10
    EXPECT_TRUE(d.optFixed->isChecked());
    EXPECT_EQ(d.txtLow->text(), "-10");
    EXPECT_EQ(d.txtHigh->text(), "30");
    EXPECT_EQ(d.lblNote->text(), "The stretch of the month on display.");

    // Refused ends say why and leave the map as it was.
    d.chkLog->setChecked(true);
    d.cmdApply->click();
    EXPECT_EQ(d.lblNote->text(), "A logarithmic scale needs a low end above 0.");
    EXPECT_FALSE(state.picture.values->fixed_scale);

    // 1 to 100 on a log scale: 10 cm in the middle, entry 127; 0 cm at the low end.
    d.txtLow->setText("1");
    d.txtHigh->setText("100");
    d.cmdOk->click();
    EXPECT_FALSE(d.isVisible());
    const ColourRamp& ramp = state.ramps.blue_to_yellow;
    EXPECT_EQ(at(3, 2), ramp[127]);
    EXPECT_EQ(at(2, 2), ramp[0]);
    EXPECT_EQ(frm->picMap->legend()->caption, "cm, fixed scale, log scale");
    frm->cmdMnUp->click();  // February: 1000 cm and more, beyond the high end
    EXPECT_EQ(at(3, 2), ramp[255]);
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 5, 2));  // a move from elsewhere
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 3, 2));
    EXPECT_EQ(frm->status_line->text->text(), "lon -1.5  lat 0.5   column 3, row 2   1010 cm (above the scale)");

    // A perceptual map by its key, and back to the list's ramp.
    // (The offscreen platform maps no digit keys to shortcuts: the menu's items are triggered.)
    EXPECT_EQ(frm->act_colour_maps[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));
    frm->act_colour_maps[1]->trigger();
    EXPECT_EQ(state.picture.values->ramp, kFirstPerceptualRamp);
    EXPECT_EQ(at(3, 2), perceptual_ramp(kFirstPerceptualRamp)[255]);
    frm->act_colour_maps[0]->trigger();
    EXPECT_EQ(at(3, 2), ramp[255]);

    // The stretch again: the month's own.
    frm->open_colour_scale();
    d.optStretched->setChecked(true);
    d.cmdOk->click();
    EXPECT_FALSE(state.picture.values->fixed_scale);
    EXPECT_EQ(frm->picMap->legend()->caption, "cm");
}

TEST_F(ViewerTest, TheDifferenceViewShowsTheChangeAndBothValues) {
    choose(kPrecip);
    frm->txtYear->setText("2001");
    frm->txtMonth->setText("3");  // March 2001: 14000, 14010, 14020
    press(*frm, Qt::Key_D, Qt::ControlModifier);
    DifferenceDialog& d = *frm->map_options().difference_dialog;
    ASSERT_TRUE(d.isVisible());
    EXPECT_EQ(d.spnYear->value(), 2000);  // a year earlier, the month shown
    EXPECT_EQ(d.cboMonth->currentText(), "The month shown");
    d.cmdShow->click();

    // Every cell 12000 cm more than in March 2000: the red end of a scale centred on zero.
    EXPECT_EQ(state.display_values, (std::vector<float>{12000, 12000, 12000}));
    EXPECT_EQ(at(3, 2), perceptual_ramp(kBlueWhiteRedRamp)[255]);
    EXPECT_EQ(frm->picMap->legend()->caption, "cm minus March 2000");
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 5, 2));  // a move from elsewhere
    QTest::mouseMove(frm->picMap, cell_centre(*frm, 3, 2));
    EXPECT_EQ(frm->status_line->text->text(),
              "lon -1.5  lat 0.5   column 3, row 2   14010 cm, March 2000 2010 cm, difference 12000 cm");
    frm->cmdMnUp->click();  // the month follows: April minus April
    EXPECT_EQ(frm->picMap->legend()->caption, "cm minus April 2000");

    // Another month, named by year and month: April 2001 minus February 2001.
    frm->set_difference(DifferenceTo{2001, 2});
    EXPECT_EQ(state.display_values, (std::vector<float>{2000, 2000, 2000}));

    frm->open_difference();
    d.cmdOff->click();
    EXPECT_EQ(frm->picMap->legend()->caption, "cm");
    EXPECT_EQ(state.display_values, (std::vector<float>{15000, 15010, 15020}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StartupTest, TheMapsOptionsFromTheCommandLine) {
    const std::string root = model.root().string();
    const FrmMain& w = open_started({"--select", "Precip", "--scale", "-500,100", "--colour-map", "VIRIDIS",
                                     "--difference=2000"});
    const MapOptions& o = started.state.options;
    // With a difference, --scale gives the ends of the difference's own scale.
    EXPECT_FALSE(o.scale.fixed);
    EXPECT_TRUE(o.difference_scale.fixed && !o.difference_scale.logarithmic);
    EXPECT_EQ(o.difference_scale.lo, -500);
    EXPECT_EQ(o.difference_scale.hi, 100);
    EXPECT_EQ(o.colour_map, kFirstPerceptualRamp);
    EXPECT_TRUE(w.act_colour_maps[1]->isChecked());
    EXPECT_EQ(o.difference, (DifferenceTo{2000, 0}));
    EXPECT_EQ(w.picMap->legend()->caption, "cm, fixed scale minus January 2000");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--log-scale"}, {"--scale", "1"}, {"--scale", "0,5", "--log-scale"},
          {"--colour-map", "Jet"}, {"--difference", "2000-13"}, {"--difference", "1999"},
          {"--log-scale", "--scale", "1,5", "--difference", "2000"}}) {
        std::vector<std::string> args{"--model", root};
        args.insert(args.end(), bad.begin(), bad.end());
        const StartupResult refused = start_viewer(args);
        EXPECT_EQ(refused.exit_status, 2) << bad[0];
        EXPECT_TRUE(refused.err.starts_with("Veldra_GUI: " + bad[0])) << refused.err;
    }
}

std::string file_start(const fs::path& p, std::size_t n) {
    std::ifstream in(p, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), static_cast<std::streamsize>(n));
    s.resize(static_cast<std::size_t>(in.gcount()));
    return s;
}

TEST_F(ViewerTest, VideosOfTheSpanThroughFfmpeg) {
    if (find_ffmpeg().isEmpty()) GTEST_SKIP() << "no ffmpeg on the PATH";
    choose(kPrecip);
    const fs::path folder = model.root() / "videos";
    fs::create_directories(folder);
    ui.frame_span = FrameSpan{2000, 11, 2001, 2};
    const auto save = [&](const std::string& name) {
        ui.save_path = QString::fromStdString((folder / name).string());
        press(*frm, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        return wait_for([&] { return !frm->video_running(); }, 60000);
    };
    ASSERT_TRUE(save("precip.gif"));
    EXPECT_EQ(ui.frame_span_title, "Save animation as video");
    EXPECT_EQ(file_start(folder / "precip.gif", 6), "GIF89a");
    EXPECT_EQ(frm->status_line->note(),
              QString::fromStdString("Saved a video of 4 of 4 months as " + (folder / "precip.gif").string()));
    ASSERT_TRUE(save("precip"));  // no known ending: an MP4
    EXPECT_EQ(file_start(folder / "precip.mp4", 8).substr(4), "ftyp");
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"precip.gif", "precip.mp4"}));
    EXPECT_TRUE(ui.messages.empty());

    // Cancelled at once: the older video of the name stays, nothing else is left.
    const auto size = fs::file_size(folder / "precip.gif");
    ui.save_path = QString::fromStdString((folder / "precip.gif").string());
    frm->act_save_video->trigger();
    frm->cancel_video();
    EXPECT_FALSE(frm->video_running());
    EXPECT_EQ(fs::file_size(folder / "precip.gif"), size);
    EXPECT_EQ(names_in(folder), (std::vector<std::string>{"precip.gif", "precip.mp4"}));
}

TEST_F(ViewerTest, AVideoWithoutFfmpegSaysWhatToInstall) {
    choose(kPrecip);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(model.root().string()));
    ui.save_path = QString::fromStdString((model.root() / "v.mp4").string());
    frm->act_save_video->trigger();
    qputenv("PATH", path);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Saving a video needs the program ffmpeg, which was not found on the PATH. "
                              "Install it (on Debian: apt install ffmpeg) and save the video again.");
    EXPECT_FALSE(frm->video_running());
    EXPECT_FALSE(fs::exists(model.root() / "v.mp4"));
}

}  // namespace
