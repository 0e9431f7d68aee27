#include "viewer/same_colours.h"

#include <string>

#include <QAction>

#include "viewer/core/cell_query.h"
#include "viewer/core/colour_ramps.h"
#include "viewer/core/display_block.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/map_options.h"
#include "viewer/core/viewer_state.h"
#include "viewer/map_display.h"
#include "viewer/run_scale_job.h"
#include "viewer/status_line.h"

namespace veldra::viewer {

SameColours::SameColours(ViewerState& state, QAction& option, StatusLine& status_line, MapDisplay& map)
    : state_(state), option_(option), status_line_(status_line), map_(map) {
    timer_.setInterval(50);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
}

SameColours::~SameColours() = default;

void SameColours::set(bool on) {
    if (option_.isChecked() != on) {
        option_.setChecked(on);  // runs this again through its signal
        return;
    }
    state_.run_scale.wanted = on;
    if (on) {
        maybe_start();
    } else {
        cancel();
        status_line_.show_note(QString());
    }
    recolour_map();
}

void SameColours::maybe_start() {
    RunScale& rs = state_.run_scale;
    if (!rs.wanted) return;
    const auto source = selection_source(state_);
    if (!source) return;
    if (rs.entry == state_.SelectedEntry && rs.layer == state_.SelectedLayer && (rs.computing || rs.result)) return;

    job_.reset();  // a computation for another variable or layer stops
    drop_task(task_);
    rs.entry = state_.SelectedEntry;
    rs.layer = state_.SelectedLayer;
    rs.result.reset();
    rs.computing = true;
    const RunShape run = run_shape(state_);
    RunStretchRequest request{source->path, source->layers, source->layer, run.first_year, run.last_year,
                              run.cell_count};
    job_ = std::make_unique<RunScaleJob>(request);
    task_ = status_line_.add_task("Colours over the run", static_cast<int>(request.months()), [this] { set(false); });
    timer_.start();
}

void SameColours::poll() {
    if (!job_) {
        timer_.stop();
        return;
    }
    if (task_) task_->set_progress(static_cast<int>(job_->done()));
    if (!job_->finished()) return;
    timer_.stop();
    RunScale& rs = state_.run_scale;
    rs.result = job_->result();
    rs.computing = false;
    job_.reset();
    drop_task(task_);

    const RunStretchResult& r = *rs.result;
    const std::string months = std::to_string(r.months_used + r.months_skipped);
    if (r.months_used == 0) {
        status_line_.show_note(QString::fromStdString(
            "Same colours for every month: no month could be read" +
            (r.first_problem ? " (" + *r.first_problem + ")" : std::string())));
    } else if (r.months_skipped > 0) {
        status_line_.show_note(QString::fromStdString(
            "Same colours over " + std::to_string(r.months_used) + " of " + months + " months; " +
            std::to_string(r.months_skipped) + " could not be read" +
            (r.first_problem ? " (" + *r.first_problem + ")" : std::string())));
    } else {
        status_line_.show_note(QString::fromStdString("Same colours over all " + months + " months of the run"));
    }
    recolour_map();
}

void SameColours::cancel() {
    RunScale& rs = state_.run_scale;
    if (rs.computing) {
        rs.computing = false;
        rs.result.reset();
        rs.entry = rs.layer = 0;
    }
    job_.reset();
    drop_task(task_);
    timer_.stop();
}

void SameColours::recolour_map() {
    // The values on display in the colours the option asks for; no file is read.
    auto& values = state_.picture.values;
    if (!values || values->random()) return;
    const StretchStats* run = state_.run_scale.stats_for(state_.SelectedEntry, state_.SelectedLayer);
    *values = choose_painting(values->ramp, stretch_stats(state_.display_values), run, state_.options,
                              state_.picture.month);
    map_.repaint();
}

}  // namespace veldra::viewer
