// Veldra_GUI: the desktop viewer of a Veldra model run.
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QListWidget>
#include <QPixmap>
#include <QTimer>

#include "gui/frm_export.h"
#include "gui/frm_main.h"
#include "gui/startup.h"
#include "gui/ui_services.h"

using namespace veldra::viewer;

int main(int argc, char** argv) {
    // The command line and the model come first, so that --help and a bad
    // option work without a display.
    ViewerState state;
    const StartupResult start = start_viewer(std::vector<std::string>(argv + 1, argv + argc), state);
    if (!start.run && start.message.empty()) {
        std::cout << start.out;
        std::cerr << start.err;
        return start.exit_status;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Veldra_GUI");
    QtUiServices ui;
    if (!start.run) return finish_without_run(start, ui, std::cout, std::cerr);

    FrmExport frmExport(state, ui);
    FrmMain frmMain(state, ui, frmExport);
    ui.set_parent(&frmMain);
    frmMain.Form_Load();
    frmMain.show();

    if (!start.select.empty()) {
        const auto items = frmMain.lstMaps->findItems(QString::fromStdString(start.select), Qt::MatchExactly);
        if (!items.isEmpty()) frmMain.select_item(frmMain.lstMaps, frmMain.lstMaps->row(items.front()));
    }

    if (!start.screenshot.empty()) {
        auto save = [&] {
            const QString file = QString::fromStdString(start.screenshot);
            if (!frmMain.grab().save(file, "PNG")) {
                std::cerr << "Veldra_GUI: cannot write " << start.screenshot << "\n";
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::exit(0);
        };
        // Showing the window armed the deferred redraw, unless choosing a
        // variable has drawn since; the picture is taken once the window has
        // settled, after that redraw when it is still to come.
        QTimer::singleShot(0, &frmMain, [&frmMain, save] {
            if (frmMain.tmrRedraw->isActive())
                QObject::connect(frmMain.tmrRedraw, &QTimer::timeout, &frmMain, save, Qt::QueuedConnection);
            else
                save();
        });
    }
    return app.exec();
}
