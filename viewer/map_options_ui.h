// The map's options beyond the design, as the Map menu offers them: the
// "Colour scale..." dialog (fixed ends filled by hand, from the month on
// display or from the whole run, on a linear or logarithmic scale), the
// perceptual colour maps, and the "Show difference to..." dialog. Both
// dialogs are modeless: the map stays live while they are open. What the
// options mean for the colours is viewer_core's (map_options.h).
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDialog>
#include <QTimer>

#include "viewer/core/map_options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace veldra::viewer {

class RunScaleJob;
struct ViewerState;

class ColourScaleDialog : public QDialog {
    Q_OBJECT
public:
    explicit ColourScaleDialog(QWidget* parent);
    QRadioButton* optStretched;
    QRadioButton* optFixed;
    QLineEdit* txtLow;
    QLineEdit* txtHigh;
    QComboBox* cboEndsFrom;  // what "From this month" and "From the whole run" take: EndsFrom's order
    QPushButton* cmdFromMonth;
    QPushButton* cmdFromRun;
    QCheckBox* chkLog;
    QLabel* lblScaleOf;  // whether the ends are the values' or a difference's
    QLabel* lblNote;  // where the ends come from, or why they cannot be used
    QPushButton* cmdOk;
    QPushButton* cmdApply;
    QPushButton* cmdCancel;

    // The scale of the values, or with `difference` the difference's own
    // (the logarithm is then off and cannot be chosen).
    void show_scale(const ColourScale& scale, bool difference = false);
    EndsFrom ends_from() const;
    // The ends put in the boxes, with the fixed scale chosen.
    void fill_ends(double lo, double hi, const QString& note);
};

class DifferenceDialog : public QDialog {
    Q_OBJECT
public:
    explicit DifferenceDialog(QWidget* parent);
    QSpinBox* spnYear;
    QComboBox* cboMonth;  // "The month shown", then January .. December
    QPushButton* cmdShow;
    QPushButton* cmdOff;
    QPushButton* cmdCancel;
};

class MapOptionsUi {
public:
    // `redraw` draws the month on display again when it can be drawn.
    MapOptionsUi(ViewerState& state, QWidget& window, std::function<void()> redraw);
    ~MapOptionsUi();
    MapOptionsUi(const MapOptionsUi&) = delete;
    MapOptionsUi& operator=(const MapOptionsUi&) = delete;

    void open_colour_scale();
    // The dialog of the difference, offering the years of the run.
    void open_difference(int year_shown);

    // Apply an option and draw again.
    void set_scale(const ColourScale& scale);
    void set_colour_map(int ramp_index);  // 0: the colour list's ramp, else 5 to 8
    void set_difference(std::optional<DifferenceTo> difference);

    ColourScaleDialog* scale_dialog;
    DifferenceDialog* difference_dialog;

private:
    bool scale_from_dialog();  // applies the dialog's scale; false when it cannot be used
    void from_month();
    void from_run();
    void poll_run();
    void follow_difference();  // an open dialog shows the scale the map now uses

    ViewerState& state_;
    std::function<void()> redraw_;
    std::unique_ptr<RunScaleJob> run_job_;
    EndsFrom run_ends_from_ = EndsFrom::stretch;  // what the job's ends are for
    QTimer run_timer_;
};

}  // namespace veldra::viewer
