// make_lookup_grids FOLDER SUFFIX...
//
// Makes the eight projection lookup grids of each resolution suffix (those of
// modelfiles/resolutions.h: "2p0", "1p0", "0p5", ... "0p083") in FOLDER, which is created when
// missing, with the ESRI WKT of each projection in a .prj beside its id grid.
// Exit status 0 when every grid was written, 1 on a failure, 2 for a bad
// command line.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "modelfiles/file_io.h"
#include "modelfiles/resolutions.h"
#include "export/lookup_maker/lookup_grid_maker.h"

int main(int argc, char** argv) {
    const bool help = argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0);
    if (argc < 3) {
        std::string suffixes;
        for (const veldra::files::Resolution& r : veldra::files::resolutions())
            suffixes += (suffixes.empty() ? "" : ", ") + std::string(r.suffix);
        (help ? std::cout : std::cerr) << "usage: make_lookup_grids FOLDER SUFFIX...\n"
                                          "  SUFFIX: one of "
                                       << suffixes << "\n";
        return help ? 0 : 2;
    }
    const std::string folder = argv[1];
    for (int i = 2; i < argc; ++i)
        if (!veldra::lookup::geographic_geometry(argv[i])) {
            std::cerr << "make_lookup_grids: unknown suffix \"" << argv[i] << "\"\n";
            return 2;
        }
    veldra::files::install_interrupt_cleanup();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::cerr << "make_lookup_grids: " << folder << ": cannot be created: " << ec.message() << '\n';
        return 1;
    }
    const int all[] = {0, 1, 2, 3};
    try {
        for (int i = 2; i < argc; ++i) veldra::lookup::make_lookup_grids(folder, argv[i], all, veldra::files::system_files());
    } catch (const std::exception& e) {
        std::cerr << "make_lookup_grids: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
