// The status line under the map: a menu button with the map's actions, the
// value under the pointer (or the last note), and the jobs that run with
// their progress and a button to cancel them.
#pragma once

#include <functional>

#include <QWidget>

class QLabel;
class QMenu;
class QProgressBar;
class QToolButton;
class QHBoxLayout;

namespace veldra::viewer {

// One running job in the status line.
class StatusTask : public QWidget {
    Q_OBJECT
public:
    StatusTask(const QString& label, int maximum, std::function<void()> on_cancel, QWidget* parent);
    void set_progress(int value);
    QProgressBar* bar;
    QToolButton* cancel;
};

class StatusLine : public QWidget {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    QToolButton* menu_button;
    QMenu* menu;
    QLabel* text;

    // While the pointer is over the map: what lies under it.
    void show_readout(const QString& readout);
    // The pointer has left the map: the last note again.
    void end_readout();
    // A note that stays until the next (results of jobs, files written).
    void show_note(const QString& note);
    QString note() const { return note_; }

    // A job with a label, a progress bar to `maximum` and a cancel button
    // that calls `on_cancel`; it stays until deleted.
    StatusTask* add_task(const QString& label, int maximum, std::function<void()> on_cancel);

private:
    QHBoxLayout* row_;
    QString note_;
};

}  // namespace veldra::viewer

namespace veldra::viewer {

// Takes a job's place out of the status line once the event in hand is
// over (its own Cancel button may be what ended it), and forgets it.
void drop_task(StatusTask*& task);

}  // namespace veldra::viewer
