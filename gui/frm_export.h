// The export dialog: created hidden at start-up, shown by the main window's
// Export button. For now it holds only the destination folder.
#pragma once

#include <QDialog>

#include "gui/core/viewer_state.h"

class QLabel;
class QLineEdit;

namespace veldra::viewer {

class UiServices;

class FrmExport : public QDialog {
    Q_OBJECT
public:
    FrmExport(ViewerState& state, UiServices& ui, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* txtOutFolder;

private:
    ViewerState& state_;
    UiServices& ui_;
};

}  // namespace veldra::viewer
