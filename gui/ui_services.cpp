#include "gui/ui_services.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace veldra::viewer {

void QtUiServices::message(const QString& text) {
    // No icon: the viewer's messages are plain notices, not warnings.
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok, parent_);
    box.exec();
}

void QtUiServices::beep() { QApplication::beep(); }

QString QtUiServices::browse_folder(const QString& title) {
    return QFileDialog::getExistingDirectory(parent_, title);
}

}  // namespace veldra::viewer
