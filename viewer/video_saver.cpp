#include "viewer/video_saver.h"

#include <algorithm>
#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include "export/export_settings.h"
#include "modelfiles/file_io.h"
#include "viewer/core/cell_query.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/month_picture.h"
#include "viewer/core/video.h"
#include "viewer/core/viewer_state.h"
#include "viewer/map_image_painter.h"
#include "viewer/map_saver.h"
#include "viewer/pic_map.h"
#include "viewer/status_line.h"
#include "viewer/ui_services.h"

namespace veldra::viewer {

QString find_ffmpeg() { return QStandardPaths::findExecutable("ffmpeg"); }

struct VideoSaver::Job {
    std::vector<std::pair<int, int>> months;
    MonthSource source;
    files::OutputEntry entry;
    MapRect shown;
    QString path;       // the video asked for
    QString temporary;  // what ffmpeg writes, beside it
    VideoKind kind = VideoKind::mp4;
    int width = 0;      // of every frame, once the first is rendered
    int height = 0;
    std::size_t next = 0;
    int written = 0;
    std::vector<std::string> problems;
    QProcess* ffmpeg = nullptr;  // owned by the job's events
    QObject owner;
};

VideoSaver::VideoSaver(ViewerState& state, UiServices& ui, PicMap& map, StatusLine& status_line)
    : state_(state), ui_(ui), map_(map), status_line_(status_line) {}

VideoSaver::~VideoSaver() { cancel(); }

void VideoSaver::save_video(int year_shown, const std::string& ramp_name) {
    if (job_) {
        ui_.message("A video is being written already; cancel it in the status line first.");
        return;
    }
    // A missing program is told once there is something to save.
    const QString ffmpeg = find_ffmpeg();
    if (ffmpeg.isEmpty() && selection_source(state_) && state_.selected_entry()) {
        ui_.message("Saving a video needs the program ffmpeg, which was not found on the PATH. "
                    "Install it (on Debian: apt install ffmpeg) and save the video again.");
        return;
    }
    const std::optional<AnimationChoice> choice =
        choose_animation(state_, ui_, year_shown, "the video", "the video", "Save animation as video");
    if (!choice) return;
    auto job = std::make_unique<Job>();
    job->months = choice->months;
    const std::string root = out::default_export_root(choice->entry.FileName, state_.SelectedLayer);
    const QString suggested =
        QDir::current().filePath(QString::fromStdString(video_file_name(root, choice->span, VideoKind::mp4)));
    QString path = ui_.save_file("Save animation as video", suggested,
                                 "MP4 video, H.264 (*.mp4);;Animated GIF (*.gif)");
    if (path.isEmpty()) return;
    if (!video_kind(path.toStdString())) path += ".mp4";
    job->path = path;
    job->kind = *video_kind(path.toStdString());
    job->source = month_source(state_, choice->source, ramp_name);
    job->entry = choice->entry;
    const MapCanvas& c = map_.canvas();
    job->shown = shown_rect(state_, c.width(), c.height());
    try {
        auto temporary = files::system_files().create_temporary(path.toStdString());
        job->temporary = QString::fromStdString(temporary->path());
        temporary->close();
    } catch (const files::Error& e) {
        ui_.message(e.what());
        return;
    }
    task_ = status_line_.add_task("Video", static_cast<int>(job->months.size()), [this] { cancel(); });
    job_ = std::move(job);
    QTimer::singleShot(0, &events_, [this] { step(); });
}

void VideoSaver::step() {
    if (!job_) return;
    Job& job = *job_;
    if (job.next >= job.months.size()) {
        finish();
        return;
    }
    const auto [year, month] = job.months[job.next];
    const MonthPicture picture = month_picture(state_, job.source, year, month);
    if (!picture.ok()) {
        job.problems.push_back(picture.problem);
    } else {
        const QImage image = render_map_image(state_, picture.values, picture.painted, job.shown,
                                              map_title(job.entry, job.source.layer, year, month));
        if (!job.ffmpeg) {
            // The first frame sets the size of all; even sides for H.264.
            job.width = even_side(image.width());
            job.height = even_side(image.height());
            VideoRequest request{job.temporary.toStdString(), job.kind, job.width, job.height, 2};
            QStringList args;
            for (const std::string& a : ffmpeg_arguments(request)) args << QString::fromStdString(a);
            job.ffmpeg = new QProcess(&job.owner);
            job.ffmpeg->setProcessChannelMode(QProcess::SeparateChannels);
            job.ffmpeg->start(find_ffmpeg(), args);
            if (!job.ffmpeg->waitForStarted(10000)) {
                fail("The program ffmpeg could not be started: " + job.ffmpeg->errorString());
                return;
            }
        }
        // Every frame as large as the first, the map at its top left.
        QImage frame(job.width, job.height, QImage::Format_ARGB32);
        frame.fill(Qt::white);
        {
            QPainter p(&frame);
            p.drawImage(0, 0, image);
        }
        job.ffmpeg->write(reinterpret_cast<const char*>(frame.constBits()),
                          static_cast<qint64>(frame_bytes(job.width, job.height)));
        // ffmpeg reads as fast as it encodes: a few frames wait in the pipe at most.
        while (job.ffmpeg->bytesToWrite() > static_cast<qint64>(4 * frame_bytes(job.width, job.height)) &&
               job.ffmpeg->state() == QProcess::Running)
            job.ffmpeg->waitForBytesWritten(100);
        if (job.ffmpeg->state() != QProcess::Running) {
            fail("ffmpeg stopped before the video was complete: " +
                 QString::fromLocal8Bit(job.ffmpeg->readAllStandardError()).trimmed());
            return;
        }
        ++job.written;
    }
    ++job.next;
    if (task_) task_->set_progress(static_cast<int>(job.next));
    QTimer::singleShot(0, &events_, [this] { step(); });
}

void VideoSaver::finish() {
    Job& job = *job_;
    if (!job.ffmpeg) {
        fail("No month of the span could be read.");
        return;
    }
    job.ffmpeg->closeWriteChannel();
    job.ffmpeg->waitForFinished(-1);
    if (job.ffmpeg->exitStatus() != QProcess::NormalExit || job.ffmpeg->exitCode() != 0) {
        fail("ffmpeg could not write the video: " +
             QString::fromLocal8Bit(job.ffmpeg->readAllStandardError()).trimmed());
        return;
    }
    try {
        files::system_files().rename(job.temporary.toStdString(), job.path.toStdString());
    } catch (const files::Error& e) {
        fail(e.what());
        return;
    }
    const std::unique_ptr<Job> done = std::move(job_);
    drop_task(task_);
    const QString summary = "Saved a video of " + QString::number(done->written) + " of " +
                            QString::number(static_cast<qsizetype>(done->months.size())) + " months as " + done->path;
    status_line_.show_note(summary);
    if (!done->problems.empty()) {
        std::string text = summary.toStdString() + ".";
        for (const std::string& p : done->problems) text += "\n" + p;
        ui_.message(QString::fromStdString(text));
    }
}

void VideoSaver::fail(const QString& why) {
    const std::unique_ptr<Job> job = std::move(job_);
    drop_task(task_);
    if (job->ffmpeg) {
        job->ffmpeg->kill();
        job->ffmpeg->waitForFinished(5000);
    }
    files::system_files().remove(job->temporary.toStdString());
    status_line_.show_note("No video saved");
    ui_.message(why.isEmpty() ? QString("The video could not be written.") : why);
}

void VideoSaver::cancel() {
    if (!job_) return;
    const std::unique_ptr<Job> job = std::move(job_);
    drop_task(task_);
    if (job->ffmpeg) {
        job->ffmpeg->kill();
        job->ffmpeg->waitForFinished(5000);
    }
    files::system_files().remove(job->temporary.toStdString());
    status_line_.show_note("Cancelled the video; " + job->path + " was not written");
}

}  // namespace veldra::viewer
