// The main window of the viewer: the variable, layer and colour lists, the
// year and month boxes with their arrows, the animation, the map and the
// statistics. The drawing and stepping rules live in viewer_core; the
// handlers here apply them to the controls, in the order the events of the
// window would run them. Beyond them (frm_main_tools.cpp): the legend, the
// value under the pointer, zoom and pan, saving the map and the chart, the
// same colours for every month, the shortcuts and the beep's option.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include <QKeySequence>
#include <QPointF>
#include <QString>
#include <QWidget>

#include "viewer/chart_main.h"
#include "viewer/core/viewer_state.h"
#include "viewer/core/window_layout.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShortcut;
class QTimer;
class QToolButton;

namespace veldra::viewer {

class FrmExport;
class PicMap;
class RunScaleJob;
class StatusLine;
class StatusTask;
class UiServices;
struct TimeStep;

class FrmMain : public QWidget {
    Q_OBJECT
public:
    // `state` is loaded already; Form_Load puts the window into its starting
    // state. Without a seed, the random colours are seeded from the time of day.
    FrmMain(ViewerState& state, UiServices& ui, FrmExport& frm_export, std::optional<std::uint32_t> seed = std::nullopt,
            QWidget* parent = nullptr);
    ~FrmMain() override;

    QListWidget* lstMaps;
    QListWidget* lstIndex;
    QListWidget* lstClr;
    QLineEdit* txtYear;
    QLineEdit* txtMonth;
    QToolButton* cmdYrUp;
    QToolButton* cmdYrDown;
    QToolButton* cmdMnUp;
    QToolButton* cmdMnDown;
    QPushButton* cmdAuto;
    QPushButton* cmdExport;
    QPushButton* cmdEnd;
    QLabel* lblUnitsTitle;
    QLabel* lblUnits;
    QLabel* lblMeanTitle;
    QLabel* lblMean;
    QLabel* lblStdevTitle;
    QLabel* lblStdev;
    QLabel* lblCellsTitle;
    QLabel* lblCells;
    PicMap* picMap;
    ChartMain* chartMain;
    QTimer* tmrAuto;
    QTimer* tmrRedraw;

    // Beyond the design: the status line under the map with its menu, and
    // the actions of that menu.
    StatusLine* status_line = nullptr;
    QAction* act_save_map = nullptr;
    QAction* act_save_frames = nullptr;
    QAction* act_same_colours = nullptr;
    QAction* act_beep = nullptr;
    QAction* act_zoom_in = nullptr;
    QAction* act_zoom_out = nullptr;
    QAction* act_whole_map = nullptr;
    // The keyboard shortcuts of the buttons and of saving the map.
    std::vector<QShortcut*> shortcuts;

    // Selects item `row` of a list as the user would, running its click
    // handler once.
    void select_item(QListWidget* list, int row);

public slots:
    void Form_Load();
    void lstMaps_Click();
    void lstIndex_Click();
    void lstClr_Click();
    void txtYear_Change();
    void txtMonth_Change();
    void cmdYrUp_Click();
    void cmdYrDown_Click();
    void cmdMnUp_Click();
    void cmdMnDown_Click();
    void cmdAuto_Click();
    void tmrAuto_Timer();
    void tmrRedraw_Timer();
    void cmdEnd_Click();
    void cmdExport_Click();

    // A cell query at a longitude and latitude, as a press there would make.
    void query_at(double longitude, double latitude);
    void picMap_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);
    void Form_Resize();

    void Draw_Globe();
    void Draw_Data();
    void Stretcher(const ColourRamp& ramp);

    // Zoom and pan: around a point of the picture (device pixels), around
    // its centre, by a share of the shown part, back to the whole grid.
    void zoom_at_pixel(QPointF device_pos, double factor);
    void zoom_by(double factor);
    void pan_map(double east_share, double north_share);
    void show_whole_map();
    // The view as a zoom factor around a longitude and latitude.
    void zoom_around(double longitude, double latitude, double zoom);

    // What lies under the pointer at map point (x, y), in the status line.
    void show_pointer(double x, double y);

    void save_map_png();
    void save_frames();
    bool frames_running() const { return frames_ != nullptr; }
    void cancel_frames();

    // "Same colours for every month"; the stretch over the run is computed
    // off the window thread.
    void set_same_colours(bool on);
    bool run_scale_running() const { return run_job_ != nullptr; }
    void cancel_run_scale();

    void set_beep_on_redraw(bool on);

    void save_series_csv();
    void copy_series();
    void save_chart_png();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void build_controls();
    // Marks the cell again and charts the climate series; the reasons for
    // series that could not be read, one a line.
    std::string Chart_Climate(std::size_t cell);
    void mark_cell(std::size_t cell, Rgb colour);
    void apply_layout(const MainLayout& layout);
    void connect_list(QListWidget* list, void (FrmMain::*handler)());
    void apply_step(const TimeStep& step);
    void set_buttons_enabled(bool enabled);
    void draw_or_disable(bool can_draw);
    int year_value() const;
    int month_value() const;

    void build_tools();
    void add_shortcut(const QKeySequence& key, const std::function<void()>& run);
    void clear_map();
    void repaint_map();
    void refresh_overlays();
    void refresh_readout();
    void place_status_line();
    void maybe_start_run_scale();
    void poll_run_scale();
    void recolour_map();
    void update_chart_month();
    void frames_step();
    void finish_frames();
    QString suggested_path(const QString& name) const;
    void remember_folder(const QString& path);
    void view_key(int key);
    void wheel_turned(QPointF device_pos, int delta, bool horizontal, Qt::KeyboardModifiers modifiers);

    ViewerState& state_;
    UiServices& ui_;
    FrmExport& frm_export_;
    std::optional<std::uint32_t> seed_;
    std::mt19937 random_;
    MainLayout layout_;  // the controls' places in twips, as last laid out
    std::optional<OuterSize> requested_size_;

    std::optional<QPointF> pointer_;     // the map point under the pointer, while over the map
    std::optional<std::size_t> charted_cell_;  // the cell of the chart's first series
    QString save_folder_;                // where the last file was saved
    std::unique_ptr<RunScaleJob> run_job_;
    StatusTask* run_task_ = nullptr;
    QTimer* tmr_run_scale_ = nullptr;
    // Animation frames being written, one a turn of the event loop.
    struct FramesJob {
        std::vector<std::pair<int, int>> months;
        std::vector<std::string> names;
        QString folder;
        std::string path;  // the variable file
        int layers = 1;
        int layer = 1;
        OutputEntry entry;
        PaintedValues painted;  // the ramp, and the stretch when it is the run's
        MapRect shown;
        std::size_t next = 0;
        int written = 0;
        std::vector<std::string> problems;
        bool stopped = false;  // a file could not be written
    };
    std::unique_ptr<FramesJob> frames_;
    StatusTask* frames_task_ = nullptr;
};

}  // namespace veldra::viewer
