#include "viewer/map_saver.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineSeries>
#include <QTimer>

#include "export/export_settings.h"
#include "viewer/chart_main.h"
#include "viewer/core/cell_query.h"
#include "viewer/core/colour_ramps.h"
#include "viewer/core/display_block.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/map_image.h"
#include "viewer/core/month_picture.h"
#include "viewer/core/viewer_state.h"
#include "viewer/map_image_painter.h"
#include "viewer/pic_map.h"
#include "viewer/saving.h"
#include "viewer/status_line.h"
#include "viewer/ui_services.h"

namespace veldra::viewer {
MonthSource month_source(const ViewerState& state, const SeriesSource& source, const std::string& ramp_name) {
    MonthSource m;
    m.path = source.path;
    m.layers = source.layers;
    m.layer = source.layer;
    const int ramp = ramp_index(ramp_name);
    m.list_ramp = ramp < 0 ? 4 : ramp;
    if (const StretchStats* run = state.run_scale.stats_for(state.SelectedEntry, state.SelectedLayer)) m.run = *run;
    m.options = state.options;
    return m;
}

namespace {

QString two_digits(int v) { return QString::number(v).rightJustified(2, '0'); }

}  // namespace

// Animation frames being written, one a turn of the event loop.
struct MapSaver::FramesJob {
    std::vector<std::pair<int, int>> months;
    std::vector<std::string> names;
    QString folder;
    std::string path;  // the variable file
    MonthSource source;  // the file, its layer and how its months are coloured
    files::OutputEntry entry;
    MapRect shown;
    std::size_t next = 0;
    int written = 0;
    std::vector<std::string> problems;
    bool stopped = false;  // a file could not be written
};

MapSaver::MapSaver(ViewerState& state, UiServices& ui, PicMap& map, ChartMain& chart, StatusLine& status_line)
    : state_(state), ui_(ui), map_(map), chart_(chart), status_line_(status_line), save_folder_(QDir::currentPath()) {}

MapSaver::~MapSaver() = default;

QString MapSaver::suggested_path(const QString& name) const { return QDir(save_folder_).filePath(name); }

void MapSaver::remember_folder(const QString& path) { save_folder_ = QFileInfo(path).absolutePath(); }

void MapSaver::save_map_png() {
    const files::OutputEntry* entry = state_.selected_entry();
    if (!state_.picture.values || !entry) {
        ui_.message("There is no map to save yet: choose a variable and, where it has layers, a layer.");
        return;
    }
    const int year = state_.picture.year, month = state_.picture.month;
    const std::string root = out::default_export_root(entry->FileName, state_.SelectedLayer);
    const QString name = QString::fromStdString(root) + "_" + QString::number(year) + "_" + two_digits(month) + ".png";
    const QString path = ui_.save_file("Save map as PNG", suggested_path(name), "PNG images (*.png)");
    if (path.isEmpty()) return;
    remember_folder(path);
    const MapCanvas& c = map_.canvas();
    const QImage image = render_map_image(state_, state_.display_values, *state_.picture.values,
                                          shown_rect(state_, c.width(), c.height()),
                                          map_title(*entry, state_.SelectedLayer, year, month), state_.picture.shown);
    try {
        save_png(path, image);
        status_line_.show_note("Saved the map as " + path);
    } catch (const SaveError& e) {
        ui_.message(e.what());
    }
}

std::optional<AnimationChoice> choose_animation(const ViewerState& state, UiServices& ui, int year_shown,
                                                const std::string& what, const std::string& span_of,
                                                const QString& title) {
    const auto source = selection_source(state);
    const files::OutputEntry* entry = state.selected_entry();
    if (!source || !entry) {
        ui.message("There is nothing to save yet: choose a variable and, where it has layers, a layer.");
        return std::nullopt;
    }
    if (state.run_scale.wanted && state.run_scale.computing) {
        ui.message(QString::fromStdString("The colours over the run are still being computed; save " + what +
                                          " once they are done."));
        return std::nullopt;
    }
    const int year = std::clamp(year_shown, state.first_year(), static_cast<int>(state.GridInfo.lastYear));
    const auto span =
        ui.pick_frame_span(title, FrameSpan{year, 1, year, 12}, state.first_year(), state.GridInfo.lastYear);
    if (!span) return std::nullopt;
    AnimationChoice choice{*source, *entry, *span, span_months(*span)};
    if (choice.months.empty()) {
        ui.message(QString::fromStdString("The span of " + span_of + " ends before it starts."));
        return std::nullopt;
    }
    return choice;
}

void MapSaver::save_frames(int year_shown, const std::string& ramp_name) {
    if (frames_) {
        ui_.message("Frames are being written already; cancel them in the status line first.");
        return;
    }
    const std::optional<AnimationChoice> choice =
        choose_animation(state_, ui_, year_shown, "the frames", "frames", "Save animation frames");
    if (!choice) return;
    auto job = std::make_unique<FramesJob>();
    job->months = choice->months;
    const QString folder = ui_.browse_folder("Select a folder for the frames: ");
    if (folder.isEmpty()) return;

    const std::string root = out::default_export_root(choice->entry.FileName, state_.SelectedLayer);
    job->names = frame_file_names(root, choice->span);
    job->folder = folder;
    job->source = month_source(state_, choice->source, ramp_name);
    job->entry = choice->entry;
    const MapCanvas& c = map_.canvas();
    job->shown = shown_rect(state_, c.width(), c.height());
    frames_task_ = status_line_.add_task("Frames", static_cast<int>(job->months.size()), [this] { cancel_frames(); });
    frames_ = std::move(job);
    QTimer::singleShot(0, &events_, [this] { frames_step(); });
}

void MapSaver::frames_step() {
    if (!frames_) return;
    FramesJob& job = *frames_;
    if (job.next >= job.months.size() || job.stopped) {
        finish_frames();
        return;
    }
    const auto [year, month] = job.months[job.next];
    const MonthPicture picture = month_picture(state_, job.source, year, month);
    if (!picture.ok()) {
        job.problems.push_back(picture.problem);
    } else {
        const QImage image = render_map_image(state_, picture.values, picture.painted, job.shown,
                                              map_title(job.entry, job.source.layer, year, month));
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
    QTimer::singleShot(0, &events_, [this] { frames_step(); });
}

void MapSaver::finish_frames() {
    if (!frames_) return;
    const std::unique_ptr<FramesJob> job = std::move(frames_);
    drop_task(frames_task_);
    const QString summary = "Wrote " + QString::number(job->written) + " of " +
                            QString::number(static_cast<qsizetype>(job->months.size())) + " frames to " + job->folder;
    status_line_.show_note(summary);
    if (!job->problems.empty()) {
        std::string text = summary.toStdString() + ".";
        for (const std::string& p : job->problems) text += "\n" + p;
        ui_.message(QString::fromStdString(text));
    }
}

void MapSaver::cancel_frames() {
    if (!frames_) return;
    frames_->months.resize(frames_->next);
    finish_frames();
}

void MapSaver::save_series_csv(std::optional<std::size_t> charted_cell, const QString& offered) {
    const QString name = !offered.isEmpty() ? offered : chart_.series(1)->name() +
                         (charted_cell ? "_cell_" + QString::number(state_.CellTable[*charted_cell].x) + "_" +
                                             QString::number(state_.CellTable[*charted_cell].y)
                                       : QString()) +
                         ".csv";
    const QString path = ui_.save_file("Save series as CSV", suggested_path(name), "CSV files (*.csv)");
    if (path.isEmpty()) return;
    remember_folder(path);
    try {
        save_bytes(path, QByteArray::fromStdString(chart_.csv_text()));
        status_line_.show_note("Saved the series as " + path);
    } catch (const SaveError& e) {
        ui_.message(e.what());
    }
}

void MapSaver::copy_series() {
    QApplication::clipboard()->setText(QString::fromStdString(chart_.csv_text()));
    status_line_.show_note("Copied the series to the clipboard");
}

void MapSaver::save_chart_png() {
    const QString name = chart_.series(1)->name() + "_chart.png";
    const QString path = ui_.save_file("Save chart as PNG", suggested_path(name), "PNG images (*.png)");
    if (path.isEmpty()) return;
    remember_folder(path);
    try {
        save_png(path, chart_.grab().toImage());
        status_line_.show_note("Saved the chart as " + path);
    } catch (const SaveError& e) {
        ui_.message(e.what());
    }
}

}  // namespace veldra::viewer
