// The main window beyond its design: the status line with its menu, the
// legend and the hint over the map, the value under the pointer, zoom and
// pan, saving the map, its animation frames and the chart, the same colours
// for every month, the shortcuts and the option of the beep. The rules are
// viewer_core's; these handlers apply them.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include "viewer/core/chart_text.h"
#include "viewer/core/display_block.h"
#include "export/export_settings.h"
#include "viewer/core/legend.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/map_image.h"
#include "modelfiles/number_text.h"
#include "viewer/core/pointer_readout.h"
#include "viewer/frm_main.h"
#include "viewer/map_image_painter.h"
#include "viewer/pic_map.h"
#include "viewer/run_scale_job.h"
#include "viewer/saving.h"
#include "viewer/status_line.h"
#include "viewer/ui_services.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

// The option of the beep is remembered between runs.
constexpr const char* kBeepKey = "beep_on_redraw";
QSettings viewer_settings() { return QSettings("veldra", "Veldra_GUI"); }

// A text box would take Ctrl+Left, Ctrl+Right or Ctrl+E for itself (moving
// its cursor); the window's shortcuts come first everywhere.
class WindowKeysFirst : public QObject {
public:
    WindowKeysFirst(QObject* parent, std::vector<QKeySequence> keys) : QObject(parent), keys_(std::move(keys)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QKeySequence& k : keys_)
            if (k == pressed) {
                event->ignore();
                return true;
            }
        return false;
    }

private:
    std::vector<QKeySequence> keys_;
};

QString two_digits(int v) { return QString::number(v).rightJustified(2, '0'); }

std::string selected_ramp_name(const QListWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? std::string() : items.front()->text().toStdString();
}

// A job's place in the status line goes once the event in hand is over: its
// own Cancel button may be what ended it.
void drop_task(StatusTask*& task) {
    if (!task) return;
    task->hide();
    task->deleteLater();
    task = nullptr;
}

}  // namespace


FrmMain::~FrmMain() = default;

void FrmMain::build_tools() {
    // The three lists say what they are for.
    lstMaps->setToolTip("Variables of the model: choose one to draw it");
    lstIndex->setToolTip("Layers of the chosen variable: choose one to draw it");
    lstClr->setToolTip("Colour ramp of the map");
    cmdMnUp->setToolTip("Next month (Ctrl+Right)");
    cmdMnDown->setToolTip("Previous month (Ctrl+Left)");
    cmdYrUp->setToolTip("Next year (Ctrl+Up)");
    cmdYrDown->setToolTip("Previous year (Ctrl+Down)");
    cmdAuto->setToolTip("Step a month every half second, or stop (Ctrl+Space)");
    cmdExport->setToolTip("Export the variable on display to grids (Ctrl+E)");
    cmdEnd->setToolTip("End the program (Ctrl+Q)");
    picMap->setToolTip(QString());

    status_line = new StatusLine(this);
    status_line->raise();
    QMenu* menu = status_line->menu;
    act_save_map = menu->addAction("Save map as PNG...");
    act_save_map->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    act_save_map->setShortcutContext(Qt::WindowShortcut);
    act_save_frames = menu->addAction("Save animation frames...");
    menu->addSeparator();
    act_same_colours = menu->addAction("Same colours for every month");
    act_same_colours->setCheckable(true);
    act_beep = menu->addAction("Beep at every redraw");
    act_beep->setCheckable(true);
    act_beep->setChecked(true);
    menu->addSeparator();
    // The keys work while the map has the focus; the menu only names them.
    act_zoom_in = menu->addAction("Zoom in\tWheel, +");
    act_zoom_out = menu->addAction("Zoom out\tWheel, -");
    act_whole_map = menu->addAction("Whole map\tHome");
    // The save shortcut works wherever the focus is in the window.
    addAction(act_save_map);

    connect(act_save_map, &QAction::triggered, this, &FrmMain::save_map_png);
    connect(act_save_frames, &QAction::triggered, this, &FrmMain::save_frames);
    connect(act_same_colours, &QAction::toggled, this, &FrmMain::set_same_colours);
    connect(act_beep, &QAction::toggled, this, &FrmMain::set_beep_on_redraw);
    connect(act_zoom_in, &QAction::triggered, this, [this] { zoom_by(2); });
    connect(act_zoom_out, &QAction::triggered, this, [this] { zoom_by(0.5); });
    connect(act_whole_map, &QAction::triggered, this, &FrmMain::show_whole_map);

    // Each shortcut does what its button does: a click, which a disabled
    // button ignores.
    add_shortcut(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { cmdMnUp->click(); });
    add_shortcut(QKeySequence(Qt::CTRL | Qt::Key_Left), [this] { cmdMnDown->click(); });
    add_shortcut(QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { cmdYrUp->click(); });
    add_shortcut(QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { cmdYrDown->click(); });
    add_shortcut(QKeySequence(Qt::CTRL | Qt::Key_Space), [this] { cmdAuto->click(); });
    add_shortcut(QKeySequence(Qt::CTRL | Qt::Key_E), [this] { cmdExport->click(); });
    add_shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { cmdEnd->click(); });
    std::vector<QKeySequence> keys;
    for (QShortcut* sc : shortcuts) keys.push_back(sc->key());
    keys.push_back(act_save_map->shortcut());
    auto* filter = new WindowKeysFirst(this, keys);
    const QList<QWidget*> focusable = {txtYear, txtMonth, lstMaps, lstIndex, lstClr, picMap, chartMain};
    for (QWidget* w : focusable) w->installEventFilter(filter);

    connect(picMap, &PicMap::pointer_moved, this, &FrmMain::show_pointer);
    connect(picMap, &PicMap::pointer_left, this, [this] {
        pointer_.reset();
        status_line->end_readout();
    });
    connect(picMap, &PicMap::wheel_turned, this, &FrmMain::wheel_turned);
    connect(picMap, &PicMap::view_key, this, &FrmMain::view_key);

    connect(chartMain->save_csv_action, &QAction::triggered, this, &FrmMain::save_series_csv);
    connect(chartMain->copy_action, &QAction::triggered, this, &FrmMain::copy_series);
    connect(chartMain->save_png_action, &QAction::triggered, this, &FrmMain::save_chart_png);

    tmr_run_scale_ = new QTimer(this);
    tmr_run_scale_->setInterval(50);
    connect(tmr_run_scale_, &QTimer::timeout, this, &FrmMain::poll_run_scale);

    const bool beep = viewer_settings().value(kBeepKey, true).toBool();
    act_beep->setChecked(beep);
    state_.beep_on_redraw = beep;
    save_folder_ = QDir::currentPath();
}

void FrmMain::add_shortcut(const QKeySequence& key, const std::function<void()>& run) {
    auto* sc = new QShortcut(key, this);
    sc->setContext(Qt::WindowShortcut);
    connect(sc, &QShortcut::activated, this, run);
    shortcuts.push_back(sc);
}

// ---------------------------------------------------------------------------
// The picture, the legend, the hint and the status line

void FrmMain::clear_map() {
    picMap->clear();
    state_.picture.globe = false;
    state_.picture.values.reset();
    state_.picture.marked_cell.reset();
    refresh_overlays();
    refresh_readout();
}

void FrmMain::repaint_map() {
    // Only a picture in the grid's scale is painted again; between a resize
    // and its redraw the map stays blank.
    if (!state_.picture.grid_scale) return;
    repaint_picture(picMap->canvas(), state_);
    picMap->update();
    refresh_overlays();
    refresh_readout();
}

void FrmMain::refresh_overlays() {
    const OutputEntry* entry = state_.selected_entry();
    if (state_.picture.values) {
        const std::string units = entry ? std::string(trim_blanks(entry->Units)) : std::string();
        picMap->set_legend(make_legend(*state_.picture.values, state_.ramps, units));
        picMap->set_hint(QString());
        return;
    }
    picMap->set_legend(std::nullopt);
    QString hint;
    if (!entry) hint = "Choose a variable in the list on the left";
    else if (entry->LayerCount == 0) hint = "This variable has no layers to draw";
    else if (lstIndex->count() > 0 && lstIndex->selectedItems().isEmpty()) hint = "Choose a layer in the second list";
    picMap->set_hint(hint);
}

void FrmMain::show_pointer(double x, double y) {
    pointer_ = QPointF(x, y);
    refresh_readout();
}

void FrmMain::refresh_readout() {
    if (!pointer_) return;
    if (!state_.picture.grid_scale) {
        status_line->show_readout(QString());
        return;
    }
    const PointerInfo info = pointer_info(state_, pointer_->x(), pointer_->y());
    status_line->show_readout(QString::fromStdString(pointer_text(info, state_)));
}

void FrmMain::place_status_line() {
    if (!status_line) return;
    const StatusLinePlace p = status_line_place(width() * 15.0, height() * 15.0, layout_);
    auto px = [](double t) { return static_cast<int>(std::lround(t / 15.0)); };
    status_line->setGeometry(px(p.rect.left), height() - px(kStatusLineHeight), px(p.rect.width),
                             px(kStatusLineHeight));
    status_line->raise();
    chartMain->set_bottom_inset(px(p.chart_inset));
}

// ---------------------------------------------------------------------------
// Zoom and pan

void FrmMain::zoom_at_pixel(QPointF device_pos, double factor) {
    const MapCanvas& c = picMap->canvas();
    const MapRect grid = grid_rect(state_.extents);
    // From the view the picture shows, which may be closer than a smaller
    // picture allowed.
    const MapView shown = bounded_view(state_.view, grid, max_zoom(grid, c.width(), c.height()));
    state_.view = zoom_at(shown, grid, c.width(), c.height(), device_pos.x(), device_pos.y(), factor);
    repaint_map();
}

void FrmMain::zoom_by(double factor) {
    const MapCanvas& c = picMap->canvas();
    zoom_at_pixel(QPointF(c.width() / 2.0, c.height() / 2.0), factor);
}

void FrmMain::pan_map(double east_share, double north_share) {
    const MapCanvas& c = picMap->canvas();
    const MapRect grid = grid_rect(state_.extents);
    const MapView shown = bounded_view(state_.view, grid, max_zoom(grid, c.width(), c.height()));
    state_.view = pan_by(shown, grid, east_share, north_share);
    repaint_map();
}

void FrmMain::show_whole_map() {
    state_.view = MapView{};
    repaint_map();
}

void FrmMain::zoom_around(double longitude, double latitude, double zoom) {
    const ViewerGridInfo& g = state_.GridInfo;
    const double size = static_cast<double>(g.cellSize);
    const MapCanvas& c = picMap->canvas();
    const MapRect grid = grid_rect(state_.extents);
    state_.view = bounded_view(MapView{zoom, (longitude - (g.lowerX + g.upperX) / 2) / size,
                                       (latitude - (g.lowerY + g.upperY) / 2) / size},
                               grid, max_zoom(grid, c.width(), c.height()));
    repaint_map();
}

void FrmMain::view_key(int key) {
    // One press pans an eighth of the shown part.
    constexpr double step = 0.125;
    switch (key) {
        case Qt::Key_Left: pan_map(-step, 0); break;
        case Qt::Key_Right: pan_map(step, 0); break;
        case Qt::Key_Up: pan_map(0, step); break;
        case Qt::Key_Down: pan_map(0, -step); break;
        case Qt::Key_Home: show_whole_map(); break;
        case Qt::Key_Plus:
        case Qt::Key_Equal: zoom_by(2); break;
        case Qt::Key_Minus: zoom_by(0.5); break;
        default: break;
    }
}

void FrmMain::wheel_turned(QPointF device_pos, int delta, bool horizontal, Qt::KeyboardModifiers modifiers) {
    // A notch pans an eighth of the shown part: Shift (or a sideways wheel)
    // east and west, Alt north and south; a plain wheel zooms.
    const double notches = delta / 120.0;
    if (modifiers & Qt::AltModifier) pan_map(0, notches * 0.125);
    else if ((modifiers & Qt::ShiftModifier) || horizontal) pan_map(-notches * 0.125, 0);
    else zoom_at_pixel(device_pos, wheel_zoom_factor(delta));
}

// ---------------------------------------------------------------------------
// The same colours for every month

void FrmMain::set_same_colours(bool on) {
    if (act_same_colours->isChecked() != on) {
        act_same_colours->setChecked(on);  // runs this again through its signal
        return;
    }
    state_.run_scale.wanted = on;
    if (on) {
        maybe_start_run_scale();
    } else {
        cancel_run_scale();
        status_line->show_note(QString());
    }
    recolour_map();
}

void FrmMain::maybe_start_run_scale() {
    RunScale& rs = state_.run_scale;
    if (!rs.wanted) return;
    const auto source = selection_source(state_);
    if (!source) return;
    if (rs.entry == state_.SelectedEntry && rs.layer == state_.SelectedLayer && (rs.computing || rs.result)) return;

    run_job_.reset();  // a computation for another variable or layer stops
    drop_task(run_task_);
    rs.entry = state_.SelectedEntry;
    rs.layer = state_.SelectedLayer;
    rs.result.reset();
    rs.computing = true;
    const RunShape run = run_shape(state_);
    RunStretchRequest request{source->path, source->layers, source->layer, run.first_year, run.last_year,
                              run.cell_count};
    run_job_ = std::make_unique<RunScaleJob>(request);
    run_task_ = status_line->add_task("Colours over the run", static_cast<int>(request.months()),
                                      [this] { set_same_colours(false); });
    tmr_run_scale_->start();
}

void FrmMain::poll_run_scale() {
    if (!run_job_) {
        tmr_run_scale_->stop();
        return;
    }
    if (run_task_) run_task_->set_progress(static_cast<int>(run_job_->done()));
    if (!run_job_->finished()) return;
    tmr_run_scale_->stop();
    RunScale& rs = state_.run_scale;
    rs.result = run_job_->result();
    rs.computing = false;
    run_job_.reset();
    drop_task(run_task_);

    const RunStretchResult& r = *rs.result;
    const std::string months = std::to_string(r.months_used + r.months_skipped);
    if (r.months_used == 0) {
        status_line->show_note(QString::fromStdString(
            "Same colours for every month: no month could be read" +
            (r.first_problem ? " (" + *r.first_problem + ")" : std::string())));
    } else if (r.months_skipped > 0) {
        status_line->show_note(QString::fromStdString(
            "Same colours over " + std::to_string(r.months_used) + " of " + months + " months; " +
            std::to_string(r.months_skipped) + " could not be read" +
            (r.first_problem ? " (" + *r.first_problem + ")" : std::string())));
    } else {
        status_line->show_note(QString::fromStdString("Same colours over all " + months + " months of the run"));
    }
    recolour_map();
}

void FrmMain::cancel_run_scale() {
    RunScale& rs = state_.run_scale;
    if (rs.computing) {
        rs.computing = false;
        rs.result.reset();
        rs.entry = rs.layer = 0;
    }
    run_job_.reset();
    drop_task(run_task_);
    tmr_run_scale_->stop();
}

void FrmMain::recolour_map() {
    // The values on display in the colours the option asks for; no file is read.
    auto& values = state_.picture.values;
    if (!values || values->random()) return;
    const StretchStats* run = state_.run_scale.stats_for(state_.SelectedEntry, state_.SelectedLayer);
    values->colours = run ? *run : stretch_stats(state_.display_values);
    values->run_scale = run != nullptr;
    repaint_map();
}

void FrmMain::set_beep_on_redraw(bool on) {
    if (act_beep->isChecked() != on) {
        act_beep->setChecked(on);
        return;
    }
    state_.beep_on_redraw = on;
    viewer_settings().setValue(kBeepKey, on);
}

void FrmMain::update_chart_month() {
    const std::int64_t row = time_row(state_.first_year(), year_value(), month_value());
    chartMain->set_current_row(row >= 1 && row <= chartMain->row_count() ? static_cast<int>(row) : 0);
}

// ---------------------------------------------------------------------------
// Saving

QString FrmMain::suggested_path(const QString& name) const { return QDir(save_folder_).filePath(name); }

void FrmMain::remember_folder(const QString& path) { save_folder_ = QFileInfo(path).absolutePath(); }

void FrmMain::save_map_png() {
    const OutputEntry* entry = state_.selected_entry();
    if (!state_.picture.values || !entry) {
        ui_.message("There is no map to save yet: choose a variable and, where it has layers, a layer.");
        return;
    }
    const int year = state_.picture.year, month = state_.picture.month;
    const std::string root = default_export_root(entry->FileName, state_.SelectedLayer);
    const QString name = QString::fromStdString(root) + "_" + QString::number(year) + "_" + two_digits(month) + ".png";
    const QString path = ui_.save_file("Save map as PNG", suggested_path(name), "PNG images (*.png)");
    if (path.isEmpty()) return;
    remember_folder(path);
    const MapCanvas& c = picMap->canvas();
    const QImage image = render_map_image(state_, state_.display_values, *state_.picture.values,
                                          shown_rect(state_, c.width(), c.height()),
                                          map_title(*entry, state_.SelectedLayer, year, month));
    try {
        save_png(path, image);
        status_line->show_note("Saved the map as " + path);
    } catch (const SaveError& e) {
        ui_.message(e.what());
    }
}

void FrmMain::save_frames() {
    if (frames_) {
        ui_.message("Frames are being written already; cancel them in the status line first.");
        return;
    }
    const auto source = selection_source(state_);
    const OutputEntry* entry = state_.selected_entry();
    if (!source || !entry) {
        ui_.message("There is nothing to save yet: choose a variable and, where it has layers, a layer.");
        return;
    }
    if (state_.run_scale.wanted && state_.run_scale.computing) {
        ui_.message("The colours over the run are still being computed; save the frames once they are done.");
        return;
    }
    const int year = std::clamp(year_value(), state_.first_year(), static_cast<int>(state_.GridInfo.lastYear));
    const auto span = ui_.pick_frame_span(FrameSpan{year, 1, year, 12}, state_.first_year(), state_.GridInfo.lastYear);
    if (!span) return;
    auto job = std::make_unique<FramesJob>();
    job->months = span_months(*span);
    if (job->months.empty()) {
        ui_.message("The span of frames ends before it starts.");
        return;
    }
    const QString folder = ui_.browse_folder("Select a folder for the frames: ");
    if (folder.isEmpty()) return;

    const std::string root = default_export_root(entry->FileName, state_.SelectedLayer);
    job->names = frame_file_names(root, *span);
    job->folder = folder;
    job->path = source->path;
    job->layers = source->layers;
    job->layer = source->layer;
    job->entry = *entry;
    const int ramp = ramp_index(selected_ramp_name(lstClr));
    job->painted.ramp = ramp < 0 ? 4 : ramp;
    if (const StretchStats* run = state_.run_scale.stats_for(state_.SelectedEntry, state_.SelectedLayer)) {
        job->painted.colours = *run;
        job->painted.run_scale = true;
    }
    const MapCanvas& c = picMap->canvas();
    job->shown = shown_rect(state_, c.width(), c.height());
    frames_task_ = status_line->add_task("Frames", static_cast<int>(job->months.size()), [this] { cancel_frames(); });
    frames_ = std::move(job);
    QTimer::singleShot(0, this, &FrmMain::frames_step);
}

void FrmMain::frames_step() {
    if (!frames_) return;
    FramesJob& job = *frames_;
    if (job.next >= job.months.size() || job.stopped) {
        finish_frames();
        return;
    }
    const auto [year, month] = job.months[job.next];
    BlockRead block = read_variable_block(state_, job.path, job.layers, year, month, job.layer);
    if (!block.ok()) {
        job.problems.push_back(block.message);
    } else {
        PaintedValues painted = job.painted;
        if (!painted.random() && !painted.run_scale) painted.colours = stretch_stats(block.values);
        const QImage image =
            render_map_image(state_, block.values, painted, job.shown, map_title(job.entry, job.layer, year, month));
        const QString path = QDir(job.folder).filePath(QString::fromStdString(job.names[job.next]));
        try {
            save_png(path, image);
            ++job.written;
        } catch (const SaveError& e) {
            job.problems.push_back(e.what());
            job.stopped = true;
        }
    }
    ++job.next;
    if (frames_task_) frames_task_->set_progress(static_cast<int>(job.next));
    QTimer::singleShot(0, this, &FrmMain::frames_step);
}

void FrmMain::finish_frames() {
    if (!frames_) return;
    const std::unique_ptr<FramesJob> job = std::move(frames_);
    drop_task(frames_task_);
    const QString summary = "Wrote " + QString::number(job->written) + " of " +
                            QString::number(static_cast<qsizetype>(job->months.size())) + " frames to " + job->folder;
    status_line->show_note(summary);
    if (!job->problems.empty()) {
        std::string text = summary.toStdString() + ".";
        for (const std::string& p : job->problems) text += "\n" + p;
        ui_.message(QString::fromStdString(text));
    }
}

void FrmMain::cancel_frames() {
    if (!frames_) return;
    // The frames written stay; the one in hand was written whole or not at all.
    frames_->months.resize(frames_->next);
    finish_frames();
}

void FrmMain::save_series_csv() {
    const QString name = chartMain->series(1)->name() +
                         (charted_cell_ ? "_cell_" + QString::number(state_.CellTable[*charted_cell_].x) + "_" +
                                              QString::number(state_.CellTable[*charted_cell_].y)
                                        : QString()) +
                         ".csv";
    const QString path = ui_.save_file("Save series as CSV", suggested_path(name), "CSV files (*.csv)");
    if (path.isEmpty()) return;
    remember_folder(path);
    try {
        save_bytes(path, QByteArray::fromStdString(chartMain->csv_text()));
        status_line->show_note("Saved the series as " + path);
    } catch (const SaveError& e) {
        ui_.message(e.what());
    }
}

void FrmMain::copy_series() {
    QApplication::clipboard()->setText(QString::fromStdString(chartMain->csv_text()));
    status_line->show_note("Copied the series to the clipboard");
}

void FrmMain::save_chart_png() {
    const QString name = chartMain->series(1)->name() + "_chart.png";
    const QString path = ui_.save_file("Save chart as PNG", suggested_path(name), "PNG images (*.png)");
    if (path.isEmpty()) return;
    remember_folder(path);
    try {
        save_png(path, chartMain->grab().toImage());
        status_line->show_note("Saved the chart as " + path);
    } catch (const SaveError& e) {
        ui_.message(e.what());
    }
}

}  // namespace veldra::viewer
