// "Same colours for every month": the stretch over the whole run of the
// variable on display, computed off the window thread while its progress
// and a Cancel button show in the status line; its result recolours the map.
#pragma once

#include <memory>

#include <QTimer>

class QAction;

namespace veldra::viewer {

class MapDisplay;
class RunScaleJob;
class StatusLine;
class StatusTask;
struct ViewerState;

class SameColours {
public:
    // `option` is the checkable action of the menu; it follows set().
    SameColours(ViewerState& state, QAction& option, StatusLine& status_line, MapDisplay& map);
    ~SameColours();
    SameColours(const SameColours&) = delete;
    SameColours& operator=(const SameColours&) = delete;

    // Turns the option on or off.
    void set(bool on);
    // Starts the stretch over the run for the variable and layer chosen, when
    // the option is on and that stretch is neither known nor being computed.
    void maybe_start();
    bool running() const { return job_ != nullptr; }
    // Stops the computation; the stretch is not known then.
    void cancel();

private:
    void poll();
    void recolour_map();

    ViewerState& state_;
    QAction& option_;
    StatusLine& status_line_;
    MapDisplay& map_;
    std::unique_ptr<RunScaleJob> job_;
    StatusTask* task_ = nullptr;
    QTimer timer_;
};

}  // namespace veldra::viewer
