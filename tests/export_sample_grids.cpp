// export_sample_grids MODEL LOOKUP_FOLDER OUT_FOLDER YEAR
//
// Exports Precip of a model for one year in each of the four projections, as
// OUT_FOLDER/precip_<projection>_<year>_<month>.asc (projection 0 to 3), with
// the lookup grids of LOOKUP_FOLDER, for the GDAL check. Prints every message
// on stderr; exit status 0 when all 48 grids were written.
#include <charconv>
#include <iostream>
#include <string>

#include "export/grid_export.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/globe_file.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: export_sample_grids MODEL LOOKUP_FOLDER OUT_FOLDER YEAR\n";
        return 2;
    }
    const std::string model = argv[1];
    std::int32_t year = 0;
    std::from_chars(argv[4], argv[4] + std::char_traits<char>::length(argv[4]), year);
    try {
        const std::string cell_path = model + "/Output/Rng_Data.vrd", globe_path = model + "/Output/Globe.vrd";
        const veldra::files::CellFile cells = veldra::files::parse_cell_file(veldra::files::read_text_file(cell_path), cell_path);
        const veldra::files::GlobeMask land =
            veldra::files::parse_globe_file(veldra::files::read_text_file(globe_path), cells.window, globe_path);
        const veldra::out::ExportSource source{model,  "Precip", 1, 1, cells.info.cellCount, cells.info.firstYear,
                                                  cells.info.cellSize, cells.cells, land};
        const veldra::out::LookupPlaces places{{argv[2]}, "", nullptr};
        int written = 0;
        for (int projection = 0; projection < 4; ++projection) {
            const veldra::out::ExportSettings settings{argv[3], "precip_" + std::to_string(projection), year,
                                                          year, 3, projection};
            const auto outcome = veldra::out::export_grids(
                source, settings, places, veldra::files::system_files(),
                [](veldra::out::ExportNote note, const std::string& text) {
                    if (note == veldra::out::ExportNote::message) std::cerr << text << '\n';
                    return true;
                });
            written += outcome.months_written;
        }
        return written == 48 ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "export_sample_grids: " << e.what() << '\n';
        return 1;
    }
}
