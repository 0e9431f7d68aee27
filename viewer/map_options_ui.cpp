#include "viewer/map_options_ui.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "modelfiles/list_reader.h"
#include "modelfiles/number_text.h"
#include "viewer/core/cell_query.h"
#include "viewer/core/chart_text.h"
#include "viewer/core/viewer_state.h"
#include "viewer/run_scale_job.h"

namespace veldra::viewer {
namespace {

QString number_text(double v) { return QString::fromStdString(files::significant_number(v, 6)); }

QPushButton* push(const char* caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

ColourScaleDialog::ColourScaleDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("dlgColourScale");
    setWindowTitle("Colour scale");
    auto* grid = new QGridLayout(this);
    optStretched = new QRadioButton("Stretch each map (mean ± 2 standard deviations)", this);
    optFixed = new QRadioButton("Fixed ends:", this);
    grid->addWidget(optStretched, 0, 0, 1, 4);
    grid->addWidget(optFixed, 1, 0, 1, 4);
    grid->addWidget(new QLabel("Low end:", this), 2, 0);
    txtLow = new QLineEdit(this);
    grid->addWidget(txtLow, 2, 1);
    grid->addWidget(new QLabel("High end:", this), 2, 2);
    txtHigh = new QLineEdit(this);
    grid->addWidget(txtHigh, 2, 3);
    grid->addWidget(new QLabel("Ends taken as:", this), 3, 0);
    cboEndsFrom = new QComboBox(this);
    cboEndsFrom->addItems({"Mean ± 2 standard deviations", "Minimum and maximum", "Percentiles 2 to 98"});
    grid->addWidget(cboEndsFrom, 3, 1, 1, 3);
    cmdFromMonth = push("From this month", this);
    cmdFromRun = push("From the whole run", this);
    grid->addWidget(cmdFromMonth, 4, 0, 1, 2);
    grid->addWidget(cmdFromRun, 4, 2, 1, 2);
    chkLog = new QCheckBox("Logarithmic (for positive values)", this);
    grid->addWidget(chkLog, 5, 0, 1, 4);
    lblScaleOf = new QLabel(this);
    lblScaleOf->setWordWrap(true);
    grid->addWidget(lblScaleOf, 6, 0, 1, 4);
    lblNote = new QLabel(this);
    lblNote->setWordWrap(true);
    grid->addWidget(lblNote, 7, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cmdOk = push("OK", this);
    cmdOk->setDefault(true);
    cmdApply = push("Apply", this);
    cmdCancel = push("Cancel", this);
    for (QPushButton* b : {cmdOk, cmdApply, cmdCancel}) buttons->addWidget(b);
    grid->addLayout(buttons, 8, 0, 1, 4);
    optStretched->setChecked(true);
    auto follow = [this] {
        for (QWidget* w : std::initializer_list<QWidget*>{txtLow, txtHigh}) w->setEnabled(optFixed->isChecked());
        chkLog->setEnabled(optFixed->isChecked() && !property("difference").toBool());
    };
    connect(optFixed, &QRadioButton::toggled, this, follow);
    follow();
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::hide);
}

void ColourScaleDialog::show_scale(const ColourScale& scale, bool difference) {
    setProperty("difference", difference);
    (scale.fixed ? optFixed : optStretched)->setChecked(true);
    txtLow->setText(number_text(scale.lo));
    txtHigh->setText(number_text(scale.hi));
    chkLog->setChecked(scale.logarithmic && !difference);
    chkLog->setEnabled(optFixed->isChecked() && !difference);
    lblScaleOf->setText(difference ? "A difference is on display: these ends are the difference's own scale. Unless "
                                     "fixed, it runs from -m to m, m the month's largest absolute difference. The "
                                     "logarithmic option does not apply to differences."
                                   : "These ends colour the values of the stretched ramps and perceptual maps.");
    lblNote->clear();
}

EndsFrom ColourScaleDialog::ends_from() const {
    return static_cast<EndsFrom>(std::clamp(cboEndsFrom->currentIndex(), 0, 2));
}

void ColourScaleDialog::fill_ends(double lo, double hi, const QString& note) {
    optFixed->setChecked(true);
    txtLow->setText(number_text(lo));
    txtHigh->setText(number_text(hi));
    lblNote->setText(note);
}

DifferenceDialog::DifferenceDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("dlgDifference");
    setWindowTitle("Show difference to");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("The map shows its values minus those of", this), 0, 0, 1, 4);
    grid->addWidget(new QLabel("Year:", this), 1, 0);
    spnYear = new QSpinBox(this);
    // Wide enough for any year of a run; the run's own years are set on opening.
    spnYear->setRange(-32768, 32767);
    grid->addWidget(spnYear, 1, 1);
    grid->addWidget(new QLabel("Month:", this), 1, 2);
    cboMonth = new QComboBox(this);
    cboMonth->addItem("The month shown");
    for (int m = 1; m <= 12; ++m) cboMonth->addItem(month_name(m));
    grid->addWidget(cboMonth, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cmdShow = push("Show difference", this);
    cmdShow->setDefault(true);
    cmdOff = push("No difference", this);
    cmdCancel = push("Cancel", this);
    for (QPushButton* b : {cmdShow, cmdOff, cmdCancel}) buttons->addWidget(b);
    grid->addLayout(buttons, 2, 0, 1, 4);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::hide);
}

MapOptionsUi::MapOptionsUi(ViewerState& state, QWidget& window, std::function<void()> redraw)
    : scale_dialog(new ColourScaleDialog(&window)),
      difference_dialog(new DifferenceDialog(&window)),
      state_(state),
      redraw_(std::move(redraw)) {
    ColourScaleDialog* d = scale_dialog;
    QObject::connect(d->cmdFromMonth, &QPushButton::clicked, d, [this] { from_month(); });
    QObject::connect(d->cmdFromRun, &QPushButton::clicked, d, [this] { from_run(); });
    QObject::connect(d->cmdApply, &QPushButton::clicked, d, [this] { scale_from_dialog(); });
    QObject::connect(d->cmdOk, &QPushButton::clicked, d, [this] {
        if (scale_from_dialog()) scale_dialog->hide();
    });
    DifferenceDialog* f = difference_dialog;
    QObject::connect(f->cmdShow, &QPushButton::clicked, f, [this] {
        set_difference(DifferenceTo{difference_dialog->spnYear->value(), difference_dialog->cboMonth->currentIndex()});
        difference_dialog->hide();
    });
    QObject::connect(f->cmdOff, &QPushButton::clicked, f, [this] {
        set_difference(std::nullopt);
        difference_dialog->hide();
    });
    run_timer_.setInterval(50);
    QObject::connect(&run_timer_, &QTimer::timeout, &run_timer_, [this] { poll_run(); });
}

MapOptionsUi::~MapOptionsUi() = default;

void MapOptionsUi::open_colour_scale() {
    scale_dialog->show_scale(state_.options.active_scale(), state_.options.difference.has_value());
    scale_dialog->show();
    scale_dialog->raise();
    scale_dialog->activateWindow();
}

void MapOptionsUi::open_difference(int year_shown) {
    DifferenceDialog* d = difference_dialog;
    d->spnYear->setRange(state_.first_year(), state_.GridInfo.lastYear);
    if (state_.options.difference) {
        d->spnYear->setValue(state_.options.difference->year);
        d->cboMonth->setCurrentIndex(state_.options.difference->month);
    } else {
        // A year earlier, the same month: the change over the year.
        d->spnYear->setValue(std::max(year_shown - 1, state_.first_year()));
        d->cboMonth->setCurrentIndex(0);
    }
    d->show();
    d->raise();
    d->activateWindow();
}

bool MapOptionsUi::scale_from_dialog() {
    ColourScaleDialog* d = scale_dialog;
    ColourScale scale = state_.options.active_scale();
    scale.fixed = d->optFixed->isChecked();
    if (scale.fixed) {
        const auto lo = files::parse_number(d->txtLow->text().trimmed().toStdString());
        const auto hi = files::parse_number(d->txtHigh->text().trimmed().toStdString());
        const bool log = d->chkLog->isChecked() && !state_.options.difference;
        const auto problem = lo && hi ? scale_problem(*lo, *hi, log) : "The low and the high end must both be numbers.";
        if (problem) {
            d->lblNote->setText(QString::fromStdString(*problem));
            return false;
        }
        scale.lo = *lo;
        scale.hi = *hi;
        scale.logarithmic = log;
    }
    d->lblNote->clear();
    set_scale(scale);
    return true;
}

void MapOptionsUi::from_month() {
    if (!state_.picture.values || state_.picture.values->random()) {
        scale_dialog->lblNote->setText("No stretched map is on display: choose a variable and a stretched ramp.");
        return;
    }
    const EndsFrom from = scale_dialog->ends_from();
    const auto ends = ends_of(state_.display_values, from);
    if (!ends) {
        scale_dialog->lblNote->setText("The month on display has no valid values.");
        return;
    }
    const char* const notes[] = {"The stretch of the month on display.",
                                 "The smallest and largest value of the month on display.",
                                 "The 2nd and 98th percentiles of the month on display."};
    scale_dialog->fill_ends(ends->first, ends->second, notes[static_cast<int>(from)]);
}

void MapOptionsUi::from_run() {
    const auto source = selection_source(state_);
    if (!source) {
        scale_dialog->lblNote->setText("Choose a variable and, where it has layers, a layer first.");
        return;
    }
    if (state_.options.difference) {
        scale_dialog->lblNote->setText("The whole run holds values, not differences: take the ends from this month "
                                       "or type them.");
        return;
    }
    const EndsFrom from = scale_dialog->ends_from();
    if (const StretchStats* run = state_.run_scale.stats_for(state_.SelectedEntry, state_.SelectedLayer);
        run && from != EndsFrom::percentiles) {
        if (from == EndsFrom::range)
            scale_dialog->fill_ends(run->min, run->max, "The smallest and largest value of the whole run.");
        else
            scale_dialog->fill_ends(run->lo, run->hi, "The stretch over the whole run.");
        return;
    }
    const RunShape run = run_shape(state_);
    RunStretchRequest request{source->path, source->layers, source->layer, run.first_year, run.last_year,
                              run.cell_count};
    request.percentiles = from == EndsFrom::percentiles;
    run_ends_from_ = from;
    run_job_ = std::make_unique<RunScaleJob>(request);
    scale_dialog->lblNote->setText("Reading every month of the run...");
    scale_dialog->cmdFromRun->setEnabled(false);
    run_timer_.start();
}

void MapOptionsUi::poll_run() {
    if (!run_job_ || !run_job_->finished()) return;
    run_timer_.stop();
    const RunStretchResult r = run_job_->result();
    run_job_.reset();
    scale_dialog->cmdFromRun->setEnabled(true);
    if (r.months_used == 0) {
        scale_dialog->lblNote->setText(QString::fromStdString(
            "No month of the run could be read" + (r.first_problem ? " (" + *r.first_problem + ")" : std::string())));
        return;
    }
    const std::string months = std::to_string(r.months_used) + " months of the run.";
    if (run_ends_from_ == EndsFrom::range)
        scale_dialog->fill_ends(r.stats.min, r.stats.max,
                                QString::fromStdString("The smallest and largest value of " + months));
    else if (run_ends_from_ == EndsFrom::percentiles && r.percentiles)
        scale_dialog->fill_ends(r.percentiles->first, r.percentiles->second,
                                QString::fromStdString("The 2nd and 98th percentiles of " + months));
    else
        scale_dialog->fill_ends(r.stats.lo, r.stats.hi, QString::fromStdString("The stretch over " + months));
}

void MapOptionsUi::follow_difference() {
    if (scale_dialog->isVisible())
        scale_dialog->show_scale(state_.options.active_scale(), state_.options.difference.has_value());
}

void MapOptionsUi::set_scale(const ColourScale& scale) {
    // While a difference is shown, its own scale: never logarithmic.
    ColourScale& target = state_.options.active_scale();
    target = scale;
    if (state_.options.difference) target.logarithmic = false;
    redraw_();
}

void MapOptionsUi::set_colour_map(int ramp_index) {
    state_.options.colour_map = ramp_index;
    redraw_();
}

void MapOptionsUi::set_difference(std::optional<DifferenceTo> difference) {
    state_.options.difference = difference;
    follow_difference();
    redraw_();
}

}  // namespace veldra::viewer
