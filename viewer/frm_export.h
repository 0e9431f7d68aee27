// The export dialog: created hidden at start-up, shown by the main window's
// Export button. It holds the export's settings, checks them on "Go", runs
// the export of the main window's current variable and layer, shows its
// progress, and remembers the destination folder in Last_Export_Dir.txt.
#pragma once

#include <array>
#include <optional>
#include <string>

#include <QDialog>

#include "export/grid_export.h"
#include "viewer/core/viewer_state.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace veldra::viewer {

class UiServices;

class FrmExport : public QDialog {
    Q_OBJECT
public:
    // `program_folder` holds Last_Export_Dir.txt; `lookup` says where the
    // projection grids are found or made. Every file is read and written
    // through `files`.
    FrmExport(ViewerState& state, UiServices& ui, std::string program_folder, out::LookupPlaces lookup,
              QWidget* parent = nullptr, files::FileAccess& files = files::system_files());

    QLabel* Label1;
    QLineEdit* txtOutFolder;
    QPushButton* cmdSelect;
    QLabel* Label2;
    QLineEdit* txtRoot;
    QLabel* Label3;
    QLineEdit* txtStartYear;
    QToolButton* cmdYrUp1;
    QToolButton* cmdYrDown1;
    QLabel* Label4;
    QLineEdit* txtEndYear;
    QToolButton* cmdYrUp2;
    QToolButton* cmdYrDown2;
    QPushButton* cmdAllYears;
    QLabel* Label5;
    QLineEdit* txtDecimals;
    QToolButton* cmdDecUp;
    QToolButton* cmdDecDown;
    QGroupBox* frmProject;
    std::array<QRadioButton*, 4> optProject;
    QPushButton* cmdExportCancel;
    QPushButton* cmdExportGo;
    QLabel* lblStatus;
    // Beyond the design: the variable and layer "Go" exports.
    QLabel* lblExports;

    // The main window's Export button: prepares the dialog when its root is
    // blank, then shows it.
    void open_dialog();
    bool export_running() const { return running_; }
    // The main window's choice changed: says what "Go" now exports, and a
    // root still as the dialog proposed it follows the choice.
    void follow_selection();

signals:
    // An export is over: the note for the main window's status line.
    void export_done(const QString& note);

public slots:
    void cmdYrUp1_Click();
    void cmdYrDown1_Click();
    void cmdYrUp2_Click();
    void cmdYrDown2_Click();
    void cmdAllYears_Click();
    void cmdDecUp_Click();
    void cmdDecDown_Click();
    void cmdSelect_Click();
    void cmdExportGo_Click();
    void cmdExportCancel_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int projection() const;
    void show_span();
    std::string last_export_dir_path() const;

    ViewerState& state_;
    UiServices& ui_;
    std::string program_folder_;
    out::LookupPlaces lookup_;
    files::FileAccess& files_;
    bool running_ = false;
    bool cancel_requested_ = false;
    std::string proposed_root_;  // the root as the dialog last proposed it
    mutable std::optional<std::string> last_export_dir_;  // where Last_Export_Dir.txt is, once known
};

}  // namespace veldra::viewer
