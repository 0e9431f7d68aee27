// bench_netcdf_export: veldra_export --format netcdf against the same export
// written with netCDF4-python (bench/netcdf4_python_anchor.py: the variable
// file memory-mapped with numpy, zlib at the same level with shuffle, the same
// chunks), both run as programs, paired A B A B, on:
//   1. the sample model's Live_Biomass: 0.5 degree (720 x 360), 5 years,
//      3 layers, 180 chunks;
//   2. a 1/12-degree model (4320 x 2160) of 200,000 cells, its land and cells
//      as bench_export makes them, 10 years of one layer, 120 chunks;
//   3. the peak memory of veldra_export on model 2 over 2 years and over 10.
// With --baseline PROGRAM another veldra_export (an earlier build) takes its
// turn in every pair as well; with --grids, layer_exporter writing the same
// run as ASCII grids (about 12 GB for run 2).
//
// For each program: the median and best seconds, the median of its paired
// ratios to veldra_export (the time of the other over that of veldra_export,
// in the same round), MB written and peak resident memory. Goals on two cores:
// the anchor at least 3 times slower, its file no more than 5 % smaller; an
// export of the single-threaded writer at least 2 times slower; the peak
// memory of 2 and of 10 years alike.
//
// Usage: bench_netcdf_export [--only 1|2|3] [--reps N] [--deflate LEVEL] [--threads N]
//                            [--baseline PROGRAM] [--grids] [--work DIR] [--keep]
//
// The work folder (default $TMPDIR or /tmp, then veldra_bench_netcdf_<pid>)
// holds model 2 (about 0.1 GB) and the files of one round: it should be a disk
// file system, where the files would be written in use. Everything is removed
// at the end, but for model 2 with --keep (to time other settings by hand).

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
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench_run.h"
#include "fine_model.h"

#ifndef VELDRA_BENCH_SAMPLE_MODEL
#define VELDRA_BENCH_SAMPLE_MODEL "sample_model"
#endif
#ifndef VELDRA_BENCH_LAYER_EXPORTER
#define VELDRA_BENCH_LAYER_EXPORTER "layer_exporter"
#endif
#ifndef VELDRA_BENCH_VELDRA_EXPORT
#define VELDRA_BENCH_VELDRA_EXPORT "veldra_export"
#endif
#ifndef VELDRA_BENCH_ANCHOR
#define VELDRA_BENCH_ANCHOR "netcdf4_python_anchor.py"
#endif

extern char** environ;

namespace fs = std::filesystem;
using veldra::bench::fine_land;
using veldra::bench::kCols;
using veldra::bench::kRows;
using veldra::bench::rangeland_positions;
using veldra::bench::read_half_degree_land;

namespace {

using veldra::bench::Run;

// Runs a program to its end, its output thrown away; its time and peak memory.
Run run_program(const std::vector<std::string>& args) { return veldra::bench::run_program(args, "/dev/null", "/dev/null"); }

std::uintmax_t bytes_under(const fs::path& folder) {
    std::uintmax_t total = 0;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file()) total += e.file_size();
    return total;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string text(std::int64_t v) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

struct Case {
    std::string name;
    fs::path model;            // the model folder (Parms/, Output/)
    std::string variable;      // its file name
    int first_year = 0, last_year = 0, layers = 1;
    std::int64_t grid_positions = 0;
};

struct Options {
    int only = 0, reps = 3, deflate = 4, threads = 0;
    std::string baseline;  // an earlier veldra_export
    bool grids = false, keep = false;
    fs::path work;
};

// A program of the comparison: its command line for a case, writing into a folder.
struct Program {
    std::string name;
    std::vector<std::string> (*args)(const Case&, const fs::path& out, const Options&, const std::string& tool);
    std::string tool;
};

std::vector<std::string> veldra_export_args(const Case& c, const fs::path& out, const Options& o, const std::string& tool) {
    std::vector<std::string> args = {tool, "--model", c.model.string(), "--variable", c.variable, "--out", out.string(),
                                     "--format", "netcdf", "--deflate", text(o.deflate), "--from", text(c.first_year),
                                     "--to", text(c.last_year), "--quiet"};
    if (o.threads > 0 && tool == VELDRA_BENCH_VELDRA_EXPORT) args.insert(args.end(), {"--threads", text(o.threads)});
    return args;
}

std::vector<std::string> anchor_args(const Case& c, const fs::path& out, const Options& o, const std::string& tool) {
    return {"/usr/bin/python3", tool, c.model.string(), c.variable, (out / (c.variable + ".nc")).string(),
            text(c.first_year), text(c.last_year), text(o.deflate)};
}

std::vector<std::string> grids_args(const Case& c, const fs::path& out, const Options&, const std::string& tool) {
    return {tool, (c.model / "Output/").string(), c.variable + ".vrd", (out / "g").string(), text(c.first_year),
            text(c.last_year), text(c.layers)};
}

struct Measured {
    std::vector<double> seconds, ratios, peak_mb;
    std::uintmax_t bytes = 0;
};

// Runs every program on one case `reps` times, in turn, each round in the
// same order; the ratios are to veldra_export's time in the same round.
bool compare(const Case& c, const std::vector<Program>& programs, const Options& o) {
    const double grid_mb = static_cast<double>(c.grid_positions) * 4.0 *
                           static_cast<double>((c.last_year - c.first_year + 1) * 12 * c.layers) / 1e6;
    std::vector<Measured> m(programs.size());
    const fs::path out = o.work / "out";
    for (int rep = 0; rep < o.reps; ++rep) {
        std::vector<double> round;
        for (std::size_t p = 0; p < programs.size(); ++p) {
            fs::remove_all(out);
            fs::create_directories(out);
            const Run r = run_program(programs[p].args(c, out, o, programs[p].tool));
            m[p].bytes = bytes_under(out);
            fs::remove_all(out);
            if (r.status != 0) {
                std::cout << "  " << programs[p].name << " failed with status " << r.status << "\n";
                return false;
            }
            m[p].seconds.push_back(r.seconds);
            m[p].peak_mb.push_back(r.peak_mb);
            round.push_back(r.seconds);
        }
        for (std::size_t p = 0; p < programs.size(); ++p) m[p].ratios.push_back(round[p] / round[0]);
    }
    std::cout << c.name << ": " << text(c.last_year - c.first_year + 1) << " years, " << text(c.layers)
              << " layer(s), " << std::setprecision(1) << grid_mb << " MB of grid values, " << o.reps
              << " rounds\n";
    std::cout << "  " << std::left << std::setw(36) << "program" << std::right << std::setw(9) << "median s"
              << std::setw(9) << "best s" << std::setw(12) << "time ratio" << std::setw(12) << "MB written"
              << std::setw(12) << "size ratio" << std::setw(9) << "peak MB" << "\n";
    for (std::size_t p = 0; p < programs.size(); ++p) {
        const Measured& x = m[p];
        std::cout << "  " << std::left << std::setw(36) << programs[p].name << std::right << std::setprecision(2)
                  << std::setw(9) << median(x.seconds) << std::setw(9)
                  << *std::min_element(x.seconds.begin(), x.seconds.end()) << std::setw(12) << median(x.ratios)
                  << std::setw(12) << static_cast<double>(x.bytes) / 1e6 << std::setw(12) << std::setprecision(3)
                  << static_cast<double>(x.bytes) / static_cast<double>(std::max<std::uintmax_t>(m[0].bytes, 1))
                  << std::setw(9) << std::setprecision(1) << median(x.peak_mb) << "\n";
    }
    std::cout << "\n";
    return true;
}

// --- The 1/12-degree model, as bench_export makes it ------------------------


void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}


// Builds the model in `folder`: 200,000 cells on the land from 50 degrees
// north southwards, in row order, without the half-degree blocks that hold no
// rangeland (three in ten); `years` years from 2000 of a smooth seasonal
// field with a little noise.
Case make_fine_model(const fs::path& sample, const fs::path& folder, int years) {
    const std::vector<std::uint8_t> coarse = read_half_degree_land((sample / "Output/Globe.vrd").string());
    if (coarse.empty()) throw std::runtime_error("the sample model's globe file has fewer than 360 lines");
    const std::vector<std::uint8_t> land = fine_land(coarse);

    fs::create_directories(folder / "Parms");
    fs::create_directories(folder / "Output");
    write_file(folder / "Parms/Output_List.vrl",
               "Veldra output variables\r\nOn  File name                           L   Label         Units\r\n"
               "1   Fine                                1   Layer         cm\r\n");
    std::string globe;
    for (std::size_t i = 0; i < land.size(); ++i) {
        globe += land[i] ? 'T' : 'F';
        if ((i + 1) % kCols == 0) globe += "\r\n";
    }
    write_file(folder / "Output/Globe.vrd", globe);

    const std::vector<std::uint32_t> cells = rangeland_positions(land, 200'000);
    const auto n = static_cast<std::int64_t>(cells.size());
    veldra::bench::write_fine_run(folder, cells, kCols, years, [](std::size_t) { return std::int64_t{1}; });
    return {"2. 1/12-degree model (4320 x 2160), " + text(n) + " cells", folder, "Fine", 2000, 1999 + years, 1,
            std::int64_t{kCols} * kRows};
}

// Peak memory of veldra_export over the first `years` years and over all of them.
bool memory_by_years(const Case& c, const Options& o) {
    std::cout << "3. peak memory of veldra_export on model 2, median of " << o.reps << "\n";
    const fs::path out = o.work / "out";
    for (int years : {2, c.last_year - c.first_year + 1}) {
        Case span = c;
        span.last_year = c.first_year + years - 1;
        std::vector<double> peak, seconds;
        for (int rep = 0; rep < o.reps; ++rep) {
            fs::remove_all(out);
            const Run r = run_program(veldra_export_args(span, out, o, VELDRA_BENCH_VELDRA_EXPORT));
            fs::remove_all(out);
            if (r.status != 0) {
                std::cout << "  veldra_export failed with status " << r.status << "\n";
                return false;
            }
            peak.push_back(r.peak_mb);
            seconds.push_back(r.seconds);
        }
        std::cout << "  " << std::setw(2) << years << " years: " << std::setprecision(1) << median(peak)
                  << " MB peak, " << std::setprecision(2) << median(seconds) << " s\n";
    }
    std::cout << "\n";
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](int& out) {
            if (i + 1 < argc) std::from_chars(argv[i + 1], argv[i + 1] + std::char_traits<char>::length(argv[i + 1]), out);
            ++i;
        };
        if (arg == "--only") value(o.only);
        else if (arg == "--reps") value(o.reps);
        else if (arg == "--deflate") value(o.deflate);
        else if (arg == "--threads") value(o.threads);
        else if (arg == "--baseline" && i + 1 < argc) o.baseline = argv[++i];
        else if (arg == "--grids") o.grids = true;
        else if (arg == "--work" && i + 1 < argc) o.work = argv[++i];
        else if (arg == "--keep") o.keep = true;
        else {
            std::cerr << "usage: bench_netcdf_export [--only 1|2|3] [--reps N] [--deflate LEVEL] [--threads N]\n"
                         "                           [--baseline PROGRAM] [--grids] [--work DIR] [--keep]\n";
            return 2;
        }
    }
    o.reps = std::max(o.reps, 1);
    const char* tmp = std::getenv("TMPDIR");
    if (o.work.empty()) o.work = fs::path(tmp && *tmp ? tmp : "/tmp");
    o.work /= "veldra_bench_netcdf_" + text(::getpid());
    fs::create_directories(o.work);
    std::cout << "work folder " << o.work.string() << ", veldra_export threads: "
              << (o.threads > 0 ? text(o.threads) : "one per core (" + text(std::thread::hardware_concurrency()) + ")")
              << std::fixed << "\n\n";

    std::vector<Program> programs = {{"veldra_export --format netcdf", veldra_export_args, VELDRA_BENCH_VELDRA_EXPORT},
                                     {"netCDF4-python (anchor)", anchor_args, VELDRA_BENCH_ANCHOR}};
    if (!o.baseline.empty()) programs.push_back({"baseline veldra_export", veldra_export_args, o.baseline});
    if (o.grids) programs.push_back({"layer_exporter (ASCII grids)", grids_args, VELDRA_BENCH_LAYER_EXPORTER});
    bool ok = true;
    try {
        const fs::path sample = VELDRA_BENCH_SAMPLE_MODEL;
        if (o.only == 0 || o.only == 1)
            ok &= compare({"1. sample model, Live_Biomass, 0.5 degree (720 x 360)", sample, "Live_Biomass", 2000, 2004,
                           3, 720 * 360},
                          programs, o);
        if (o.only == 0 || o.only == 2 || o.only == 3) {
            const auto start = std::chrono::steady_clock::now();
            const Case fine = make_fine_model(sample, o.work / "fine_model", 10);
            std::cout << "(model 2 was built in " << std::setprecision(1)
                      << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s)\n";
            if (o.only != 3) ok &= compare(fine, programs, o);
            if (o.only != 2) ok &= memory_by_years(fine, o);
        }
    } catch (const std::exception& e) {
        std::cout << "bench_netcdf_export: " << e.what() << "\n";
        ok = false;
    }
    if (o.keep) {
        std::cout << "model 2 is kept in " << (o.work / "fine_model").string() << "\n";
    } else {
        fs::remove_all(o.work);
    }
    return ok ? 0 : 1;
}
