#include "viewer/map_menu.h"

#include <cmath>
#include <utility>

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QKeyEvent>
#include <QMenu>
#include <QSettings>
#include <QShortcut>
#include <QWidget>

#include "viewer/chart_main.h"
#include "viewer/core/window_layout.h"
#include "viewer/status_line.h"

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

}  // namespace

MapMenu build_map_menu(QWidget& window) {
    MapMenu m;
    m.status_line = new StatusLine(&window);
    m.status_line->raise();
    QMenu* menu = m.status_line->menu;
    m.save_map = menu->addAction("Save map as PNG...");
    m.save_map->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m.save_map->setShortcutContext(Qt::WindowShortcut);
    m.save_frames = menu->addAction("Save animation frames...");
    m.save_video = menu->addAction("Save animation as video...");
    m.save_video->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    menu->addSeparator();
    m.colour_scale = menu->addAction("Colour scale...");
    m.colour_scale->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    m.difference = menu->addAction("Show difference to...");
    m.difference->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    // What the map shows of the chosen variable.
    QMenu* show = menu->addMenu("Show");
    auto* shows = new QActionGroup(show);
    const char* const show_names[] = {"The month", "The year's mean", "The month's climatology", "The run mean",
                                      "The trend per decade"};
    for (int i = 0; i < 5; ++i) {
        QAction* a = show->addAction(show_names[i]);
        a->setCheckable(true);
        shows->addAction(a);
        m.show[static_cast<std::size_t>(i)] = a;
    }
    m.show[0]->setChecked(true);
    m.compare = menu->addAction("Compare with run...");
    m.end_compare = menu->addAction("End comparison");
    m.end_compare->setEnabled(false);
    m.zone_series = menu->addAction("Series of the zone under the pointer");
    menu->addSeparator();
    // The colour list's ramp, or a perceptual map in its place.
    auto* maps = new QActionGroup(menu);
    const char* const map_names[] = {"Colours of the colour list", "Viridis", "Cividis",
                                     "Blue-white-red (differences)", "Grey"};
    for (int i = 0; i < 5; ++i) {
        QAction* a = menu->addAction(map_names[i]);
        a->setCheckable(true);
        a->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + i)));
        maps->addAction(a);
        m.colour_maps[static_cast<std::size_t>(i)] = a;
    }
    m.colour_maps[0]->setChecked(true);
    menu->addSeparator();
    m.same_colours = menu->addAction("Same colours for every month");
    m.same_colours->setCheckable(true);
    m.beep = menu->addAction("Beep at every redraw");
    m.beep->setCheckable(true);
    m.beep->setChecked(true);
    menu->addSeparator();
    m.borders = menu->addAction("Coastlines and borders");
    m.borders->setCheckable(true);
    m.graticule = menu->addAction("Graticule (every 30 degrees)");
    m.graticule->setCheckable(true);
    menu->addSeparator();
    // The keys work while the map has the focus; the menu only names them.
    m.zoom_in = menu->addAction("Zoom in\tWheel, +");
    m.zoom_out = menu->addAction("Zoom out\tWheel, -");
    m.whole_map = menu->addAction("Whole map\tHome");
    // The shortcuts work wherever the focus is in the window.
    for (QAction* a : {m.save_map, m.save_video, m.colour_scale, m.difference}) {
        a->setShortcutContext(Qt::WindowShortcut);
        window.addAction(a);
    }
    for (QAction* a : m.colour_maps) {
        a->setShortcutContext(Qt::WindowShortcut);
        window.addAction(a);
    }
    return m;
}

std::vector<QKeySequence> map_menu_keys(const MapMenu& m) {
    std::vector<QKeySequence> keys;
    for (QAction* a : {m.save_map, m.save_video, m.colour_scale, m.difference}) keys.push_back(a->shortcut());
    for (QAction* a : m.colour_maps) keys.push_back(a->shortcut());
    return keys;
}

std::vector<QShortcut*> add_button_keys(QWidget& window, std::span<const ButtonKey> keys,
                                        std::span<const QKeySequence> other, std::span<QWidget* const> focusable) {
    std::vector<QShortcut*> shortcuts;
    std::vector<QKeySequence> first;
    for (const ButtonKey& k : keys) {
        k.button->setToolTip(k.tip);
        auto* sc = new QShortcut(k.key, &window);
        sc->setContext(Qt::WindowShortcut);
        QAbstractButton* button = k.button;
        QObject::connect(sc, &QShortcut::activated, &window, [button] { button->click(); });
        shortcuts.push_back(sc);
        first.push_back(k.key);
    }
    first.insert(first.end(), other.begin(), other.end());
    auto* filter = new WindowKeysFirst(&window, std::move(first));
    for (QWidget* w : focusable) w->installEventFilter(filter);
    return shortcuts;
}

void place_status_line(StatusLine& status_line, ChartMain& chart, QSize client, const MainLayout& layout) {
    const StatusLinePlace p = status_line_place(client.width() * 15.0, client.height() * 15.0, layout);
    auto px = [](double t) { return static_cast<int>(std::lround(t / 15.0)); };
    status_line.setGeometry(px(p.rect.left), client.height() - px(kStatusLineHeight), px(p.rect.width),
                            px(kStatusLineHeight));
    status_line.raise();
    chart.set_bottom_inset(px(p.chart_inset));
}

bool remembered_beep() { return viewer_settings().value(kBeepKey, true).toBool(); }

void remember_beep(bool on) { viewer_settings().setValue(kBeepKey, on); }

}  // namespace veldra::viewer
