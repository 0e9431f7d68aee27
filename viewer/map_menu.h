// The status line under the map with the map's menu, the window's keyboard
// shortcuts, and the remembered option of the beep. What the menu's actions
// do is connected by the window that owns them.
#pragma once

#include <array>
#include <span>
#include <vector>

#include <QKeySequence>

class QAbstractButton;
class QAction;
class QShortcut;
class QSize;
class QWidget;

namespace veldra::viewer {

class ChartMain;
class StatusLine;
struct MainLayout;

struct MapMenu {
    StatusLine* status_line = nullptr;
    QAction* save_map = nullptr;
    QAction* save_frames = nullptr;
    QAction* same_colours = nullptr;
    QAction* beep = nullptr;
    QAction* zoom_in = nullptr;
    QAction* zoom_out = nullptr;
    QAction* whole_map = nullptr;
    QAction* save_video = nullptr;
    QAction* colour_scale = nullptr;
    QAction* difference = nullptr;
    QAction* borders = nullptr;    // coastlines and borders over the map
    QAction* graticule = nullptr;  // meridians and parallels every 30 degrees
    // The colour list's ramp (first), then the perceptual maps; one is checked.
    std::array<QAction*, 5> colour_maps{};
    // "Show": the month, the year's mean, the month's climatology, the run
    // mean, the trend; one is checked.
    std::array<QAction*, 5> show{};
    QAction* compare = nullptr;      // "Compare with run..."
    QAction* end_compare = nullptr;  // "End comparison"
    QAction* zone_series = nullptr;  // "Series of the zone under the pointer"
};

// The keys of the menu's actions that work wherever the focus is in the window.
std::vector<QKeySequence> map_menu_keys(const MapMenu& menu);

// The status line in `window`, in front, with the map's menu; saving the
// map (Ctrl+S) works wherever the focus is in the window.
MapMenu build_map_menu(QWidget& window);

// A key that clicks a button, as a click would (a disabled button ignores
// it), and the tip of the button that names the key.
struct ButtonKey {
    QAbstractButton* button;
    QKeySequence key;
    const char* tip;
};

// The shortcuts of `keys` in `window`. They and the `other` keys of the
// window come first in the `focusable` controls, which would otherwise take
// some of them for themselves.
std::vector<QShortcut*> add_button_keys(QWidget& window, std::span<const ButtonKey> keys,
                                        std::span<const QKeySequence> other, std::span<QWidget* const> focusable);

// Places the status line along the bottom of the window's client area of
// `client` pixels, beside the controls at the left of `layout`, and keeps
// the chart's axis above it.
void place_status_line(StatusLine& status_line, ChartMain& chart, QSize client, const MainLayout& layout);

// The option of the beep as last remembered (on at first), and remembering it.
bool remembered_beep();
void remember_beep(bool on);

}  // namespace veldra::viewer
