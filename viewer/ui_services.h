// The few modal things the viewer asks of the desktop: a message box, the
// system beep, the folder browser, the save dialog and the span of frames.
// They sit behind an interface so that the windows can be driven without
// anyone there to close a dialog.
#pragma once

#include <optional>
#include <ostream>

#include <QString>

#include "viewer/core/map_image.h"

class QWidget;

namespace veldra::viewer {

class UiServices {
public:
    virtual ~UiServices() = default;

    // A message box with an OK button only and the application's title;
    // returns when it is closed.
    virtual void message(const QString& text) = 0;

    virtual void beep() = 0;

    // The folder the user picks, or an empty text when the browser is
    // cancelled.
    virtual QString browse_folder(const QString& title) = 0;

    // The file to write that the user picks in a save dialog, starting at
    // `suggested` (a path) and showing files of `filter` ("PNG image
    // (*.png)"); an empty text when cancelled. Without a desktop: cancelled.
    virtual QString save_file(const QString& title, const QString& suggested, const QString& filter);

    // The span of months to write frames for, picked in a dialog titled
    // `title` within the years `first_year` .. `last_year` starting from
    // `initial`; nothing when cancelled. Without a desktop: cancelled.
    virtual std::optional<FrameSpan> pick_frame_span(const QString& title, const FrameSpan& initial, int first_year,
                                                     int last_year);
};

// For a run that no one watches (--screenshot): messages go to a stream,
// e.g. standard error, and the program goes on; every dialog is cancelled.
class ConsoleUiServices : public UiServices {
public:
    explicit ConsoleUiServices(std::ostream& err) : err_(err) {}
    void message(const QString& text) override;
    void beep() override {}
    QString browse_folder(const QString&) override { return {}; }

private:
    std::ostream& err_;
};

inline const QString kBrowseFolderTitle = QStringLiteral("Select a folder: ");

// The real dialogs, over `parent` when one is given.
class QtUiServices : public UiServices {
public:
    explicit QtUiServices(QWidget* parent = nullptr) : parent_(parent) {}
    void set_parent(QWidget* parent) { parent_ = parent; }

    void message(const QString& text) override;
    void beep() override;
    QString browse_folder(const QString& title) override;
    QString save_file(const QString& title, const QString& suggested, const QString& filter) override;
    std::optional<FrameSpan> pick_frame_span(const QString& title, const FrameSpan& initial, int first_year,
                                             int last_year) override;

private:
    QWidget* parent_;
};

}  // namespace veldra::viewer
