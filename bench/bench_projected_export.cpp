// bench_projected_export: how fast the viewer's export writes monthly grids.
//   1. values formatted per second by the export's number format (3 decimal
//      places) against the exporter's write_real_item, on the same values;
//   2. a five-year (60-month) export of Precip of the 0.5-degree sample model
//      in Robinson, and the same in geographic form;
//   3. one month of a 1/12-degree model in Robinson: the sample's land, cells
//      and January values spread over 6 x 6 finer cells (the lookup grids of
//      "0p083" are made once, with PROJ, into the build folder, and kept).
//
// Usage: bench_projected_export [sample_model_dir [lookup_dir]]
// Grids go to a fresh folder under $TMPDIR (or /tmp), removed at the end.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "export/grid_export.h"
#include "export/grid_value_text.h"
#include "export/lookup_grids.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/free_format.h"
#include "modelfiles/globe_file.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"
#include "export/lookup_maker/lookup_grid_maker.h"
#include "fine_model.h"

#ifndef VELDRA_BENCH_SAMPLE_MODEL
#define VELDRA_BENCH_SAMPLE_MODEL "sample_model"
#endif
#ifndef VELDRA_BENCH_LOOKUP_DIR
#define VELDRA_BENCH_LOOKUP_DIR "bin/Projection_Layers"
#endif
#ifndef VELDRA_BENCH_FINE_LOOKUP_DIR
#define VELDRA_BENCH_FINE_LOOKUP_DIR "bench/lookup_0p083"
#endif

namespace fs = std::filesystem;
using namespace veldra;
using namespace veldra::out;
using namespace veldra::bench;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Figures {
    double best = 0;
    double median = 0;
};

Figures figures_of(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    const std::size_t n = t.size();
    return {t.front(), n % 2 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2};
}

volatile std::uint64_t g_sink = 0;


std::uint64_t folder_bytes(const fs::path& dir, std::size_t& files) {
    std::uint64_t bytes = 0;
    files = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) {
            bytes += e.file_size();
            ++files;
        }
    return bytes;
}

// Times `runs` exports into `out` (emptied before each); prints the figures.
bool time_export(const char* label, const veldra::out::ExportSource& source, const veldra::out::ExportSettings& settings,
                 const veldra::out::LookupPlaces& places, const fs::path& out, int runs) {
    std::vector<double> times;
    std::string failure;
    veldra::out::ExportOutcome outcome;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(out);
        fs::create_directories(out);
        const auto start = Clock::now();
        outcome = export_grids(source, settings, places, veldra::files::system_files(), [&](veldra::out::ExportNote note, const std::string& text) {
            if (note == veldra::out::ExportNote::message) failure = text;
            return true;
        });
        times.push_back(seconds_since(start));
        if (outcome.failed || outcome.months_abandoned) break;
    }
    if (outcome.failed || outcome.months_abandoned) {
        std::printf("  %-44s FAILED: %s\n", label, failure.c_str());
        return false;
    }
    std::size_t files = 0;
    const std::uint64_t bytes = folder_bytes(out, files);
    const Figures f = figures_of(times);
    std::printf("  %-44s %3d grids %7.1f MB  best %7.1f ms  median %7.1f ms  (%d runs)\n", label,
                outcome.months_written, static_cast<double>(bytes) / 1e6, f.best * 1e3, f.median * 1e3, runs);
    return true;
}

// The mixed values of bench_export: 10% -9999, 10% -255, the rest model
// values over the decades 1e-3..1e5 (5% zero, one in seven negative).
std::vector<float> mixed_values(std::size_t count) {
    std::uint64_t s = 20240601;
    auto unit = [&] {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
    };
    std::vector<float> v(count);
    for (float& x : v) {
        const double u = unit();
        if (u < 0.10) x = -9999.0f;
        else if (u < 0.20) x = -255.0f;
        else if (unit() < 0.05) x = 0.0f;
        else {
            const auto m = static_cast<float>(std::pow(10.0, -3.0 + 8.0 * unit()));
            x = unit() < 1.0 / 7.0 ? -m : m;
        }
    }
    return v;
}

template <typename Write>
double time_formatting(const std::vector<float>& values, Write write) {
    std::vector<double> times;
    std::vector<char> buffer(1 << 16);
    for (int rep = 0; rep < 5; ++rep) {
        std::uint64_t bytes = 0;
        char* p = buffer.data();
        char* const limit = buffer.data() + buffer.size() - 160;
        const auto start = Clock::now();
        for (const float v : values) {
            p = write(p, v);
            if (p > limit) {
                bytes += static_cast<std::uint64_t>(p - buffer.data());
                p = buffer.data();
            }
        }
        times.push_back(seconds_since(start));
        g_sink = g_sink + bytes + static_cast<unsigned char>(buffer[0]);
    }
    return figures_of(times).best * 1e9 / static_cast<double>(values.size());
}


}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        std::printf("usage: bench_projected_export [sample_model_dir [lookup_dir]]\n");
        return argc > 3 ? 2 : 0;
    }
    const std::string model_dir = argc >= 2 ? argv[1] : VELDRA_BENCH_SAMPLE_MODEL;
    const std::string lookup_dir = argc >= 3 ? argv[2] : VELDRA_BENCH_LOOKUP_DIR;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base && *base ? std::string(base) : std::string("/tmp")) + "/bench_projected.XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("bench_projected_export: mkdtemp");
        return 1;
    }
    const fs::path tmp(pattern);
#ifdef NDEBUG
    const char* build = "optimized (NDEBUG)";
#else
    const char* build = "NOT optimized: figures are not representative";
#endif
    std::printf("bench_projected_export  build: %s  temp folder: %s\n\n", build, tmp.c_str());
    int status = 0;

    {
        const std::vector<float> values = mixed_values(4'000'000);
        const veldra::out::GridValueText three(3), none(0);
        std::printf("1. Formatting one value (mixed values, best of 5, 4M values)\n");
        const double free_format = time_formatting(values, [](char* p, float v) { return veldra::files::write_real_item(p, v); });
        const double decimals = time_formatting(values, [&](char* p, float v) { return three.write(p, v); });
        const double whole = time_formatting(values, [&](char* p, float v) { return none.write(p, v); });
        std::printf("  %-44s %7.1f ns\n", "write_real_item (the exporter's grids)", free_format);
        std::printf("  %-44s %7.1f ns\n", "GridValueText, 3 decimal places", decimals);
        std::printf("  %-44s %7.1f ns\n\n", "GridValueText, 0 decimal places", whole);
    }

    std::error_code ec;
    if (!fs::is_directory(model_dir, ec) || !fs::is_directory(lookup_dir, ec)) {
        std::printf("2., 3. skipped: %s or %s not found (build sample_model and lookup_grids)\n", model_dir.c_str(),
                    lookup_dir.c_str());
        fs::remove_all(tmp, ec);
        return 0;
    }
    try {
        const Model sample = load_model(model_dir);
        const veldra::out::ExportSource source{model_dir, "Precip", 1, 1, sample.cells.info.cellCount,
                                  sample.cells.info.firstYear, sample.cells.info.cellSize, sample.cells.cells,
                                  sample.land};
        const veldra::out::LookupPlaces places{{lookup_dir}, "", nullptr};
        const std::int32_t first = sample.cells.info.firstYear;
        std::printf("2. Precip of the sample model, %d to %d (60 months), 3 decimal places\n", first, first + 4);
        for (const int projection : {1, 0}) {
            const veldra::out::ExportSettings settings{(tmp / "out").string(), "precip", first, first + 4, 3, projection};
            const std::string label = std::string(veldra::out::projection_names(projection).caption) + ", 60 months";
            if (!time_export(label.c_str(), source, settings, places, tmp / "out", 5)) status = 1;
        }
        std::printf("\n");

        std::printf("3. One month of a 1/12-degree model (4320 x 2160 cells) in Robinson\n");
        const fs::path fine_folder = tmp / "fine_model";
        const FineModel fine = fine_model(sample, model_dir, fine_folder);
        const std::string fine_lookup = VELDRA_BENCH_FINE_LOOKUP_DIR;
        if (!fs::exists(fs::path(fine_lookup) / "robinson_ids_0p083.asc")) {
            fs::create_directories(fine_lookup);
            const auto start = Clock::now();
            const int robinson[] = {1};
            lookup::make_lookup_grids(fine_lookup, "0p083", robinson, veldra::files::system_files());
            std::printf("  %-44s %7.1f s (once, kept in %s)\n", "making the \"0p083\" lookup grids with PROJ",
                        seconds_since(start), fine_lookup.c_str());
        }
        const veldra::out::ExportSource fine_source{fine_folder.string(), "Precip", 1, 1,
                                       static_cast<std::int64_t>(fine.cells.size()), first, 0.0833333f, fine.cells,
                                       fine.land};
        std::printf("  %zu rangeland cells\n", fine.cells.size());
        const veldra::out::ExportSettings settings{(tmp / "fine_out").string(), "precip", first, first, 3, 1};
        // One month: the export stops after January, as the file holds no more.
        // Also timed: the phases between the status texts.
        std::vector<double> times, zones, projection, month;
        std::string failure;
        for (int i = 0; i < 3; ++i) {
            fs::remove_all(tmp / "fine_out");
            fs::create_directories(tmp / "fine_out");
            const auto start = Clock::now();
            double at_zones = 0, at_projection = 0, at_month = 0;
            const veldra::out::ExportOutcome out = export_grids(
                fine_source, settings, out::LookupPlaces{{fine_lookup}, "", nullptr}, veldra::files::system_files(),
                [&](veldra::out::ExportNote note, const std::string& text) {
                    if (note == veldra::out::ExportNote::message) failure = text;
                    if (text.starts_with("Reading in geographic")) at_zones = seconds_since(start);
                    if (text.starts_with("Reading in projection")) at_projection = seconds_since(start);
                    if (text.starts_with("Saving: ")) at_month = seconds_since(start);
                    return !(note == veldra::out::ExportNote::status && text.empty());  // stop once January is written
                });
            times.push_back(seconds_since(start));
            zones.push_back(at_projection - at_zones);
            projection.push_back(at_month - at_projection);
            month.push_back(times.back() - at_month);
            if (out.months_written != 1) {
                std::printf("  FAILED: %s\n", failure.c_str());
                status = 1;
                break;
            }
        }
        if (status == 0) {
            std::size_t files = 0;
            const std::uint64_t bytes = folder_bytes(tmp / "fine_out", files);
            const Figures f = figures_of(times);
            std::printf("  %-44s %3d grid  %7.1f MB  best %7.1f ms  median %7.1f ms  (3 runs, lookup grids read "
                        "each run)\n",
                        "Robinson, 1 month", 1, static_cast<double>(bytes) / 1e6, f.best * 1e3, f.median * 1e3);
            std::printf("  %-44s %7.1f ms\n", "  of which reading the reference grid (median)", figures_of(zones).median * 1e3);
            std::printf("  %-44s %7.1f ms\n", "  reading the Robinson grids (median)", figures_of(projection).median * 1e3);
            std::printf("  %-44s %7.1f ms\n", "  reading the block and writing (median)", figures_of(month).median * 1e3);
        }
    } catch (const std::exception& e) {
        std::printf("FAILED: %s\n", e.what());
        status = 1;
    }
    fs::remove_all(tmp, ec);
    return status;
}
