// "Save animation as video...": the maps of the variable and layer chosen,
// month by month over a span the user picks, with their title (the date)
// and legend, fed as raw frames on a pipe to the ffmpeg program, which
// writes an MP4 (H.264) or an animated GIF. One frame a turn of the event
// loop, with progress and a Cancel button in the status line. The video is
// written to a temporary file beside the one asked for and renamed over it
// once ffmpeg has finished well; otherwise the old file stays.
#pragma once

#include <memory>
#include <string>

#include <QObject>
#include <QString>

class QProcess;

namespace veldra::viewer {

class PicMap;
class StatusLine;
class StatusTask;
class UiServices;
struct ViewerState;

// The ffmpeg program on the PATH, or an empty text.
QString find_ffmpeg();

class VideoSaver {
public:
    VideoSaver(ViewerState& state, UiServices& ui, PicMap& map, StatusLine& status_line);
    ~VideoSaver();
    VideoSaver(const VideoSaver&) = delete;
    VideoSaver& operator=(const VideoSaver&) = delete;

    // Asks for the span (from the year `year_shown`) and the file, then
    // starts; the colour list's ramp is `ramp_name`.
    void save_video(int year_shown, const std::string& ramp_name);
    bool running() const { return job_ != nullptr; }
    // Stops ffmpeg and removes its file; an older video of the name stays.
    void cancel();

private:
    struct Job;
    void step();
    void finish();
    void fail(const QString& why);

    ViewerState& state_;
    UiServices& ui_;
    PicMap& map_;
    StatusLine& status_line_;
    std::unique_ptr<Job> job_;
    StatusTask* task_ = nullptr;
    QObject events_;
};

}  // namespace veldra::viewer
