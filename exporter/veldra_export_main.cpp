// veldra_export: the viewer's grid export from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "export/export_command.h"
#include "modelfiles/file_io.h"
#include "modelfiles/paths.h"
#include "export/lookup_maker/lookup_grid_maker.h"

int main(int argc, char** argv) {
    veldra::files::install_interrupt_cleanup();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return veldra::out::run_veldra_export(args, std::cout, std::cerr,
                                             veldra::lookup::standard_lookup_places(veldra::files::program_folder()));
}
