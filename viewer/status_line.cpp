#include "viewer/status_line.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>

namespace veldra::viewer {

StatusTask::StatusTask(const QString& label, int maximum, std::function<void()> on_cancel, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(new QLabel(label, this));
    bar = new QProgressBar(this);
    bar->setRange(0, std::max(1, maximum));
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedWidth(90);
    bar->setMaximumHeight(12);
    row->addWidget(bar);
    cancel = new QToolButton(this);
    cancel->setText("Cancel");
    cancel->setAutoRaise(true);
    row->addWidget(cancel);
    connect(cancel, &QToolButton::clicked, this, [on_cancel] {
        if (on_cancel) on_cancel();
    });
}

void StatusTask::set_progress(int value) { bar->setValue(value); }

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) {
    setObjectName("status_line");
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(8);
    menu_button = new QToolButton(this);
    menu_button->setObjectName("status_menu");
    menu_button->setText("Map");
    menu_button->setToolTip("The map: save it, same colours for every month, the beep, zoom");
    menu_button->setPopupMode(QToolButton::InstantPopup);
    menu = new QMenu(menu_button);
    menu_button->setMenu(menu);
    row_->addWidget(menu_button);
    text = new QLabel(this);
    text->setObjectName("status_text");
    text->setMinimumWidth(1);
    text->setTextInteractionFlags(Qt::NoTextInteraction);
    row_->addWidget(text, 1);
}

void StatusLine::show_readout(const QString& readout) { text->setText(readout); }

void StatusLine::end_readout() { text->setText(note_); }

void StatusLine::show_note(const QString& note) {
    note_ = note;
    text->setText(note);
    // A long note is cut at the line's end; its tooltip holds all of it.
    text->setToolTip(note);
}

StatusTask* StatusLine::add_task(const QString& label, int maximum, std::function<void()> on_cancel) {
    auto* task = new StatusTask(label, maximum, std::move(on_cancel), this);
    row_->addWidget(task);
    return task;
}

}  // namespace veldra::viewer

namespace veldra::viewer {

void drop_task(StatusTask*& task) {
    if (!task) return;
    task->hide();
    task->deleteLater();
    task = nullptr;
}

}  // namespace veldra::viewer
