// The designed controls of the main window: what they are, where they sit
// (in twips, as laid out by viewer_core's window layout), their keyboard
// order, and the click event of the lists. What the controls do when used is
// the window's (frm_main.cpp).
#pragma once

#include <functional>

#include <QString>

#include "viewer/core/window_layout.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QToolButton;
class QWidget;

namespace veldra::viewer {

class ChartMain;
class PicMap;

struct MainControls {
    QListWidget* lstMaps = nullptr;
    QListWidget* lstIndex = nullptr;
    QListWidget* lstClr = nullptr;
    QLineEdit* txtYear = nullptr;
    QLineEdit* txtMonth = nullptr;
    QToolButton* cmdYrUp = nullptr;
    QToolButton* cmdYrDown = nullptr;
    QToolButton* cmdMnUp = nullptr;
    QToolButton* cmdMnDown = nullptr;
    QPushButton* cmdAuto = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdEnd = nullptr;
    QLabel* lblUnitsTitle = nullptr;
    QLabel* lblUnits = nullptr;
    QLabel* lblMeanTitle = nullptr;
    QLabel* lblMean = nullptr;
    QLabel* lblStdevTitle = nullptr;
    QLabel* lblStdev = nullptr;
    QLabel* lblCellsTitle = nullptr;
    QLabel* lblCells = nullptr;
    PicMap* picMap = nullptr;
    ChartMain* chartMain = nullptr;
    QTimer* tmrAuto = nullptr;
    QTimer* tmrRedraw = nullptr;
};

// Makes the controls in `form` at their designed places, MainLayout's own,
// with the form's name, caption, designed size and face, and puts into
// `layout` those places with the widths the captions were given.
void build_main_controls(QWidget& form, MainControls& c, MainLayout& layout);

// Puts every control where `layout` says.
void place_main_controls(const MainControls& c, const MainLayout& layout);

// Runs `handler` whenever the list raises its click event: for every change
// of the selection, by mouse or keyboard, and for a press on the item that
// is selected already.
void on_list_click(QListWidget* list, std::function<void()> handler);

// The row and the text of the selected item; -1 and an empty text when none.
int selected_row(const QListWidget* list);
QString selected_text(const QListWidget* list);

}  // namespace veldra::viewer
