// Saving what the main window shows, on the user's request: the map as a
// PNG picture, its animation frames (one a turn of the event loop, with
// their progress and a Cancel button in the status line), and the chart as
// a PNG picture or its series as CSV (or on the clipboard). Each file is
// written whole or not at all; a file written is named in the status line,
// one that could not be written in a message.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QObject>
#include <QString>

#include "viewer/core/cell_query.h"
#include "viewer/core/map_image.h"
#include "viewer/core/month_picture.h"

namespace veldra::viewer {

// The months of the selection `source` as the map paints them now, with
// the colour list's ramp `ramp_name`: for frames and videos.
MonthSource month_source(const ViewerState& state, const SeriesSource& source, const std::string& ramp_name);

class ChartMain;
class PicMap;
class StatusLine;
class StatusTask;
class UiServices;
struct ViewerState;

// The selection, and the months of it the user picks, that an animation
// (frames or a video) is made of; nothing when there is none, the user told
// why. `what` and `span_of` name the result in the messages ("save the
// frames once...", "The span of frames ends...").
struct AnimationChoice {
    SeriesSource source;
    files::OutputEntry entry;
    FrameSpan span;
    std::vector<std::pair<int, int>> months;
};
std::optional<AnimationChoice> choose_animation(const ViewerState& state, UiServices& ui, int year_shown,
                                                const std::string& what, const std::string& span_of,
                                                const QString& title);

class MapSaver {
public:
    // Files are suggested in the current folder until one is saved.
    MapSaver(ViewerState& state, UiServices& ui, PicMap& map, ChartMain& chart, StatusLine& status_line);
    ~MapSaver();
    MapSaver(const MapSaver&) = delete;
    MapSaver& operator=(const MapSaver&) = delete;

    // The map on display, as drawn last.
    void save_map_png();

    // Frames of the variable and layer chosen, painted with ramp `ramp_name`
    // over the part of the grid shown, for the months the user picks
    // (starting from the year `year_shown`) into a folder the user picks.
    void save_frames(int year_shown, const std::string& ramp_name);
    bool frames_running() const { return frames_ != nullptr; }
    // The frames written stay; the one in hand is written whole or not at all.
    void cancel_frames();

    // The chart's series, named after the first and the cell charted.
    // Offered as `name` when one is given, else after the series and the cell.
    void save_series_csv(std::optional<std::size_t> charted_cell, const QString& name = {});
    void copy_series();
    void save_chart_png();

private:
    struct FramesJob;
    void frames_step();
    void finish_frames();
    QString suggested_path(const QString& name) const;
    void remember_folder(const QString& path);

    ViewerState& state_;
    UiServices& ui_;
    PicMap& map_;
    ChartMain& chart_;
    StatusLine& status_line_;
    QString save_folder_;  // where the last file was saved
    std::unique_ptr<FramesJob> frames_;
    StatusTask* frames_task_ = nullptr;
    QObject events_;  // the receiver of the frames' steps, gone with this
};

}  // namespace veldra::viewer
