// Veldra_GUI: the desktop viewer of a Veldra model run.
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "viewer/frm_export.h"
#include "viewer/frm_main.h"
#include "viewer/saving.h"
#include "viewer/startup.h"
#include "viewer/ui_services.h"
#include "export/lookup_maker/lookup_grid_maker.h"

using namespace veldra::viewer;

int main(int argc, char** argv) {
    // The command line and the model come first, so that --help and a bad
    // option work without a display.
    StartupResult start = start_viewer(std::vector<std::string>(argv + 1, argv + argc));
    // A script's --screenshot waits for no one: its messages go to standard error.
    ConsoleUiServices console(std::cerr);
    if (!start.run && (start.message.empty() || !start.screenshot.empty()))
        return finish_without_run(start, console, std::cout, std::cerr);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Veldra_GUI");
    QtUiServices desktop;
    if (!start.run) return finish_without_run(start, desktop, std::cout, std::cerr);
    UiServices& ui = start.screenshot.empty() ? static_cast<UiServices&>(desktop) : console;

    ViewerState& state = start.state;
    for (const std::string& warning : state.warnings) std::cerr << "Veldra_GUI: " << warning << "\n";
    const std::string program_folder = QCoreApplication::applicationDirPath().toStdString();
    FrmExport frm_export(state, ui, program_folder, veldra::lookup::standard_lookup_places(program_folder));
    FrmMain frm_main(state, ui, frm_export);
    desktop.set_parent(&frm_main);
    frm_main.Form_Load();
    frm_main.fit_to_screen(frm_main.screen()->availableGeometry().size());
    frm_main.show();
    // The window frame is known once the window is on the screen.
    QTimer::singleShot(0, &frm_main, [&frm_main] { frm_main.fit_to_screen(frm_main.screen()->availableGeometry().size()); });

    if (has_start_choices(start) || !start.screenshot.empty()) {
        auto after_start = [&] {
            apply_start_choices(start, frm_main);
            if (start.screenshot.empty()) return;
            const QString file = QString::fromStdString(start.screenshot);
            try {
                save_png(file, frm_main.grab().toImage());
            } catch (const SaveError& e) {
                std::cerr << "Veldra_GUI: " << e.what() << "\n";
                QCoreApplication::exit(1);
                return;
            }
            QCoreApplication::exit(0);
        };
        // Showing the window armed the deferred redraw, which chooses the
        // variable again and so forgets a layer chosen before it: the choices,
        // the query and the picture wait until the window has settled.
        QTimer::singleShot(0, &frm_main, [&frm_main, after_start] {
            if (frm_main.tmrRedraw->isActive())
                QObject::connect(frm_main.tmrRedraw, &QTimer::timeout, &frm_main, after_start,
                                 static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
            else
                after_start();
        });
    }
    return app.exec();
}
