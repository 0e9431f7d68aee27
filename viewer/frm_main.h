// The main window of the viewer: the variable, layer and colour lists, the
// year and month boxes with their arrows, the animation, the map, the chart
// of a cell and the statistics. The drawing and stepping rules live in
// viewer_core; the handlers here apply them to the controls, in the order
// the events of the window would run them. The window owns and calls the
// parts beyond its design: the controls as designed (main_controls.h), the
// map on screen with zoom and pan (map_display.h), the status line with the
// map's menu and the shortcuts (map_menu.h), saving the map, the frames and
// the chart (map_saver.h), and the same colours for every month
// (same_colours.h). None of them calls the window.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <QPointF>
#include <QWidget>

#include "viewer/chart_main.h"
#include "viewer/core/derived_map.h"
#include "viewer/core/viewer_state.h"
#include "viewer/core/window_layout.h"
#include "viewer/main_controls.h"
#include "viewer/map_display.h"
#include "viewer/map_options_ui.h"
#include "viewer/map_saver.h"
#include "viewer/video_saver.h"
#include "viewer/same_colours.h"

class QAction;
class QShortcut;

namespace veldra::viewer {

class FrmExport;
class PicMap;
class StatusLine;
class UiServices;
struct TimeStep;

class FrmMain : public QWidget, public MainControls {
    Q_OBJECT
public:
    // `state` is loaded already; Form_Load puts the window into its starting
    // state. Without a seed, the random colours are seeded from the time of day.
    FrmMain(ViewerState& state, UiServices& ui, FrmExport& frm_export, std::optional<std::uint32_t> seed = std::nullopt,
            QWidget* parent = nullptr);
    ~FrmMain() override;

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
    QAction* act_save_video = nullptr;
    QAction* act_colour_scale = nullptr;
    QAction* act_difference = nullptr;
    QAction* act_borders = nullptr;
    QAction* act_graticule = nullptr;
    std::array<QAction*, 5> act_colour_maps{};  // the list's ramp, then the perceptual maps
    std::array<QAction*, 5> act_show{};  // the month, the year's mean, the climatology, the run mean, the trend
    QAction* act_compare = nullptr;
    QAction* act_end_compare = nullptr;
    QAction* act_zone_series = nullptr;
    // The keyboard shortcuts of the buttons.
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
    // Opens no larger than the screen's available `available` pixels allow.
    void fit_to_screen(QSize available);

    void Draw_Globe();
    void Draw_Data();
    void Stretcher(const ColourRamp& ramp);

    void zoom_at_pixel(QPointF device_pos, double factor) { display_->zoom_at_pixel(device_pos, factor); }
    void zoom_by(double factor) { display_->zoom_by(factor); }
    void pan_map(double east_share, double north_share) { display_->pan(east_share, north_share); }
    void show_whole_map() { display_->show_whole_map(); }
    void zoom_around(double longitude, double latitude, double zoom) {
        display_->zoom_around(longitude, latitude, zoom);
    }
    void show_pointer(double x, double y) { display_->show_pointer(x, y); }

    void save_map_png() { saver_->save_map_png(); }
    void save_frames();
    bool frames_running() const { return saver_->frames_running(); }
    void cancel_frames() { saver_->cancel_frames(); }

    // "Same colours for every month"; the stretch over the run is computed
    // off the window thread.
    void set_same_colours(bool on) { same_colours_->set(on); }
    bool run_scale_running() const { return same_colours_->running(); }
    void cancel_run_scale() { same_colours_->cancel(); }

    void set_beep_on_redraw(bool on);

    // The map's options of the menu: the colour scale and its dialog, a
    // perceptual map (ramp index 5 to 8, or 0 for the list's ramp), and the
    // difference to another month and its dialog.
    void open_colour_scale() { options_->open_colour_scale(); }
    void set_colour_scale(const ColourScale& scale) { options_->set_scale(scale); }
    void set_colour_map(int ramp_index);
    void open_difference() { options_->open_difference(year_value()); }
    void set_difference(std::optional<DifferenceTo> difference) { options_->set_difference(difference); }
    MapOptionsUi& map_options() { return *options_; }
    // Coastlines and borders, and the graticule, over the map (and in saved
    // maps and frames).
    void set_borders(bool on);
    void set_graticule(bool on);

    // What the map shows: the month (as at start), or a summary of the run
    // at the year and month of the boxes.
    void set_show(MapShow show);
    MapShow shown() const { return show_; }
    // "Compare with run...": a baseline folder picked in the folder browser;
    // the map then shows this run minus the baseline until the comparison
    // ends. compare_with is false, with a message, for a run that cannot be
    // compared.
    void compare_with_run();
    bool compare_with(const std::string& folder);
    void end_comparison();
    const BaselineRun* baseline() const { return baseline_.get(); }
    // The chart's first series for a region: a box between two map points
    // (Shift and drag), or the zone of the cell under the pointer (or, with
    // the pointer off the map, of the charted cell). The climate series stay.
    void chart_box(double x0, double y0, double x1, double y1);
    void chart_zone_under_pointer();
    void chart_region(const ChartRegion& region);

    // "Save animation as video..."
    void save_video();
    bool video_running() const { return video_->running(); }
    void cancel_video() { video_->cancel(); }

    void save_series_csv();
    void copy_series() { saver_->copy_series(); }
    void save_chart_png() { saver_->save_chart_png(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void connect_controls();
    void build_tools();
    // Marks the cell again and charts the climate series; the reasons for
    // series that could not be read, one a line.
    std::string Chart_Climate(std::size_t cell);
    void mark_cell(std::size_t cell, Rgb colour);
    // Empties the map and the four statistics labels with it.
    void clear_map();
    // Charts the chosen variable at the chosen layer for `cell` as series 1,
    // with its legend, titles and the cell's name; the reason when it could
    // not all be read.
    std::optional<std::string> chart_variable(std::size_t cell);
    // After another variable or layer is drawn, the charted cell's series 1
    // follows it.
    void chart_follows_selection();
    // Over values just painted: the guides, and the charted cell's marker.
    void finish_picture();
    void apply_layout(const MainLayout& layout);
    // Paints state_.display_values with the chosen colours, then the guides.
    void paint_display_values();
    void place_status_line();
    void apply_step(const TimeStep& step);
    void set_buttons_enabled(bool enabled);
    void draw_or_disable(bool can_draw);
    void update_chart_month();
    int year_value() const;
    int month_value() const;

    ViewerState& state_;
    UiServices& ui_;
    FrmExport& frm_export_;
    std::optional<std::uint32_t> seed_;
    std::mt19937 random_;
    MainLayout layout_;  // the controls' places in twips, as last laid out
    std::optional<OuterSize> requested_size_;
    std::optional<std::size_t> charted_cell_;  // the cell of the chart's first series
    std::pair<int, int> charted_selection_{0, 0};  // the entry and layer of that series
    std::optional<ChartRegion> charted_region_;    // the region of the chart's first series, instead of a cell
    std::optional<QPointF> pointer_point_;         // the map point under the pointer, while over the map
    MapShow show_ = MapShow::month;
    std::unique_ptr<BaselineRun> baseline_;
    ShownFieldCache shown_fields_;  // the derived field last drawn
    bool derived_map() const { return show_ != MapShow::month || baseline_ != nullptr; }

    std::unique_ptr<MapDisplay> display_;
    std::unique_ptr<SameColours> same_colours_;
    std::unique_ptr<MapSaver> saver_;
    std::unique_ptr<MapOptionsUi> options_;
    std::unique_ptr<VideoSaver> video_;
};

}  // namespace veldra::viewer
