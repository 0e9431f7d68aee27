#include "gui/frm_export.h"

#include <cmath>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

namespace veldra::viewer {

namespace {

// The dialog is designed in twips, 15 to a pixel.
int twips(double t) { return static_cast<int>(std::lround(t / 15.0)); }

void place(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

}  // namespace

FrmExport::FrmExport(ViewerState& state, UiServices& ui, QWidget* parent) : QDialog(parent), state_(state), ui_(ui) {
    setObjectName("frmExport");
    setWindowTitle("Export to GridASCII");
    // Modeless: the main window stays usable while the dialog is open.
    setModal(false);
    resize(twips(7665), twips(3690));

    Label1 = new QLabel("Destination folder:", this);
    Label1->setObjectName("Label1");
    place(Label1, 240, 240, 1335, 255);

    txtOutFolder = new QLineEdit(this);
    txtOutFolder->setObjectName("txtOutFolder");
    place(txtOutFolder, 1680, 240, 4335, 285);
    txtOutFolder->setText(QCoreApplication::applicationDirPath());
}

}  // namespace veldra::viewer
