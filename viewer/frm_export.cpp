#include "viewer/frm_export.h"

#include <cmath>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "export/export_settings.h"
#include "export/lookup_grids.h"
#include "modelfiles/number_text.h"
#include "viewer/twips.h"
#include "viewer/fitted_captions.h"
#include "viewer/ui_services.h"
#include "modelfiles/paths.h"
#include "viewer/core/export_texts.h"
#include "viewer/ui_services.h"

namespace veldra::viewer {

namespace {

template <typename W>
W* make(QWidget* parent, const char* name, double left, double top, double width, double height) {
    auto* w = new W(parent);
    w->setObjectName(name);
    place(w, left, top, width, height);
    return w;
}

QLabel* label(QWidget* parent, const char* name, const char* text, double l, double t, double w, double h) {
    auto* lb = make<QLabel>(parent, name, l, t, w, h);
    lb->setText(text);
    return lb;
}

QToolButton* arrow(QWidget* parent, const char* name, Qt::ArrowType type, double left, double top) {
    auto* b = make<QToolButton>(parent, name, left, top, 180, 195);
    b->setArrowType(type);
    return b;
}

QLineEdit* box(QWidget* parent, const char* name, const char* text, double l, double t, double w, double h,
               bool read_only) {
    auto* e = make<QLineEdit>(parent, name, l, t, w, h);
    e->setText(text);
    e->setReadOnly(read_only);
    return e;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, double l, double t, double w, double h) {
    auto* b = make<QPushButton>(parent, name, l, t, w, h);
    b->setText(caption);
    b->setAutoDefault(false);
    return b;
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

// A box that cannot be typed into looks it: the window's colour behind the
// text, as the platform shows read-only boxes; Up and Down step it as its
// arrow buttons do.
class StepKeys : public QObject {
public:
    StepKeys(QLineEdit* box, QToolButton* up, QToolButton* down) : QObject(box), up_(up), down_(down) {
        QPalette p = box->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Window));
        box->setPalette(p);
        box->setToolTip("Step with the arrows beside it, or with the Up and Down keys");
        box->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up) up_->click();
        else if (key == Qt::Key_Down) down_->click();
        else return false;
        return true;
    }

private:
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace

FrmExport::FrmExport(ViewerState& state, UiServices& ui, std::string program_folder, out::LookupPlaces lookup,
                     QWidget* parent, files::FileAccess& files)
    : QDialog(parent),
      state_(state),
      ui_(ui),
      program_folder_(std::move(program_folder)),
      lookup_(std::move(lookup)),
      files_(files) {
    setObjectName("frmExport");
    setWindowTitle("Export to GridASCII");
    // Modeless: the main window stays usable while the dialog is open.
    setModal(false);
    resize(twips(7665), twips(3690));
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);

    Label1 = label(this, "Label1", "Destination folder:", 240, 240, 1335, 255);
    txtOutFolder = box(this, "txtOutFolder", "", 1680, 240, 4335, 285, false);
    cmdSelect = button(this, "cmdSelect", "Select folder", 6120, 240, 1335, 375);
    Label2 = label(this, "Label2", "Root file name:", 240, 720, 1455, 255);
    txtRoot = box(this, "txtRoot", "", 1680, 720, 4335, 285, false);
    Label3 = label(this, "Label3", "Starting year:", 240, 1320, 1215, 255);
    txtStartYear = box(this, "txtStartYear", "1900", 1680, 1320, 615, 375, true);
    cmdYrUp1 = arrow(this, "cmdYrUp1", Qt::UpArrow, 2280, 1320);
    cmdYrDown1 = arrow(this, "cmdYrDown1", Qt::DownArrow, 2280, 1440);
    Label4 = label(this, "Label4", "Ending year:", 240, 1800, 1095, 255);
    txtEndYear = box(this, "txtEndYear", "1900", 1680, 1800, 615, 375, true);
    cmdYrUp2 = arrow(this, "cmdYrUp2", Qt::UpArrow, 2280, 1800);
    cmdYrDown2 = arrow(this, "cmdYrDown2", Qt::DownArrow, 2280, 1920);
    cmdAllYears = button(this, "cmdAllYears", "All years", 1680, 2280, 855, 375);
    Label5 = label(this, "Label5", "Decimal places:", 240, 2880, 1215, 255);
    txtDecimals = box(this, "txtDecimals", "3", 1680, 2880, 375, 375, true);
    cmdDecUp = arrow(this, "cmdDecUp", Qt::UpArrow, 2040, 2880);
    cmdDecDown = arrow(this, "cmdDecDown", Qt::DownArrow, 2040, 3000);

    frmProject = make<QGroupBox>(this, "frmProject", 3000, 1200, 1935, 1815);
    frmProject->setTitle("  Projection  ");
    const double tops[] = {360, 720, 1080, 1440}, widths[] = {1335, 1455, 1455, 1575};
    static_assert(std::size(out::kProjectionTable) == std::tuple_size_v<decltype(optProject)>);
    for (std::size_t i = 0; i < optProject.size(); ++i) {
        optProject[i] = make<QRadioButton>(frmProject, "optProject", 240, tops[i], widths[i], 255);
        optProject[i]->setText(qs(std::string(out::kProjectionTable[i].caption)));
    }
    optProject[0]->setChecked(true);

    cmdExportCancel = button(this, "cmdExportCancel", "Cancel", 5880, 2880, 735, 375);
    cmdExportGo = button(this, "cmdExportGo", "Go", 6840, 2880, 615, 375);
    lblStatus = label(this, "lblStatus", "", 120, 3360, 7455, 255);
    lblExports = label(this, "lblExports", "", 5040, 1320, 2415, 1215);
    lblExports->setWordWrap(true);
    lblExports->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    new StepKeys(txtStartYear, cmdYrUp1, cmdYrDown1);
    new StepKeys(txtEndYear, cmdYrUp2, cmdYrDown2);
    new StepKeys(txtDecimals, cmdDecUp, cmdDecDown);

    // Captions wider in this face than designed widen their controls to the right.
    fit_captions(*this);

    // Created hidden, showing the program's own folder until the first opening.
    txtOutFolder->setText(qs(program_folder_));

    connect(cmdYrUp1, &QToolButton::clicked, this, &FrmExport::cmdYrUp1_Click);
    connect(cmdYrDown1, &QToolButton::clicked, this, &FrmExport::cmdYrDown1_Click);
    connect(cmdYrUp2, &QToolButton::clicked, this, &FrmExport::cmdYrUp2_Click);
    connect(cmdYrDown2, &QToolButton::clicked, this, &FrmExport::cmdYrDown2_Click);
    connect(cmdAllYears, &QPushButton::clicked, this, &FrmExport::cmdAllYears_Click);
    connect(cmdDecUp, &QToolButton::clicked, this, &FrmExport::cmdDecUp_Click);
    connect(cmdDecDown, &QToolButton::clicked, this, &FrmExport::cmdDecDown_Click);
    connect(cmdSelect, &QPushButton::clicked, this, &FrmExport::cmdSelect_Click);
    connect(cmdExportGo, &QPushButton::clicked, this, &FrmExport::cmdExportGo_Click);
    connect(cmdExportCancel, &QPushButton::clicked, this, &FrmExport::cmdExportCancel_Click);
}

std::string FrmExport::last_export_dir_path() const {
    // One place for reading and writing: beside the program when its folder
    // can be written, else the user's configuration folder.
    if (!last_export_dir_) last_export_dir_ = last_export_dir_file(program_folder_, files_);
    return *last_export_dir_;
}

void FrmExport::open_dialog() {
    if (txtRoot->text().trimmed().isEmpty()) {
        proposed_root_ = out::default_export_root(state_.SelectedFile, state_.SelectedLayer);
        txtRoot->setText(qs(proposed_root_));
        show_span();
        txtOutFolder->setText(qs(out::read_last_export_dir(files::path_to_open(last_export_dir_path()), files_)));
    }
    lblExports->setText(qs(export_target_text(state_)));
    show();
    raise();
    activateWindow();
}

void FrmExport::follow_selection() {
    lblExports->setText(qs(export_target_text(state_)));
    const std::string proposal = out::default_export_root(state_.SelectedFile, state_.SelectedLayer);
    const std::string root = followed_root(txtRoot->text().toStdString(), proposed_root_, proposal);
    if (root == proposal) proposed_root_ = proposal;
    if (root != txtRoot->text().toStdString()) txtRoot->setText(qs(root));
}

void FrmExport::show_span() {
    txtStartYear->setText(QString::number(state_.ExportSpanStart));
    txtEndYear->setText(QString::number(state_.ExportSpanEnd));
}

void FrmExport::cmdYrUp1_Click() {
    state_.ExportSpanStart = out::step_export_year(state_.ExportSpanStart, 1, state_.first_year(), state_.GridInfo.lastYear);
    show_span();
}

void FrmExport::cmdYrDown1_Click() {
    state_.ExportSpanStart = out::step_export_year(state_.ExportSpanStart, -1, state_.first_year(), state_.GridInfo.lastYear);
    show_span();
}

void FrmExport::cmdYrUp2_Click() {
    state_.ExportSpanEnd = out::step_export_year(state_.ExportSpanEnd, 1, state_.first_year(), state_.GridInfo.lastYear);
    show_span();
}

void FrmExport::cmdYrDown2_Click() {
    state_.ExportSpanEnd = out::step_export_year(state_.ExportSpanEnd, -1, state_.first_year(), state_.GridInfo.lastYear);
    show_span();
}

void FrmExport::cmdAllYears_Click() {
    state_.ExportSpanStart = state_.first_year();
    state_.ExportSpanEnd = state_.GridInfo.lastYear;
    show_span();
}

void FrmExport::cmdDecUp_Click() { txtDecimals->setText(qs(out::step_decimals(txtDecimals->text().toStdString(), 1))); }

void FrmExport::cmdDecDown_Click() { txtDecimals->setText(qs(out::step_decimals(txtDecimals->text().toStdString(), -1))); }

void FrmExport::cmdSelect_Click() {
    const QString folder = ui_.browse_folder(kBrowseFolderTitle);
    if (!folder.isEmpty()) txtOutFolder->setText(folder);
}

int FrmExport::projection() const {
    for (std::size_t i = 0; i < optProject.size(); ++i)
        if (optProject[i]->isChecked()) return static_cast<int>(i);
    return 0;
}

void FrmExport::cmdExportGo_Click() {
    if (running_) return;  // one export at a time
    try {
        out::check_export_settings(state_.ExportSpanStart, state_.ExportSpanEnd, txtOutFolder->text().toStdString(),
                              txtRoot->text().toStdString());
        const auto source = export_source(state_);
        if (!source) throw out::StopExport(out::kNothingToExport);

        out::ExportSettings settings;
        settings.folder = txtOutFolder->text().toStdString();
        settings.root = txtRoot->text().toStdString();
        settings.first_year = files::text_value(txtStartYear->text().toStdString());
        settings.last_year = files::text_value(txtEndYear->text().toStdString());
        settings.decimals = files::text_value(txtDecimals->text().toStdString());
        settings.projection = projection();

        running_ = true;
        cancel_requested_ = false;
        out::create_destination_folder(settings.folder, files_);
        const out::ExportOutcome outcome = export_grids(*source, settings, lookup_, files_, [this](out::ExportNote note, const std::string& text) {
            if (note == out::ExportNote::message) {
                ui_.message(qs(text));
            } else {
                lblStatus->setText(qs(text));
                QCoreApplication::processEvents();
            }
            return !cancel_requested_;
        });
        running_ = false;
        emit export_done(qs(grids_written_note(outcome.months_written, std::string(files::trim_blanks(settings.folder)))));
        if (cancel_requested_) return;  // Cancel has closed the dialog already
    } catch (const out::StopExport& e) {
        ui_.message(qs(e.what()));
    }
    cmdExportCancel_Click();
}

void FrmExport::cmdExportCancel_Click() {
    // Cancel while an export runs stops it after the month being written.
    if (running_) cancel_requested_ = true;
    try {
        out::write_last_export_dir(files::path_to_open(last_export_dir_path()), txtOutFolder->text().toStdString(), files_);
    } catch (const files::FileWriteError& e) {
        ui_.message(qs(std::string("The destination folder cannot be remembered: ") + e.what()));
    }
    hide();
}

void FrmExport::closeEvent(QCloseEvent* event) {
    // The close box closes like Cancel.
    event->ignore();
    cmdExportCancel_Click();
}

}  // namespace veldra::viewer
