// bench_gtiff_export: the GeoTIFF export against the ASCII grids of the same
// months, size and time:
//   1. Precip of the 0.5-degree sample model, one year (12 months), in
//      Robinson and in geographic form: a file per month, and the year in one
//      file of 12 bands;
//   2. one month of a 1/12-degree model in Robinson: the sample's cells and
//      January values spread over 6 x 6 finer cells, as bench_projected_export
//      makes it (the "0p083" lookup grids are made once, with PROJ, into the
//      folder both benchmarks share).
//   3. veldra_export on a 1/12-degree model folder as the model writes it
//      (cell size 0.0833333, the cells of 2. over a year of 12 months), to
//      GeoTIFF in Robinson: first with an empty lookup cache, where the
//      export makes the "0p083" lookup grids with PROJ, then again with the
//      grids made; the time of a run and of a month.
//
// Usage: bench_gtiff_export [sample_model_dir [lookup_dir]]
// Files go to a fresh folder under $TMPDIR (or /tmp), removed at the end.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "export/export_command.h"
#include "export/grid_export.h"
#include "export/gtiff_export.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/globe_file.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/variable_file.h"
#include "export/lookup_maker/lookup_grid_maker.h"
#include "fine_model.h"

namespace fs = std::filesystem;
using namespace veldra;
using namespace veldra::out;
using namespace veldra::bench;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::uint64_t folder_bytes(const fs::path& dir, const char* extension) {
    std::uint64_t bytes = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == extension) bytes += e.file_size();
    return bytes;
}

// Times `runs` exports into `out` (emptied before each); prints the best and
// the median time and the size of the files of `extension`.
bool time_runs(const char* label, const fs::path& out, const char* extension, int runs,
               const std::function<ExportOutcome(const ExportProgress&)>& run, std::int32_t months) {
    std::vector<double> times;
    std::string failure;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(out);
        fs::create_directories(out);
        const auto start = Clock::now();
        const veldra::out::ExportOutcome outcome = run([&](veldra::out::ExportNote note, const std::string& text) {
            if (note == veldra::out::ExportNote::message) failure = text;
            return true;
        });
        times.push_back(seconds_since(start));
        if (outcome.failed || outcome.months_abandoned || outcome.months_written != months) {
            std::printf("  %-40s FAILED: %s\n", label, failure.c_str());
            return false;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("  %-40s %8.2f MB  best %8.1f ms  median %8.1f ms  (%d runs)\n", label,
                static_cast<double>(folder_bytes(out, extension)) / 1e6, times.front() * 1e3,
                times[times.size() / 2] * 1e3, runs);
    return true;
}


}  // namespace

int main(int argc, char** argv) {
    if (argc > 3) {
        std::printf("usage: bench_gtiff_export [sample_model_dir [lookup_dir]]\n");
        return 2;
    }
    const std::string model_dir = argc >= 2 ? argv[1] : VELDRA_BENCH_SAMPLE_MODEL;
    const std::string lookup_dir = argc >= 3 ? argv[2] : VELDRA_BENCH_LOOKUP_DIR;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base && *base ? std::string(base) : std::string("/tmp")) + "/bench_gtiff.XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("bench_gtiff_export: mkdtemp");
        return 1;
    }
    const fs::path tmp(pattern);
    std::printf("bench_gtiff_export  temp folder: %s\n\n", tmp.c_str());
    int status = 0;
    try {
        const Model sample = load_model(model_dir);
        const std::int32_t year = sample.cells.info.firstYear;
        const veldra::out::ExportSource source{model_dir, "Precip", 1, 1, sample.cells.info.cellCount, year,
                                  sample.cells.info.cellSize, sample.cells.cells, sample.land};
        const veldra::out::LookupPlaces places{{lookup_dir}, "", nullptr};
        const fs::path out = tmp / "out";
        std::printf("1. Precip of the sample model, %d (12 months)\n", year);
        for (const int projection : {1, 0}) {
            const std::string name = projection == 1 ? "Robinson" : "Geographic";
            const veldra::out::ExportSettings grids{out.string(), "precip", year, year, 3, projection};
            const veldra::out::GtiffSettings months{out.string(), "precip", year, year, projection, false};
            veldra::out::GtiffSettings bands = months;
            bands.bands = true;
            const auto grid_run = [&](const veldra::out::ExportSettings& s) {
                return [&, s](const veldra::out::ExportProgress& p) { return export_grids(source, s, places, veldra::files::system_files(), p); };
            };
            const auto gtiff_run = [&](const veldra::out::GtiffSettings& s) {
                return [&, s](const veldra::out::ExportProgress& p) { return export_gtiffs(source, s, places, veldra::files::system_files(), p); };
            };
            status |= !time_runs((name + ", ASCII grids, 3 decimals").c_str(), out, ".asc", 5, grid_run(grids), 12);
            status |= !time_runs((name + ", GeoTIFF per month").c_str(), out, ".tif", 5, gtiff_run(months), 12);
            status |= !time_runs((name + ", GeoTIFF of 12 bands").c_str(), out, ".tif", 5, gtiff_run(bands), 12);
        }

        std::printf("\n2. One month of a 1/12-degree model in Robinson\n");
        const fs::path fine_folder = tmp / "fine_model";
        const FineModel fine = fine_model(sample, model_dir, fine_folder);
        const std::string fine_lookup = VELDRA_BENCH_FINE_LOOKUP_DIR;
        if (!fs::exists(fs::path(fine_lookup) / "robinson_ids_0p083.asc")) {
            fs::create_directories(fine_lookup);
            const auto start = Clock::now();
            const int robinson[] = {1};
            lookup::make_lookup_grids(fine_lookup, "0p083", robinson, veldra::files::system_files());
            std::printf("  making the \"0p083\" lookup grids with PROJ: %.1f s (once, kept in %s)\n",
                        seconds_since(start), fine_lookup.c_str());
        }
        const veldra::out::ExportSource fine_source{fine_folder.string(), "Precip", 1, 1, static_cast<std::int64_t>(fine.cells.size()),
                                       year, 0.0833333f, fine.cells, fine.land};
        const veldra::out::LookupPlaces fine_places{{fine_lookup}, "", nullptr};
        std::printf("  %zu rangeland cells; each run reads the lookup grids\n", fine.cells.size());
        // The variable file holds January only: each run stops once it is written.
        const auto january = [](const veldra::out::ExportProgress& p) {
            return [p](veldra::out::ExportNote note, const std::string& text) {
                p(note, text);
                return !(note == veldra::out::ExportNote::status && text.empty());
            };
        };
        const veldra::out::ExportSettings grids{(tmp / "fine").string(), "precip", year, year, 3, 1};
        const veldra::out::GtiffSettings gtiff{(tmp / "fine").string(), "precip", year, year, 1, false};
        status |= !time_runs("Robinson, ASCII grid, 3 decimals", tmp / "fine", ".asc", 3,
                             [&](const veldra::out::ExportProgress& p) {
                                 return export_grids(fine_source, grids, fine_places, veldra::files::system_files(), january(p));
                             },
                             1);
        status |= !time_runs("Robinson, GeoTIFF", tmp / "fine", ".tif", 3,
                             [&](const veldra::out::ExportProgress& p) {
                                 return export_gtiffs(fine_source, gtiff, fine_places, veldra::files::system_files(), january(p));
                             },
                             1);

        std::printf("\n3. veldra_export, a year of a 1/12-degree model (cell size 0.0833333) to GeoTIFF in Robinson\n");
        const fs::path folder = tmp / "model_0p083";
        veldra::files::create_model_folders(folder.string());
        veldra::files::replace_file((folder / "Parms/Output_List.vrl").string(),
                     veldra::files::output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n");
        veldra::files::GridInfo info;
        info.cellCount = static_cast<std::int32_t>(fine.cells.size());
        info.xDimension = kCols;
        info.yDimension = kRows;
        info.lowerX = -180;
        info.lowerY = -90;
        info.upperX = 180;
        info.upperY = 90;
        info.cellSize = 0.0833333f;
        info.firstYear = info.lastYear = year;
        veldra::files::replace_file((folder / "Output/Rng_Data.vrd").string(), cell_file_text(info, fine.cells));
        std::vector<std::string> rows(kRows);
        for (std::int32_t r = 0; r < kRows; ++r)
            for (std::int32_t c = 0; c < kCols; ++c)
                rows[static_cast<std::size_t>(r)] += fine.land.is_land(c, r) ? 'T' : 'F';
        veldra::files::replace_file((folder / "Output/Globe.vrd").string(), veldra::files::globe_file_text(rows));
        std::vector<float> fine_january;
        read_block(veldra::files::VariableFile::open(veldra::files::variable_path(fine_folder.string(), "Precip")),
                   {year, 1, 1, year, 1, static_cast<std::int64_t>(fine.cells.size())}, fine_january);
        // The months of the year: January's values, scaled by the month.
        const auto scaled = [&](std::int32_t, std::int32_t month, std::int32_t, std::span<float> v) {
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] = fine_january[3 + i] * (0.5f + static_cast<float>(month) / 12.0f);
        };
        veldra::files::write_variable_file(veldra::files::variable_path(folder.string(), "Precip"), {info.cellCount, year, year, 1}, scaled);
        ::setenv("XDG_CACHE_HOME", (tmp / "cache").c_str(), 1);
        const veldra::out::LookupPlaces standard = lookup::standard_lookup_places((tmp / "program").string());
        const std::vector<std::string> args = {"--model", folder.string(), "--variable", "Precip", "--out",
                                               (tmp / "fine_cli").string(), "--format", "gtiff",
                                               "--projection", "robinson", "--quiet"};
        for (const char* use : {"first use, empty cache", "later, grids in the cache"}) {
            std::ostringstream out, err;
            const auto start = Clock::now();
            const int exit = run_veldra_export(args, out, err, standard);
            const double took = seconds_since(start);
            if (exit != 0) {
                std::printf("  %-40s FAILED (exit %d): %s\n", use, exit, err.str().c_str());
                status = 1;
                break;
            }
            std::printf("  %-40s %8.2f MB  %8.1f s a run of 12 months, %6.2f s a month\n", use,
                        static_cast<double>(folder_bytes(tmp / "fine_cli", ".tif")) / 1e6, took, took / 12);
            std::printf("  %-40s %8.2f MB of lookup grids in the cache\n", "",
                        static_cast<double>(folder_bytes(tmp / "cache/veldra/Projection_Layers", ".asc")) / 1e6);
        }
    } catch (const std::exception& e) {
        std::printf("FAILED: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(tmp, ec);
    return status;
}
