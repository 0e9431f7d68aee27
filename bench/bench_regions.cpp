// bench_regions: the table of a run's statistics by zone (regions.h and
// region_table.h over fields::MonthlySource) against numpy's floor of the
// same read (bench/regions_numpy_limit.py: the variable file read whole with
// np.fromfile and the cells of each month averaged), on a 1/12-degree model
// (4320 x 2160) of 200,000 cells and 40 zones, 10 years of one layer, as
// bench_netcdf_export makes it. Both run as programs, paired A B A B; for
// each, the whole run (start-up included) and the work alone (the table
// from the cell table on: the regions, every month read and its rows
// written; numpy's read and means after its import). Then the peak resident
// memory of the table over 2 years and over 10. Goal: the table within 2
// times numpy's floor; the peak of 2 and of 10 years alike.
//
// Usage: bench_regions [--reps N] [--work DIR] [--keep]
//        bench_regions --table MODEL FIRST_YEAR LAST_YEAR OUT  (one table; prints its seconds)
//
// The work folder (default $TMPDIR or /tmp, then veldra_bench_regions_<pid>)
// holds the model (about 0.1 GB) and the table; it is removed at the end
// unless --keep.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "fields/monthly_source.h"
#include "fields/region_table.h"
#include "fields/regions.h"
#include "bench_run.h"
#include "fine_model.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/resolutions.h"

#ifndef VELDRA_BENCH_SAMPLE_MODEL
#define VELDRA_BENCH_SAMPLE_MODEL "sample_model"
#endif
#ifndef VELDRA_BENCH_NUMPY_LIMIT
#define VELDRA_BENCH_NUMPY_LIMIT "regions_numpy_limit.py"
#endif

extern char** environ;

namespace fs = std::filesystem;
using veldra::bench::fine_land;
using veldra::bench::hash_unit;
using veldra::bench::kCols;
using veldra::bench::kRows;
using veldra::bench::read_half_degree_land;

namespace {

constexpr int kYears = 10;
constexpr int kZones = 40;

std::string text(std::int64_t v) { return veldra::bench::whole_text(v); }

struct Run : veldra::bench::Run {
    double work_seconds = 0;  // what it printed
};

// Runs a program to its end; its time, peak memory and the seconds it printed.
Run run_program(const std::vector<std::string>& args, const fs::path& printed) {
    Run run{veldra::bench::run_program(args, printed.string(), "/dev/null")};
    std::ifstream in(printed);
    in >> run.work_seconds;
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The model of bench_netcdf_export (200,000 cells on the land from 50 degrees
// north southwards, in row order, without three in ten half-degree blocks;
// a smooth seasonal field with a little noise), its cells in 40 zones of
// 3 x 3 degree blocks.
std::int64_t make_model(const fs::path& sample, const fs::path& folder) {
    const std::vector<std::uint8_t> coarse = read_half_degree_land((sample / "Output/Globe.vrd").string());
    if (coarse.empty()) throw std::runtime_error("the sample model's globe file has fewer than 360 lines");
    const std::vector<std::uint8_t> land = fine_land(coarse);
    fs::create_directories(folder / "Output");
    const std::vector<std::uint32_t> cells = veldra::bench::rangeland_positions(land, 200'000);
    veldra::bench::write_fine_run(folder, cells, kCols, kYears, [&](std::size_t i) {
        const std::uint64_t block = (cells[i] / kCols / 36) * 120 + (cells[i] % kCols) / 36;
        return 1 + static_cast<std::int64_t>(hash_unit(block * 7 + 1) * kZones);
    });
    const auto n = static_cast<std::int64_t>(cells.size());
    return n;
}

// One table, as `veldra_export --regions zone --format csv` would make it:
// the cell file read, the regions made, every month's rows written.
int table(const std::string& model, int first, int last, const std::string& out) {
    const std::string cell_path = model + "/Output/Rng_Data.vrd";
    const veldra::files::CellFile cells = veldra::files::parse_cell_file(veldra::files::read_text_file(cell_path), cell_path);
    const auto start = std::chrono::steady_clock::now();
    const veldra::files::GridInfo& g = cells.info;
    const veldra::files::ModelGrid grid =
        veldra::files::model_grid({static_cast<double>(g.lowerX), static_cast<double>(g.lowerY), static_cast<double>(g.upperX),
                            static_cast<double>(g.upperY)},
                           g.cellSize, cells.window.cols(), cells.window.rows());
    const veldra::fields::RegionSet regions =
        veldra::fields::make_regions(veldra::fields::parse_regions({"zone"}), cells.cells, grid);
    veldra::fields::MonthlySource source({model, "Fine", 1, g.firstYear, g.cellCount}, 1, first, last,
                                         veldra::fields::BadBlock::stop);
    veldra::fields::write_region_table(source, regions, out);
    std::printf("%.6f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}

void print_row(const std::string& name, const std::vector<Run>& runs) {
    std::vector<double> whole, work, peak;
    for (const Run& r : runs) whole.push_back(r.seconds), work.push_back(r.work_seconds), peak.push_back(r.peak_mb);
    std::cout << "  " << std::left << std::setw(34) << name << std::right << std::setprecision(3) << std::setw(10)
              << median(whole) << std::setw(10) << *std::min_element(whole.begin(), whole.end()) << std::setw(10)
              << median(work) << std::setw(10) << *std::min_element(work.begin(), work.end()) << std::setw(9)
              << std::setprecision(1) << median(peak) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--table") {
        try {
            return table(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_regions: %s\n", e.what());
            return 1;
        }
    }
    int reps = 5;
    bool keep = false;
    fs::path work;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reps" && i + 1 < argc) reps = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--work" && i + 1 < argc) work = argv[++i];
        else if (arg == "--keep") keep = true;
        else {
            std::cerr << "usage: bench_regions [--reps N] [--work DIR] [--keep]\n";
            return 2;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    if (work.empty()) work = fs::path(tmp && *tmp ? tmp : "/tmp");
    work /= "veldra_bench_regions_" + text(::getpid());
    const fs::path model = work / "fine_model", printed = work / "printed.txt", out = work / "zones.csv";
    bool ok = true;
    try {
        fs::create_directories(work);
        const std::int64_t n = make_model(VELDRA_BENCH_SAMPLE_MODEL, model);
        const std::string self = fs::canonical("/proc/self/exe").string();
        const auto table_args = [&](int years) {
            return std::vector<std::string>{self, "--table", model.string(), "2000", text(1999 + years), out.string()};
        };
        const std::vector<std::string> numpy_args = {"/usr/bin/python3", VELDRA_BENCH_NUMPY_LIMIT,
                                                     (model / "Output/Fine.vrd").string(), text(n),
                                                     text(12 * kYears)};
        std::cout << "work folder " << work.string() << std::fixed << "\n1/12-degree model, " << n << " cells, "
                  << kZones << " zones, " << kYears << " years, " << reps << " rounds (page cache warm)\n";
        run_program(table_args(kYears), printed);  // warms the page cache
        std::vector<Run> tables, floors;
        std::vector<double> whole_ratio, work_ratio;
        for (int rep = 0; rep < reps && ok; ++rep) {
            tables.push_back(run_program(table_args(kYears), printed));
            floors.push_back(run_program(numpy_args, printed));
            ok = tables.back().status == 0 && floors.back().status == 0;
            whole_ratio.push_back(tables.back().seconds / floors.back().seconds);
            work_ratio.push_back(tables.back().work_seconds / floors.back().work_seconds);
        }
        if (!ok) throw std::runtime_error("a program failed");
        std::cout << "  " << std::left << std::setw(34) << "program" << std::right << std::setw(10) << "whole s"
                  << std::setw(10) << "best" << std::setw(10) << "work s" << std::setw(10) << "best"
                  << std::setw(9) << "peak MB" << "\n";
        print_row("table of zones (regions.h)", tables);
        print_row("numpy floor (fromfile, mean)", floors);
        std::cout << "  table / numpy, median of the paired ratios: whole " << std::setprecision(2)
                  << median(whole_ratio) << ", work " << median(work_ratio) << " (goal: at most 2)\n";
        std::cout << "  the table: " << fs::file_size(out) / 1000 << " kB\n";
        std::cout << "peak memory of the table, median of " << reps << "\n";
        for (int years : {2, kYears}) {
            std::vector<double> peak;
            for (int rep = 0; rep < reps; ++rep) peak.push_back(run_program(table_args(years), printed).peak_mb);
            std::cout << "  " << std::setw(2) << years << " years: " << std::setprecision(1) << median(peak)
                      << " MB\n";
        }
    } catch (const std::exception& e) {
        std::cout << "bench_regions: " << e.what() << "\n";
        ok = false;
    }
    if (keep) std::cout << "the model is kept in " << model.string() << "\n";
    else fs::remove_all(work);
    return ok ? 0 : 1;
}
