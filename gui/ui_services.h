// The few modal things the viewer asks of the desktop: a message box, the
// system beep and the folder browser. They sit behind an interface so that
// the windows can be driven without anyone there to close a dialog.
#pragma once

#include <QString>

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

private:
    QWidget* parent_;
};

}  // namespace veldra::viewer
