// The main window of the viewer: the variable, layer and colour lists, the
// year and month boxes with their arrows, the animation, the map and the
// statistics. The drawing and stepping rules live in viewer_core; the
// handlers here apply them to the controls, in the order the events of the
// window would run them.
#pragma once

#include <cstdint>
#include <optional>
#include <random>

#include <QWidget>

#include "gui/chart_main.h"
#include "gui/core/viewer_state.h"
#include "gui/core/window_layout.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QToolButton;

namespace veldra::viewer {

class FrmExport;
class PicMap;
class UiServices;
struct TimeStep;

class FrmMain : public QWidget {
    Q_OBJECT
public:
    // `state` is loaded already; Form_Load puts the window into its starting
    // state. Without a seed, the random colours are seeded from the time of day.
    FrmMain(ViewerState& state, UiServices& ui, FrmExport& frm_export, std::optional<std::uint32_t> seed = std::nullopt,
            QWidget* parent = nullptr);

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

    ViewerState& state_;
    UiServices& ui_;
    FrmExport& frm_export_;
    std::optional<std::uint32_t> seed_;
    std::mt19937 random_;
    MainLayout layout_;  // the controls' places in twips, as last laid out
    std::optional<OuterSize> requested_size_;
};

}  // namespace veldra::viewer
