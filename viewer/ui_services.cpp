#include "viewer/ui_services.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QSpinBox>

namespace veldra::viewer {

QString UiServices::save_file(const QString&, const QString&, const QString&) { return {}; }

std::optional<FrameSpan> UiServices::pick_frame_span(const QString&, const FrameSpan&, int, int) {
    return std::nullopt;
}

void ConsoleUiServices::message(const QString& text) {
    err_ << "Veldra_GUI: " << text.toStdString() << "\n" << std::flush;
}

void QtUiServices::message(const QString& text) {
    // No icon: the viewer's messages are plain notices, not warnings.
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok, parent_);
    box.exec();
}

void QtUiServices::beep() { QApplication::beep(); }

QString QtUiServices::browse_folder(const QString& title) {
    return QFileDialog::getExistingDirectory(parent_, title);
}

QString QtUiServices::save_file(const QString& title, const QString& suggested, const QString& filter) {
    return QFileDialog::getSaveFileName(parent_, title, suggested, filter);
}

std::optional<FrameSpan> QtUiServices::pick_frame_span(const QString& title, const FrameSpan& initial, int first_year,
                                                       int last_year) {
    QDialog dialog(parent_);
    dialog.setWindowTitle(title);
    auto* form = new QFormLayout(&dialog);
    auto month_pair = [&](int year, int month, QSpinBox*& year_box, QSpinBox*& month_box) {
        auto* row = new QHBoxLayout;
        year_box = new QSpinBox(&dialog);
        year_box->setRange(first_year, last_year);
        year_box->setValue(year);
        month_box = new QSpinBox(&dialog);
        month_box->setRange(1, 12);
        month_box->setValue(month);
        row->addWidget(year_box);
        row->addWidget(month_box);
        return row;
    };
    QSpinBox *from_year, *from_month, *to_year, *to_month;
    form->addRow("From year and month:", month_pair(initial.from_year, initial.from_month, from_year, from_month));
    form->addRow("To year and month:", month_pair(initial.to_year, initial.to_month, to_year, to_month));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return FrameSpan{from_year->value(), from_month->value(), to_year->value(), to_month->value()};
}

}  // namespace veldra::viewer
