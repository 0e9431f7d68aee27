// bench_fields: the summaries of fields/summary_source.h on a 1/12-degree
// model of 200,000 cells and 10 years (a variable file of 96 MB, built once
// into the build folder and kept there): annual-mean, climatology and trend,
// every field read and nothing written, against
//   - the numpy limit (bench/fields_numpy_anchor.py: the file read whole with
//     np.fromfile, means by whole-array sums), run as a program in the same
//     rounds: its own time (from the read on) and the whole program's;
//   - with --cdo, `cdo yearmean` on the NetCDF export of the same run
//     (veldra_export --format netcdf, made once beside the model);
// then the peak resident memory of each summary over 2 years and over 10
// (this program run again on one summary, measured by getrusage).
// The fields of each summary are compared with numpy's: the largest
// difference relative to the value, and the cells where one has no data and
// the other has.
//
// Usage: bench_fields [--reps N] [--cdo] [--model DIR]
//        bench_fields --one SUMMARY YEARS DIR   (one summary read, for the peak memory)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fields/monthly_source.h"
#include "fields/summary_source.h"
#include "bench_run.h"
#include "fine_model.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/model_writer.h"

#ifndef VELDRA_BENCH_SAMPLE_MODEL
#define VELDRA_BENCH_SAMPLE_MODEL "sample_model"
#endif
#ifndef VELDRA_BENCH_FIELDS_MODEL
#define VELDRA_BENCH_FIELDS_MODEL "fields_model"
#endif
#ifndef VELDRA_BENCH_NUMPY_ANCHOR
#define VELDRA_BENCH_NUMPY_ANCHOR "fields_numpy_anchor.py"
#endif
#ifndef VELDRA_BENCH_VELDRA_EXPORT
#define VELDRA_BENCH_VELDRA_EXPORT "veldra_export"
#endif

extern char** environ;

namespace fs = std::filesystem;
using namespace veldra;
using veldra::fields::Summary;

namespace {

constexpr std::int32_t kFirstYear = 2000, kYears = 10, kCells = 200'000;

// --- The model --------------------------------------------------------------

// A smooth seasonal field by latitude and longitude with a little noise; one
// value in 200 is the model's 1e20 marker of no data.
float model_value(std::int32_t year, std::int32_t month, std::uint32_t position, std::size_t cell) {
    const double lat = 90 - (position / bench::kCols + 0.5) / 12, lon = -180 + (position % bench::kCols + 0.5) / 12;
    const std::uint64_t key =
        (static_cast<std::uint64_t>(year) * 12 + static_cast<std::uint64_t>(month)) * kCells + cell;
    const double noise = bench::hash_unit(key);
    if (noise < 0.005) return 1e20f;
    const double season = std::cos((month - 1 + lon / 30) * 0.5235987755982988) * std::sin(lat * 0.0174533);
    return static_cast<float>(8 + 6 * season + 0.05 * (year - kFirstYear) + noise);
}

// Builds the model in `folder` unless its variable file is there whole.
void make_model(const fs::path& folder) {
    const fs::path values = folder / "Output/Fine.vrd";
    const auto size = std::uintmax_t{kYears} * 12 * (kCells + 3) * 4;
    if (fs::exists(values) && fs::file_size(values) == size && fs::exists(folder / "Output/Rng_Data.vrd")) return;
    std::cout << "building the model in " << folder.string() << " (once)\n";
    const auto coarse = bench::read_half_degree_land(std::string(VELDRA_BENCH_SAMPLE_MODEL) + "/Output/Globe.vrd");
    if (coarse.empty()) throw std::runtime_error("the sample model's globe file has fewer than 360 lines");
    const std::vector<std::uint8_t> land = bench::fine_land(coarse);
    const std::vector<std::uint32_t> cells = bench::rangeland_positions(land, kCells);
    if (cells.size() != kCells) throw std::runtime_error("too little land for the cells");

    veldra::files::create_model_folders(folder.string());
    veldra::files::replace_file((folder / "Parms/Output_List.vrl").string(),
                 "Veldra output variables\r\n" + veldra::files::output_list_line("On", "File name", "L", "Label", "Units") + "\r\n" +
                     veldra::files::output_list_line("1", "Fine", "1", "Layer", "cm") + "\r\n");
    std::vector<std::string> rows(bench::kRows, std::string(bench::kCols, 'F'));
    for (std::size_t i = 0; i < land.size(); ++i)
        if (land[i]) rows[i / bench::kCols][i % bench::kCols] = 'T';
    veldra::files::replace_file((folder / "Output/Globe.vrd").string(), veldra::files::globe_file_text(rows));
    std::vector<veldra::files::RangeCell> range(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        range[i] = {static_cast<std::int32_t>(i) + 1, 1, static_cast<std::int32_t>(cells[i] % bench::kCols) + 1,
                    static_cast<std::int32_t>(cells[i] / bench::kCols) + 1, 1};
    const veldra::files::GridInfo info{kCells, bench::kCols, bench::kRows, -180,       -90,
                        180,    90,           0.0833333f,   kFirstYear, kFirstYear + kYears - 1};
    veldra::files::replace_file((folder / "Output/Rng_Data.vrd").string(), cell_file_text(info, range));
    veldra::files::write_variable_file(values.string(), {kCells, kFirstYear, kFirstYear + kYears - 1, 1},
                        [&](std::int32_t year, std::int32_t month, std::int32_t, std::span<float> v) {
                            for (std::size_t i = 0; i < v.size(); ++i) v[i] = model_value(year, month, cells[i], i);
                        });
}

// --- Reading a summary --------------------------------------------------------

// Every field of `summary` over the first `years` years, one after another
// when `keep`, else only the field count (the memory then is the source's own).
std::vector<float> read_summary(const fs::path& folder, Summary summary, std::int32_t years, bool keep = true) {
    const fields::RunVariable run{folder.string(), "Fine", 1, kFirstYear, kCells};
    const std::int32_t last = kFirstYear + years - 1;
    auto source = fields::summary_source(
        std::make_unique<fields::MonthlySource>(run, 1, kFirstYear, last, fields::BadBlock::stop), summary, kFirstYear,
        last);
    std::vector<float> all;
    fields::Field field;
    for (std::size_t k = 0; k < source->periods().size(); ++k) {
        source->read(k, field);
        if (keep)
            all.insert(all.end(), field.values.begin(), field.values.end());
        else
            all.push_back(static_cast<float>(k));
    }
    return all;
}

// --- Programs ----------------------------------------------------------------

using veldra::bench::Run;
using veldra::bench::run_program;

std::string file_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<float> floats_of(const fs::path& path) {
    const std::string bytes = file_text(path);
    std::vector<float> v(bytes.size() / 4);
    std::memcpy(v.data(), bytes.data(), v.size() * 4);
    return v;
}

struct Figures {
    double best = 0, median = 0;
};

Figures figures(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return {t.front(), t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2};
}

// The largest difference relative to max(1, |value|), and the cells where
// exactly one side has no data.
void print_agreement(const std::vector<float>& mine, const std::vector<float>& theirs) {
    if (mine.size() != theirs.size()) {
        std::printf("    numpy gave %zu values, the source %zu\n", theirs.size(), mine.size());
        return;
    }
    double largest = 0;
    std::size_t one_sided = 0;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (std::isnan(mine[i]) || std::isnan(theirs[i])) {
            one_sided += std::isnan(mine[i]) != std::isnan(theirs[i]);
            continue;
        }
        largest = std::max(largest, std::abs(double{mine[i]} - theirs[i]) / std::max(1.0, std::abs(double{theirs[i]})));
    }
    std::printf("    against numpy: largest relative difference %.2g, cells with no data on one side only: %zu\n",
                largest, one_sided);
}

// --- The comparisons ------------------------------------------------------------

void time_summary(const fs::path& folder, Summary summary, int reps, const fs::path& work) {
    const std::string name(fields::summary_name(summary));
    const fs::path out = work / ("numpy_" + name + ".f32"), seconds_file = work / "numpy_seconds.txt";
    std::vector<double> ours, numpy_own, numpy_whole;
    std::vector<float> mine;
    for (int rep = 0; rep < reps; ++rep) {
        const auto start = std::chrono::steady_clock::now();
        mine = read_summary(folder, summary, kYears);
        ours.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const Run r = run_program({"/usr/bin/python3", VELDRA_BENCH_NUMPY_ANCHOR, (folder / "Output/Fine.vrd").string(),
                                   std::to_string(kCells), std::to_string(kYears), name, out.string()},
                                  seconds_file.string());
        if (r.status != 0) throw std::runtime_error("the numpy anchor failed with status " + std::to_string(r.status));
        numpy_whole.push_back(r.seconds);
        numpy_own.push_back(std::strtod(file_text(seconds_file).c_str(), nullptr));
    }
    const Figures a = figures(ours), b = figures(numpy_own), c = figures(numpy_whole);
    std::printf(
        "  %-12s source: median %6.3f s best %6.3f s | numpy read+reduce: median %6.3f s best %6.3f s"
        " | numpy program: median %6.3f s | source / numpy read+reduce: %.2f\n",
        name.c_str(), a.median, a.best, b.median, b.best, c.median, a.median / b.median);
    print_agreement(mine, floats_of(out));
}

// veldra_export's NetCDF file of the run (made once), then `cdo yearmean` of it.
void time_cdo(const fs::path& folder, int reps, const fs::path& work) {
    const fs::path nc_folder = folder / "netcdf";
    fs::path nc;
    if (fs::exists(nc_folder))
        for (const auto& e : fs::directory_iterator(nc_folder))
            if (e.path().extension() == ".nc") nc = e.path();
    if (nc.empty()) {
        std::cout << "  exporting the run to NetCDF (once)\n";
        const Run r =
            run_program({VELDRA_BENCH_VELDRA_EXPORT, "--model", folder.string(), "--variable", "Fine", "--out",
                         nc_folder.string(), "--format", "netcdf", "--from", std::to_string(kFirstYear), "--to",
                         std::to_string(kFirstYear + kYears - 1), "--quiet"});
        for (const auto& e : fs::directory_iterator(nc_folder))
            if (e.path().extension() == ".nc") nc = e.path();
        if (r.status != 0 || nc.empty()) throw std::runtime_error("veldra_export failed");
    }
    std::vector<double> t, peak;
    for (int rep = 0; rep < reps; ++rep) {
        const fs::path out = work / "yearmean.nc";
        fs::remove(out);
        const Run r = run_program({"/usr/bin/cdo", "-s", "yearmean", nc.string(), out.string()});
        if (r.status != 0) throw std::runtime_error("cdo yearmean failed with status " + std::to_string(r.status));
        t.push_back(r.seconds);
        peak.push_back(r.peak_mb);
        fs::remove(out);
    }
    const Figures f = figures(t);
    std::printf("  cdo yearmean on the NetCDF export (%.0f MB): median %6.3f s best %6.3f s, peak %.0f MB\n",
                static_cast<double>(fs::file_size(nc)) / 1e6, f.median, f.best, figures(peak).median);
}

// The peak resident memory of this process in kB: VmHWM, of its own memory
// since its exec (getrusage would give at least the parent's at the spawn).
long peak_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

void peak_memory(const fs::path& folder, const fs::path& work) {
    std::cout << "peak resident memory of one summary read whole (this program run again):\n";
    const fs::path peak_file = work / "peak.txt";
    for (const Summary s : {Summary::annual_mean, Summary::climatology, Summary::trend})
        for (const int years : {2, kYears}) {
            const Run r = run_program({"/proc/self/exe", "--one", std::string(fields::summary_name(s)),
                                       std::to_string(years), folder.string()},
                                      peak_file.string());
            std::printf("  %-12s %2d years: %6.1f MB (%.2f s)%s\n", std::string(fields::summary_name(s)).c_str(), years,
                        static_cast<double>(std::atol(file_text(peak_file).c_str())) / 1024.0, r.seconds,
                        r.status == 0 ? "" : " FAILED");
        }
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 3;
    bool cdo = false;
    fs::path folder = VELDRA_BENCH_FIELDS_MODEL;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--one" && i + 3 < argc) {
            const std::optional<Summary> s = fields::summary_named(argv[i + 1]);
            if (!s) return 2;
            const std::vector<float> all = read_summary(argv[i + 3], *s, std::atoi(argv[i + 2]), false);
            std::cout << peak_kb() << "\n";
            return all.empty() ? 1 : 0;
        }
        if (arg == "--reps" && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--cdo")
            cdo = true;
        else if (arg == "--model" && i + 1 < argc)
            folder = argv[++i];
        else {
            std::cerr << "usage: bench_fields [--reps N] [--cdo] [--model DIR]\n";
            return 2;
        }
    }
    try {
        make_model(folder);
        const fs::path work = fs::temp_directory_path() / ("veldra_bench_fields_" + std::to_string(::getpid()));
        fs::create_directories(work);
        std::printf("1/12-degree model of %d cells, %d years (%.0f MB of values), %d rounds\n", kCells, kYears,
                    static_cast<double>(fs::file_size(folder / "Output/Fine.vrd")) / 1e6, reps);
        for (const Summary s : {Summary::annual_mean, Summary::climatology, Summary::trend})
            time_summary(folder, s, reps, work);
        if (cdo) time_cdo(folder, reps, work);
        peak_memory(folder, work);
        fs::remove_all(work);
    } catch (const std::exception& e) {
        std::cerr << "bench_fields: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
