// The viewer's windows on small model folders written for the tests: a
// model of three cells with listed variables, the message boxes and
// dialogs recorded instead of shown, and the main window ready offscreen.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QLabel>
#include <QPoint>
#include <QTest>
#include <QListWidget>
#include <QString>

#include "output_list_line.h"
#include "test_model.h"
#include "viewer/frm_export.h"
#include "viewer/frm_main.h"
#include "viewer/pic_map.h"
#include "viewer/startup.h"
#include "viewer/ui_services.h"

namespace veldra::gui_testing {

namespace fs = std::filesystem;
using namespace veldra::viewer;

using veldra::testing::output_list_line;
using veldra::testing::TestModel;

// Message boxes, beeps and the folder browser, recorded instead of shown.
class RecordingUi : public UiServices {
public:
    std::vector<QString> messages;
    int beeps = 0;
    std::function<void()> on_beep;

    void message(const QString& text) override { messages.push_back(text); }
    void beep() override {
        ++beeps;
        if (on_beep) on_beep();
    }
    QString picked_folder;  // what the folder browser returns; empty: cancelled
    QString browse_folder(const QString&) override { return picked_folder; }
    QString save_path;  // what the save dialog returns; empty: cancelled
    QString suggested_path;  // where the save dialog was last asked to start
    QString save_file(const QString&, const QString& suggested, const QString&) override {
        suggested_path = suggested;
        return save_path;
    }
    std::optional<FrameSpan> frame_span;  // what the span picker returns
    QString frame_span_title;             // the title it was shown under
    std::optional<FrameSpan> pick_frame_span(const QString& title, const FrameSpan&, int, int) override {
        frame_span_title = title;
        return frame_span;
    }
};

constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2002;

// The month's offset from the start of the run, which the values carry so
// that the mean on display tells which block was drawn.
inline float block_base(int year, int month) { return static_cast<float>(((year - kFirstYear) * 12 + month - 1) * 1000); }

// A model of 8 x 4 one-degree cells around (0, 0) with three rangeland
// cells, at (column, row) (2, 2), (3, 2) and (6, 3), and six listed
// variables, the last on line 127 of the output list, the limit.
class ModelDir {
public:
    static constexpr std::array<std::array<int, 2>, 3> kCells{{{2, 2}, {3, 2}, {6, 3}}};

    ModelDir() : model_("viewer_gui_" + std::to_string(counter_++)) {
        std::ostringstream list;
        list << "Veldra output variables (1 = written each month, 0 = not written)\r\n";
        list << output_list_line("O", "File name", "L", "Label", "Units") << "\r\n";
        list << output_list_line("1", "Precip", "1", "Layer", "cm") << "\r\n";
        list << output_list_line("0", "Inactive", "1", "Layer", "cm") << "\r\n";
        list << " " << output_list_line("1", "Indented", "1", "Layer", "cm").substr(0, 76) << "\r\n";
        list << output_list_line("1", "Biomass", "3", "Facet", "g/m^2") << "\r\n";
        list << output_list_line("1", "Broken", "1", "Layer", "cm") << "\r\n";
        list << output_list_line("1", "Single", "1", "Layer", "mm") << "\r\n";
        list << output_list_line("1", "NoLayers", " ", "Layer", "cm") << "\r\n";
        for (int line = 10; line <= 126; ++line) list << output_list_line("0", "Filler", "1", "Layer", "cm") << "\r\n";
        list << output_list_line("1", "Last", "1", "Layer", "cm") << "\r\n";  // line 127
        list << output_list_line("1", "Late", "1", "Layer", "cm") << "\r\n";  // line 128
        write("Parms/Output_List.vrl", list.str());

        const files::GridInfo grid{.cellCount = 3, .xDimension = 8, .yDimension = 4, .lowerX = -4, .lowerY = -2,
                                    .upperX = 4, .upperY = 2, .cellSize = 1.0f, .firstYear = kFirstYear,
                                    .lastYear = kLastYear};
        std::vector<veldra::files::RangeCell> cells;
        for (const auto& c : kCells) cells.push_back({static_cast<std::int32_t>(cells.size()) + 1, 1, c[0], c[1], 1});
        write("Output/Rng_Data.vrd", files::cell_file_text(grid, cells));

        const std::vector<std::string> globe = {"FFFFFFFF", "FTTTFFFF", "FFFTTTTF", "FFFFFFFF"};
        write("Output/Globe.vrd", files::globe_file_text(globe));

        write_variable("Precip", 1, [](int y, int m, int, int i) { return block_base(y, m) + 10.0f * i; });
        write_variable("Biomass", 3,
                       [](int y, int m, int l, int i) { return 100000.0f * l + block_base(y, m) + 10.0f * i; });
        // Its blocks for February, March and April 2000 (records 7, 13 and 19
        // on) do not match their place: count 5, year 1999, month 7.
        write_variable("Broken", 1, [](int y, int m, int, int i) { return block_base(y, m) + 10.0f * i; });
        fs::create_directories(program() / "Projection_Layers");
        model_.set_record("Broken.vrd", 7, 5);
        model_.set_record("Broken.vrd", 14, 1999);
        model_.set_record("Broken.vrd", 21, 7);
        // One valid value; the others lie beyond both ends of the valid range.
        write_variable("Single", 1, [](int, int, int, int i) { return std::array<float, 3>{5.0f, 2e12f, -2e13f}[i]; });
    }

    const fs::path& root() const { return model_.root(); }
    // The viewer's own folder: Last_Export_Dir.txt and Projection_Layers/.
    fs::path program() const { return model_.root() / "program"; }
    // The two temperature files of the climate, one layer: 1 + 10 x cell.
    void write_climate() const {
        for (const char* name : {"max_temp", "min_temp"})
            write_variable(name, 1, [](int, int, int, int i) { return 1.0f + 10.0f * i; });
    }
    void write(const std::string& relative, const std::string& content) const { model_.write_text(relative, content); }

    using Value = std::function<float(int year, int month, int layer, int cell)>;
    // Writes the variable file `name` again with other values.
    void rewrite(const std::string& name, int layers, const Value& value) const { write_variable(name, layers, value); }

private:
    void write_variable(const std::string& name, int layers, const Value& value) const {
        model_.write_variable(name + ".vrd", static_cast<int>(kCells.size()), kFirstYear, kLastYear, layers,
                              [&](auto y, auto m, auto l, auto i) { return value(y, m, l, i); });
    }

    static inline int counter_ = 0;
    TestModel model_;
};

inline QString text(QLabel* l) { return l->text(); }

inline std::vector<QString> items(const QListWidget* list) {
    std::vector<QString> out;
    for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text());
    return out;
}

// The main window on a test model, shown offscreen, after the deferred
// redraw that showing it arms has run (the map is then blank).
// A second viewer on its own model folder, straight after start-up: loaded
// and Form_Load run, not yet shown.
struct FreshViewer {
    explicit FreshViewer(std::uint32_t seed) {
        s = load_model(m.root().string());
        w = std::make_unique<FrmMain>(s, recorder, exp, seed);
        w->Form_Load();
    }
    ModelDir m;
    ViewerState s;
    RecordingUi recorder;
    FrmExport exp{s, recorder, m.program().string(), out::LookupPlaces{}};
    std::unique_ptr<FrmMain> w;
};

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        state = load_model(model.root().string());
        frm_export = std::make_unique<FrmExport>(
            state, ui, model.program().string(), out::LookupPlaces{{(model.program() / "Projection_Layers").string()}, "", {}});
        frm = std::make_unique<FrmMain>(state, ui, *frm_export, 12345u);
        frm->Form_Load();
        frm->show();
        frm->tmrRedraw_Timer();
        ui.beeps = 0;
    }

    // The colour shown at the centre of the square of a grid position
    // (column from 1 at the west, row from 1 at the north).
    Rgb at(int col, int row) const {
        const MapCanvas& c = frm->picMap->canvas();
        const int px = static_cast<int>((col - 0.5) / 8.0 * c.width());
        const int py = static_cast<int>((row - 0.5) / 4.0 * c.height());
        return c.pixel(px, py);
    }
    std::vector<std::uint32_t> pixels() const {
        const MapCanvas& c = frm->picMap->canvas();
        return std::vector<std::uint32_t>(c.data(), c.data() + static_cast<std::size_t>(c.width()) * c.height());
    }
    bool blank() const {
        for (std::uint32_t p : pixels())
            if (p != MapCanvas::kBackground) return false;
        return true;
    }
    void choose(int entry_row) { frm->select_item(frm->lstMaps, entry_row); }

    ModelDir model;
    ViewerState state;
    RecordingUi ui;
    std::unique_ptr<FrmExport> frm_export;
    std::unique_ptr<FrmMain> frm;
};

constexpr int kPrecip = 0, kBiomass = 1, kBroken = 2, kSingle = 3, kNoLayers = 4;

// The names of the files in `folder`, sorted.
inline std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs pending events until `done` or `ms` milliseconds have passed.
template <typename Done>
bool wait_for(Done done, int ms = 2000) {
    for (int i = 0; i < ms / 10 && !done(); ++i) QTest::qWait(10);
    return done();
}

// The centre of the square of a grid position on the map, in its pixels.
inline QPoint cell_centre(const FrmMain& w, int col, int row, int cols = 8, int rows = 4) {
    return QPoint(static_cast<int>((col - 0.5) / cols * w.picMap->width()),
                  static_cast<int>((row - 0.5) / rows * w.picMap->height()));
}

class StartupTest : public ::testing::Test {
protected:
    fs::path write_settings(const std::string& content) {
        const fs::path p = model.root() / "Veldra.ini";
        model.write("Veldra.ini", content);
        return p;
    }
    // The viewer started with `args` after "--model <the model>", its window
    // shown and drawn once, then the choices of the command line applied.
    FrmMain& open_started(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--model", model.root().string()};
        all.insert(all.end(), args.begin(), args.end());
        started = start_viewer(all);
        EXPECT_TRUE(started.run) << started.err;
        started_export = std::make_unique<FrmExport>(started.state, ui, model.program().string(), out::LookupPlaces{});
        started_window = std::make_unique<FrmMain>(started.state, ui, *started_export, 1u);
        started_window->Form_Load();
        started_window->show();
        started_window->tmrRedraw_Timer();
        apply_start_choices(started, *started_window);
        return *started_window;
    }
    ModelDir model;
    RecordingUi ui;
    StartupResult started;
    std::unique_ptr<FrmExport> started_export;
    std::unique_ptr<FrmMain> started_window;
};

}  // namespace veldra::gui_testing
