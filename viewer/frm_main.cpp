#include "viewer/frm_main.h"

#include <cmath>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTime>
#include <QTimer>
#include <QToolButton>

#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "viewer/core/cell_query.h"
#include "viewer/core/chart_text.h"
#include "viewer/core/colour_ramps.h"
#include "viewer/core/display_block.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/map_guides.h"
#include "viewer/core/navigation.h"
#include "viewer/core/perceptual_ramps.h"
#include "viewer/fitted_captions.h"
#include "viewer/frm_export.h"
#include "viewer/map_menu.h"
#include "viewer/pic_map.h"
#include "viewer/status_line.h"
#include "viewer/ui_services.h"

namespace veldra::viewer {

FrmMain::FrmMain(ViewerState& state, UiServices& ui, FrmExport& frm_export, std::optional<std::uint32_t> seed,
                 QWidget* parent)
    : QWidget(parent), state_(state), ui_(ui), frm_export_(frm_export), seed_(seed) {
    build_main_controls(*this, *this, layout_);
    connect_controls();
    build_tools();
}

FrmMain::~FrmMain() = default;

void FrmMain::connect_controls() {
    on_list_click(lstMaps, [this] { lstMaps_Click(); });
    on_list_click(lstIndex, [this] { lstIndex_Click(); });
    on_list_click(lstClr, [this] { lstClr_Click(); });
    // Setting a box's text raises its change event before the setter returns:
    // a month step across a year boundary draws twice, as the model does.
    connect(txtYear, &QLineEdit::textChanged, this, &FrmMain::txtYear_Change);
    connect(txtMonth, &QLineEdit::textChanged, this, &FrmMain::txtMonth_Change);
    connect(cmdYrUp, &QToolButton::clicked, this, &FrmMain::cmdYrUp_Click);
    connect(cmdYrDown, &QToolButton::clicked, this, &FrmMain::cmdYrDown_Click);
    connect(cmdMnUp, &QToolButton::clicked, this, &FrmMain::cmdMnUp_Click);
    connect(cmdMnDown, &QToolButton::clicked, this, &FrmMain::cmdMnDown_Click);
    connect(cmdAuto, &QPushButton::clicked, this, &FrmMain::cmdAuto_Click);
    connect(cmdExport, &QPushButton::clicked, this, &FrmMain::cmdExport_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &FrmMain::cmdEnd_Click);
    connect(tmrAuto, &QTimer::timeout, this, &FrmMain::tmrAuto_Timer);
    connect(tmrRedraw, &QTimer::timeout, this, &FrmMain::tmrRedraw_Timer);
    connect(picMap, &PicMap::mouse_down, this, &FrmMain::picMap_MouseDown);
}

void FrmMain::build_tools() {
    // The three lists say what they are for.
    lstMaps->setToolTip("Variables of the model: choose one to draw it");
    lstIndex->setToolTip("Layers of the chosen variable: choose one to draw it");
    lstClr->setToolTip("Colour ramp of the map");
    picMap->setToolTip(QString());

    const MapMenu menu = build_map_menu(*this);
    status_line = menu.status_line;
    act_save_map = menu.save_map;
    act_save_frames = menu.save_frames;
    act_same_colours = menu.same_colours;
    act_beep = menu.beep;
    act_zoom_in = menu.zoom_in;
    act_zoom_out = menu.zoom_out;
    act_whole_map = menu.whole_map;
    act_save_video = menu.save_video;
    act_colour_scale = menu.colour_scale;
    act_difference = menu.difference;
    act_borders = menu.borders;
    act_graticule = menu.graticule;
    act_colour_maps = menu.colour_maps;
    act_show = menu.show;
    act_compare = menu.compare;
    act_end_compare = menu.end_compare;
    act_zone_series = menu.zone_series;

    display_ = std::make_unique<MapDisplay>(state_, *picMap, *status_line, *lstIndex);
    same_colours_ = std::make_unique<SameColours>(state_, *act_same_colours, *status_line, *display_);
    saver_ = std::make_unique<MapSaver>(state_, ui_, *picMap, *chartMain, *status_line);
    options_ = std::make_unique<MapOptionsUi>(state_, *this, [this] {
        if (is_drawable(state_)) Draw_Data();
    });
    video_ = std::make_unique<VideoSaver>(state_, ui_, *picMap, *status_line);

    connect(act_save_map, &QAction::triggered, this, &FrmMain::save_map_png);
    connect(act_save_frames, &QAction::triggered, this, &FrmMain::save_frames);
    connect(act_same_colours, &QAction::toggled, this, &FrmMain::set_same_colours);
    connect(act_beep, &QAction::toggled, this, &FrmMain::set_beep_on_redraw);
    connect(act_zoom_in, &QAction::triggered, this, [this] { zoom_by(2); });
    connect(act_zoom_out, &QAction::triggered, this, [this] { zoom_by(0.5); });
    connect(act_whole_map, &QAction::triggered, this, &FrmMain::show_whole_map);
    connect(&frm_export_, &FrmExport::export_done, status_line, &StatusLine::show_note);
    connect(act_save_video, &QAction::triggered, this, &FrmMain::save_video);
    connect(act_colour_scale, &QAction::triggered, this, &FrmMain::open_colour_scale);
    connect(act_difference, &QAction::triggered, this, &FrmMain::open_difference);
    connect(act_borders, &QAction::toggled, this, &FrmMain::set_borders);
    connect(act_graticule, &QAction::toggled, this, &FrmMain::set_graticule);
    for (int i = 0; i < static_cast<int>(act_colour_maps.size()); ++i)
        connect(act_colour_maps[static_cast<std::size_t>(i)], &QAction::triggered, this,
                [this, i] { set_colour_map(i == 0 ? 0 : kFirstPerceptualRamp + i - 1); });
    for (int i = 0; i < static_cast<int>(act_show.size()); ++i)
        connect(act_show[static_cast<std::size_t>(i)], &QAction::triggered, this,
                [this, i] { set_show(static_cast<MapShow>(i)); });
    connect(act_compare, &QAction::triggered, this, &FrmMain::compare_with_run);
    connect(act_end_compare, &QAction::triggered, this, &FrmMain::end_comparison);
    connect(act_zone_series, &QAction::triggered, this, &FrmMain::chart_zone_under_pointer);
    connect(picMap, &PicMap::box_drawn, this, &FrmMain::chart_box);
    connect(picMap, &PicMap::pointer_moved, this, [this](double x, double y) { pointer_point_ = QPointF(x, y); });
    connect(picMap, &PicMap::pointer_left, this, [this] { pointer_point_.reset(); });
    connect(chartMain->save_csv_action, &QAction::triggered, this, &FrmMain::save_series_csv);
    connect(chartMain->copy_action, &QAction::triggered, this, &FrmMain::copy_series);
    connect(chartMain->save_png_action, &QAction::triggered, this, &FrmMain::save_chart_png);

    const ButtonKey keys[] = {
        {cmdMnUp, QKeySequence(Qt::CTRL | Qt::Key_Right), "Next month (Ctrl+Right)"},
        {cmdMnDown, QKeySequence(Qt::CTRL | Qt::Key_Left), "Previous month (Ctrl+Left)"},
        {cmdYrUp, QKeySequence(Qt::CTRL | Qt::Key_Up), "Next year (Ctrl+Up)"},
        {cmdYrDown, QKeySequence(Qt::CTRL | Qt::Key_Down), "Previous year (Ctrl+Down)"},
        {cmdAuto, QKeySequence(Qt::CTRL | Qt::Key_Space), "Step a month every half second, or stop (Ctrl+Space)"},
        {cmdExport, QKeySequence(Qt::CTRL | Qt::Key_E), "Export the variable on display to grids (Ctrl+E)"},
        {cmdEnd, QKeySequence(Qt::CTRL | Qt::Key_Q), "End the program (Ctrl+Q)"},
    };
    const std::vector<QKeySequence> other = map_menu_keys(menu);
    QWidget* const focusable[] = {txtYear, txtMonth, lstMaps, lstIndex, lstClr, picMap, chartMain};
    shortcuts = add_button_keys(*this, keys, other, focusable);

    const bool beep = remembered_beep();
    act_beep->setChecked(beep);
    state_.beep_on_redraw = beep;
}

void FrmMain::select_item(QListWidget* list, int row) {
    {
        const QSignalBlocker quiet(list);
        list->setCurrentRow(row);
    }
    // Selecting by index raises the click event, also when the item was
    // selected already.
    if (list == lstMaps) lstMaps_Click();
    else if (list == lstIndex) lstIndex_Click();
    else if (list == lstClr) lstClr_Click();
}

void FrmMain::Form_Load() {
    // The model's files were read before the window was built (startup), and
    // the export dialog was created hidden, showing the program's own folder.
    state_.LandColour = kLandColour;
    state_.WaterColour = kWaterColour;
    state_.AutoRunning = false;
    state_.RedrawPending = false;

    {
        const QSignalBlocker quiet(lstMaps);
        lstMaps->clear();
        for (const files::OutputEntry& entry : state_.OutputTable) lstMaps->addItem(QString::fromStdString(entry.FileName));
    }
    fit_caption(*lstMaps);
    Draw_Globe();

    state_.AutoRunning = false;
    state_.RedrawPending = true;

    chartMain->set_row_count(static_cast<int>(run_shape(state_).months()));
    chartMain->set_first_year(state_.first_year());

    random_.seed(seed_ ? *seed_ : static_cast<std::uint32_t>(QTime::currentTime().msecsSinceStartOfDay() / 1000));

    // Nothing is selected yet, so neither change event draws.
    txtYear->setText(QString::fromStdString(files::plain_number(state_.GridInfo.firstYear)));
    txtMonth->setText("1");

    {
        const QSignalBlocker quiet(lstClr);
        lstClr->clear();
        for (const char* name : kRampNames) lstClr->addItem(name);
    }
    select_item(lstClr, 4);  // "Blue to Yellow"; its click finds nothing to draw

    state_.ExportSpanStart = state_.first_year();
    state_.ExportSpanEnd = state_.GridInfo.lastYear;

    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    state_.ramps = build_ramps([&] { return uniform(random_); });

    update_chart_month();
    display_->refresh_overlays();
}

void FrmMain::set_buttons_enabled(bool enabled) {
    cmdAuto->setEnabled(enabled);
    cmdExport->setEnabled(enabled);
}

void FrmMain::lstMaps_Click() {
    clear_map();
    const int row = selected_row(lstMaps);
    if (row < 0) {
        state_.SelectedEntry = 0;
    } else {
        state_.SelectedEntry = row + 1;
        state_.SelectedFile = state_.OutputTable[static_cast<std::size_t>(row)].FileName;
    }
    {
        // Emptying the layer list is not a layer choice: the layer number stays.
        const QSignalBlocker quiet(lstIndex);
        while (lstIndex->count() > 0) delete lstIndex->takeItem(0);
    }
    const files::OutputEntry* entry = state_.selected_entry();
    if (entry == nullptr) {
        frm_export_.follow_selection();
        return;
    }

    if (entry->LayerCount > 1) {
        const QString label = QString::fromStdString(entry->LayerLabel);
        for (int layer = 1; layer <= entry->LayerCount; ++layer) lstIndex->addItem(label + " " + QString::number(layer));
        fit_caption(*lstIndex);
    } else {
        state_.SelectedLayer = 1;
    }
    frm_export_.follow_selection();

    draw_or_disable(entry->LayerCount == 1 && state_.SelectedLayer == 1);
    display_->refresh_overlays();
}

void FrmMain::clear_map() {
    display_->clear();
    // The labels describe the values on display: none now.
    for (QLabel* label : {lblUnits, lblMean, lblStdev, lblCells}) label->clear();
}

void FrmMain::lstIndex_Click() {
    const int row = selected_row(lstIndex);
    state_.SelectedLayer = row < 0 ? 0 : row + 1;
    frm_export_.follow_selection();
    draw_or_disable(is_drawable(state_));
}

void FrmMain::draw_or_disable(bool can_draw) {
    // A choice that can be drawn repaints the mask and the data and allows
    // the animation and the export; any other leaves them disabled.
    if (can_draw) {
        Draw_Globe();
        Draw_Data();
    }
    set_buttons_enabled(can_draw);
    if (can_draw) chart_follows_selection();
}

void FrmMain::chart_follows_selection() {
    if (charted_region_ && charted_selection_ != std::pair{state_.SelectedEntry, state_.SelectedLayer}) {
        const ChartRegion region = *charted_region_;
        chart_region(region);
        return;
    }
    if (!charted_cell_ || charted_selection_ == std::pair{state_.SelectedEntry, state_.SelectedLayer}) return;
    if (const auto failure = chart_variable(*charted_cell_)) ui_.message(QString::fromStdString(*failure));
}

void FrmMain::lstClr_Click() {
    // A ramp chosen in the list takes the place of a perceptual map of the menu.
    if (state_.options.colour_map != 0) {
        state_.options.colour_map = 0;
        act_colour_maps[0]->setChecked(true);
    }
    if (is_drawable(state_)) Draw_Data();
}

void FrmMain::set_colour_map(int ramp_index) {
    const int action = is_perceptual_ramp(ramp_index) ? ramp_index - kFirstPerceptualRamp + 1 : 0;
    act_colour_maps[static_cast<std::size_t>(action)]->setChecked(true);
    options_->set_colour_map(action == 0 ? 0 : ramp_index);
}

void FrmMain::txtYear_Change() {
    update_chart_month();
    if (is_drawable(state_)) Draw_Data();
}

void FrmMain::txtMonth_Change() {
    update_chart_month();
    if (is_drawable(state_)) Draw_Data();
}

int FrmMain::year_value() const { return files::text_value(txtYear->text().toStdString()); }

int FrmMain::month_value() const { return files::text_value(txtMonth->text().toStdString()); }

void FrmMain::apply_step(const TimeStep& step) {
    // Month first, then year: each text raises its change event at once.
    if (step.month) txtMonth->setText(QString::number(*step.month));
    if (step.year) txtYear->setText(QString::number(*step.year));
    if (step.beep) ui_.beep();
}

void FrmMain::cmdYrUp_Click() { apply_step(year_up(year_value(), state_.GridInfo.lastYear)); }

void FrmMain::cmdYrDown_Click() {
    apply_step(year_down(year_value(), state_.first_year()));
}

void FrmMain::cmdMnUp_Click() { apply_step(month_up(year_value(), month_value(), state_.GridInfo.lastYear)); }

void FrmMain::cmdMnDown_Click() {
    apply_step(month_down(year_value(), month_value(), state_.first_year()));
}

void FrmMain::cmdAuto_Click() {
    if (state_.AutoRunning) {
        state_.AutoRunning = false;
        tmrAuto->stop();
        cmdAuto->setText("Auto");
    } else {
        state_.AutoRunning = true;
        tmrAuto->start(500);
        cmdAuto->setText("Manual");
    }
}

void FrmMain::tmrAuto_Timer() { cmdMnUp_Click(); }

void FrmMain::tmrRedraw_Timer() {
    tmrRedraw->stop();
    Draw_Globe();
}

void FrmMain::Draw_Globe() {
    tmrRedraw->stop();
    MapCanvas& canvas = picMap->canvas();
    set_map_scale(canvas, state_);
    paint_globe(canvas, state_);
    paint_guides(canvas, state_, state_.options);
    // The mask covers every position: what was drawn before is gone.
    state_.picture.globe = true;
    state_.picture.grid_scale = true;
    state_.picture.values.reset();
    state_.picture.marked_cell.reset();
    display_->refresh_overlays();
    picMap->update();
    if (state_.RedrawPending) {
        state_.RedrawPending = false;
        lstMaps_Click();
    }
    tmrRedraw->stop();
}

void FrmMain::Draw_Data() {
    if (derived_map()) {
        // A summary of the run, or this run minus the baseline: the same
        // ramps, statistics and legend as a month.
        ShownField field = shown_fields_.read(state_, show_, year_value(), month_value(), baseline_.get());
        if (!field.ok()) {
            ui_.message(QString::fromStdString(field.message));
            return;
        }
        state_.shown_values.clear();
        state_.reference_values.clear();
        state_.display_values = std::move(field.values);
        paint_display_values();
        return;
    }
    BlockRead block = read_display_block(state_, year_value(), month_value(), state_.SelectedLayer);
    if (!block.ok()) {
        ui_.message(QString::fromStdString(block.message));
        return;
    }
    std::vector<float> values = std::move(block.values);
    state_.shown_values.clear();
    state_.reference_values.clear();
    if (state_.options.difference) {
        // The month shown less the same cells in the month of the difference view.
        const auto [year, month] = state_.options.difference->reference(month_value());
        BlockRead other = read_display_block(state_, year, month, state_.SelectedLayer);
        if (!other.ok()) {
            ui_.message(QString::fromStdString(other.message));
            return;
        }
        state_.shown_values = std::move(values);
        state_.reference_values = std::move(other.values);
        values = difference_values(state_.shown_values, state_.reference_values);
    }
    state_.display_values = std::move(values);
    paint_display_values();
}

void FrmMain::paint_display_values() {
    state_.picture.shown = shown_note(show_, year_value(), month_value(), state_.first_year(),
                                      state_.GridInfo.lastYear, baseline_ ? baseline_->name : std::string());
    state_.picture.year = year_value();
    state_.picture.month = month_value();
    if (state_.beep_on_redraw) ui_.beep();
    same_colours_->maybe_start();
    MapCanvas& canvas = picMap->canvas();
    set_map_scale(canvas, state_);
    state_.picture.grid_scale = true;

    const RampChoice ramp = choose_ramp(state_.ramps, selected_text(lstClr).toStdString());
    // A difference takes the diverging map; a perceptual map of the menu takes the list's place.
    const int map = state_.options.difference && !derived_map() ? kBlueWhiteRedRamp : state_.options.colour_map;
    if (map != 0) {
        Stretcher(ramp_at(state_.ramps, map));
    } else if (ramp.random) {
        paint_random(canvas, state_);
        state_.picture.values = PaintedValues{};
        state_.picture.marked_cell.reset();
        display_->refresh_overlays();
        picMap->update();
    } else if (ramp.stretched) {
        Stretcher(*ramp.stretched);
    }
    finish_picture();
    display_->refresh_readout();
}

void FrmMain::finish_picture() {
    if (!state_.picture.values) return;
    paint_guides(picMap->canvas(), state_, state_.options);
    // The charted cell stays marked until another cell is charted.
    if (charted_cell_) mark_cell(*charted_cell_, rgb(255, 255, 0));
    picMap->update();
}

void FrmMain::set_borders(bool on) {
    if (act_borders->isChecked() != on) {
        act_borders->setChecked(on);  // runs this again through its signal
        return;
    }
    state_.options.borders = on;
    display_->repaint();
}

void FrmMain::set_graticule(bool on) {
    if (act_graticule->isChecked() != on) {
        act_graticule->setChecked(on);
        return;
    }
    state_.options.graticule = on;
    display_->repaint();
}

void FrmMain::Stretcher(const ColourRamp& ramp) {
    const StretchStats stats = stretch_stats(state_.display_values);
    const StatsLabels labels = stats_labels(stats, state_);
    lblMean->setText(QString::fromStdString(labels.mean));
    lblStdev->setText(QString::fromStdString(labels.stdev));
    lblCells->setText(QString::fromStdString(labels.cells));
    lblUnits->setText(QString::fromStdString(labels.units));
    // With the same colours for every month, the month's own statistics are
    // shown but the colours follow the stretch over the run.
    // Fixed ends of the colour scale take the place of either.
    // The stretch over the run's months and the difference to another month
    // are for months only.
    const bool derived = derived_map();
    const StretchStats* run =
        derived ? nullptr : state_.run_scale.stats_for(state_.SelectedEntry, state_.SelectedLayer);
    int index = 4;
    for (int i = 1; i < kFirstPerceptualRamp + kPerceptualRampCount; ++i)
        if (&ramp_at(state_.ramps, i) == &ramp) index = i;
    MapOptions options = state_.options;
    if (derived) options.difference.reset();
    const PaintedValues painted = choose_painting(index, stats, run, options, state_.picture.month);
    if (derived) {
        const std::string label =
            show_label(show_, year_value(), month_value(), state_.first_year(), state_.GridInfo.lastYear);
        status_line->show_note(QString::fromStdString("Showing " + (label.empty() ? std::string("the month") : label) +
                                                      (baseline_ ? " minus " + baseline_->folder : std::string())));
    }
    paint_values(picMap->canvas(), state_, state_.display_values, painted);
    state_.picture.values = painted;
    state_.picture.marked_cell.reset();
    display_->refresh_overlays();
    picMap->update();
}

void FrmMain::cmdEnd_Click() {
    // Nothing is kept open or unsaved between events, so ending is immediate;
    // frames being written stop after the one in hand.
    tmrAuto->stop();
    tmrRedraw->stop();
    cancel_frames();
    cancel_video();
    cancel_run_scale();
    frm_export_.hide();
    hide();
    QCoreApplication::exit(0);
}

void FrmMain::cmdExport_Click() {
    frm_export_.open_dialog();
}

void FrmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
    place_status_line();
}

void FrmMain::Form_Resize() {
    state_.RedrawPending = true;
    clear_map();

    const QSize outer = frameGeometry().size();
    const WindowState window_state = isMinimized()   ? WindowState::minimized
                                     : isMaximized() ? WindowState::maximized
                                                     : WindowState::normal;
    const ResizeOutcome r = form_resize(outer.width() * 15.0, outer.height() * 15.0, window_state, layout_);
    // A size the window system did not grant is not asked for again, so a
    // screen too small for the rules cannot start an endless chain.
    if (r.new_size && r.new_size != requested_size_) {
        requested_size_ = r.new_size;
        const QSize frame = frameGeometry().size() - size();
        // Whole pixels at least as large as asked: 7007 twips are 467.1
        // pixels, and 467 would be too small again.
        auto at_least = [](double t) { return static_cast<int>(std::ceil(t / 15.0)); };
        resize(at_least(r.new_size->width) - frame.width(), at_least(r.new_size->height) - frame.height());
    }
    if (!r.layout) return;
    apply_layout(*r.layout);

    picMap->canvas().set_scale(-180, 90, 180, -90);
    state_.picture.grid_scale = false;
    tmrRedraw->start(1000);
}

void FrmMain::fit_to_screen(QSize available) {
    const OuterSize outer = start_size(available.width() * 15.0, available.height() * 15.0);
    const QSize frame = frameGeometry().size() - size();
    // Whole pixels within the screen; the minimum is never cut.
    auto within = [](double t, double least) {
        return std::max(static_cast<int>(std::floor(t / 15.0)), static_cast<int>(std::ceil(least / 15.0)));
    };
    resize(within(outer.width, kMinOuterWidth) - frame.width(), within(outer.height, kMinOuterHeight) - frame.height());
}

void FrmMain::apply_layout(const MainLayout& l) {
    layout_ = l;
    place_main_controls(*this, l);
    place_status_line();
}

void FrmMain::place_status_line() {
    if (status_line) veldra::viewer::place_status_line(*status_line, *chartMain, size(), layout_);
}

void FrmMain::mark_cell(std::size_t cell, Rgb colour) {
    veldra::viewer::mark_cell(picMap->canvas(), state_, cell, colour);
    state_.picture.marked_cell = cell;
    picMap->update();
}

void FrmMain::query_at(double longitude, double latitude) {
    // Map units are cells from the grid's centre.
    const files::ViewerGridInfo& g = state_.GridInfo;
    const double size = static_cast<double>(g.cellSize);
    picMap_MouseDown(Qt::LeftButton, Qt::NoModifier, (longitude - (g.lowerX + g.upperX) / 2) / size,
                     (latitude - (g.lowerY + g.upperY) / 2) / size);
}

void FrmMain::picMap_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, double x, double y) {
    // Every button and every shift state query alike (a Shift press that
    // draws a box comes as box_drawn instead).
    const auto source = selection_source(state_);
    if (!source) return;
    const auto cell = nearest_cell(state_.CellTable, state_.extents.half_cols, state_.extents.half_rows_int, x, y);
    if (!cell) return;
    mark_cell(*cell, rgb(255, 255, 255));
    charted_cell_ = *cell;
    charted_region_.reset();
    const auto failure = chart_variable(*cell);
    // The white marker and the first series reach the screen before the
    // climate files are read.
    QCoreApplication::processEvents();
    std::string failures = (failure ? *failure + "\n" : std::string()) + Chart_Climate(*cell);
    chartMain->show();
    show_pointer(x, y);
    status_line->show_note(QString::fromStdString(charting_note(charted_cell(state_, *cell))));
    if (!failures.empty()) {
        failures.pop_back();
        ui_.message(QString::fromStdString(failures));
    }
}

std::optional<std::string> FrmMain::chart_variable(std::size_t cell) {
    const auto source = selection_source(state_);
    if (!source) return std::nullopt;
    chartMain->set_legend_text(1, QString::fromStdString(source->legend));
    const auto climate = climate_sources(state_);
    for (std::size_t c = 0; c < climate.size(); ++c)
        chartMain->set_legend_text(static_cast<int>(c) + 2, QString::fromStdString(climate[c].legend));
    chartMain->set_value_axis_title(QString::fromStdString(value_axis_title(*state_.selected_entry())));
    chartMain->set_units(1, std::string(files::trim_blanks(state_.selected_entry()->Units)));
    // The cell is named: it may lie far from a press over water.
    const ChartedCell named = charted_cell(state_, cell);
    chartMain->set_cell(QString::fromStdString(chart_title(named)), csv_cell_header(named));
    const MonthlySeries series = read_cell_series(*source, cell, run_shape(state_));
    chartMain->set_column(1, series);
    charted_selection_ = {state_.SelectedEntry, state_.SelectedLayer};
    return series.failure;
}

std::string FrmMain::Chart_Climate(std::size_t cell) {
    std::string failures;
    const auto climate = climate_sources(state_);
    for (std::size_t c = 0; c < climate.size(); ++c) {
        mark_cell(cell, rgb(255, 255, 0));
        const MonthlySeries series = read_cell_series(climate[c], cell, run_shape(state_));
        chartMain->set_column(static_cast<int>(c) + 2, series);
        if (series.failure) failures += *series.failure + "\n";
    }
    return failures;
}

void FrmMain::update_chart_month() {
    const std::int64_t row = time_row(state_.first_year(), year_value(), month_value());
    chartMain->set_current_row(row >= 1 && row <= chartMain->row_count() ? static_cast<int>(row) : 0);
}

void FrmMain::save_video() { video_->save_video(year_value(), selected_text(lstClr).toStdString()); }

void FrmMain::save_frames() { saver_->save_frames(year_value(), selected_text(lstClr).toStdString()); }

void FrmMain::set_beep_on_redraw(bool on) {
    if (act_beep->isChecked() != on) {
        act_beep->setChecked(on);
        return;
    }
    state_.beep_on_redraw = on;
    remember_beep(on);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The close box ends the whole program, like End: the hidden export
    // dialog must not keep it running.
    event->accept();
    cmdEnd_Click();
}

void FrmMain::save_series_csv() {
    const auto source = selection_source(state_);
    saver_->save_series_csv(charted_cell_, charted_region_ && source
                                               ? QString::fromStdString(region_csv_name(*source, *charted_region_))
                                               : QString());
}

void FrmMain::set_show(MapShow show) {
    act_show[static_cast<std::size_t>(show)]->setChecked(true);
    show_ = show;
    if (is_drawable(state_)) Draw_Data();
}

void FrmMain::compare_with_run() {
    const QString folder = ui_.browse_folder("Select the folder of the run to compare with: ");
    if (!folder.isEmpty()) compare_with(folder.toStdString());
}

bool FrmMain::compare_with(const std::string& folder) {
    try {
        baseline_ = std::make_unique<BaselineRun>(load_baseline(state_, folder));
    } catch (const files::Error& e) {
        ui_.message(QString::fromStdString(e.what()));
        return false;
    }
    act_end_compare->setEnabled(true);
    if (is_drawable(state_)) Draw_Data();
    return true;
}

void FrmMain::end_comparison() {
    baseline_.reset();
    act_end_compare->setEnabled(false);
    if (is_drawable(state_)) Draw_Data();
    else status_line->show_note(QString());
}

void FrmMain::chart_box(double x0, double y0, double x1, double y1) {
    if (!selection_source(state_)) return;
    try {
        chart_region(box_region(state_, box_between(state_, x0, y0, x1, y1)));
    } catch (const files::Error& e) {
        ui_.message(QString::fromStdString(e.what()));
    }
}

void FrmMain::chart_zone_under_pointer() {
    std::optional<std::size_t> cell = charted_cell_;
    if (pointer_point_)
        cell = nearest_cell(state_.CellTable, state_.extents.half_cols, state_.extents.half_rows_int,
                            pointer_point_->x(), pointer_point_->y());
    if (!selection_source(state_) || !cell) {
        ui_.message("Choose a variable, then point at a cell of the map (or query one) to chart its zone.");
        return;
    }
    chart_region(zone_region(state_, *cell));
}

void FrmMain::chart_region(const ChartRegion& region) {
    const auto source = selection_source(state_);
    if (!source) return;
    const std::string name = region_series_name(*source, region);
    chartMain->set_legend_text(1, QString::fromStdString(name));
    chartMain->set_value_axis_title(QString::fromStdString(value_axis_title(*state_.selected_entry())));
    chartMain->set_units(1, std::string(files::trim_blanks(state_.selected_entry()->Units)));
    chartMain->set_cell(QString::fromStdString(name), name);
    const MonthlySeries series = read_region_series(state_, *source, region);
    chartMain->set_column(1, series);
    chartMain->show();
    charted_region_ = region;
    charted_cell_.reset();
    charted_selection_ = {state_.SelectedEntry, state_.SelectedLayer};
    status_line->show_note(QString::fromStdString("charting the area mean of " + region.name));
    if (series.failure) ui_.message(QString::fromStdString(*series.failure));
}

}  // namespace veldra::viewer
