// bench_netcdf_export: veldra_export --format netcdf against layer_exporter
// writing the same run as ASCII grids, both run as programs one after the
// other, in two runs:
//   1. the sample model's Live_Biomass: 0.5 degree (720 x 360), 5 years,
//      3 layers, 180 grids;
//   2. a synthetic 1/12-degree run (4320 x 2160): 1,000,000 cells, 10 years,
//      one layer, 120 grids.
// For each program: seconds, MB/s of grid values (4 bytes per grid position
// of every month and layer written, whatever the format), the peak resident
// memory, and the bytes written: the NetCDF file against the sum of the
// grids. Then the ratio of the times (goal for run 2: at most 2) and of the
// sizes (goal: the NetCDF file at least 10 times smaller).
//
// Usage: bench_netcdf_export [--only 1|2] [--reps N] [--deflate LEVEL] [--work DIR] [--keep]
//
// The work folder (default $TMPDIR or /tmp, then veldra_bench_netcdf_<pid>)
// holds the synthetic model (about 0.6 GB) and, for a moment, the grids of a
// run (about 12 GB for run 2): it should be a disk file system, where both
// programs would write in use. Everything is removed at the end, but for the
// synthetic model with --keep (to time other settings by hand). With
// --reps N each pair is run N times, alternating, and the medians are shown.

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
#include <vector>

#ifndef VELDRA_BENCH_SAMPLE_MODEL
#define VELDRA_BENCH_SAMPLE_MODEL "sample_model"
#endif
#ifndef VELDRA_BENCH_LAYER_EXPORTER
#define VELDRA_BENCH_LAYER_EXPORTER "layer_exporter"
#endif
#ifndef VELDRA_BENCH_VELDRA_EXPORT
#define VELDRA_BENCH_VELDRA_EXPORT "veldra_export"
#endif

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Run {
    double seconds = 0;
    double peak_mb = 0;  // resident
    int status = -1;
};

// Runs a program to its end, its output thrown away; its time and peak memory.
Run run_program(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

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

// Times both programs on one case, `reps` times each, alternating.
bool compare(const Case& c, const fs::path& work, int reps, int deflate) {
    const fs::path grids = work / "grids", netcdf = work / "netcdf";
    const double grid_mb = static_cast<double>(c.grid_positions) * 4.0 *
                           static_cast<double>((c.last_year - c.first_year + 1) * 12 * c.layers) / 1e6;
    std::vector<double> ascii_s, nc_s, ascii_mem, nc_mem;
    std::uintmax_t ascii_bytes = 0, nc_bytes = 0;
    bool ok = true;
    for (int rep = 0; rep < reps; ++rep) {
        fs::remove_all(grids);
        fs::create_directories(grids);
        const Run a = run_program({VELDRA_BENCH_LAYER_EXPORTER, (c.model / "Output/").string(), c.variable + ".vrd",
                                   (grids / "g").string(), text(c.first_year), text(c.last_year), text(c.layers)});
        ascii_bytes = bytes_under(grids);
        fs::remove_all(grids);
        fs::remove_all(netcdf);
        const Run n = run_program({VELDRA_BENCH_VELDRA_EXPORT, "--model", c.model.string(), "--variable", c.variable,
                                   "--out", netcdf.string(), "--format", "netcdf", "--deflate", text(deflate),
                                   "--from", text(c.first_year), "--to", text(c.last_year), "--quiet"});
        nc_bytes = fs::exists(netcdf) ? bytes_under(netcdf) : 0;
        fs::remove_all(netcdf);
        if (a.status != 0 || n.status != 0) {
            std::cout << "  a run failed: layer_exporter " << a.status << ", veldra_export " << n.status << "\n";
            ok = false;
            break;
        }
        ascii_s.push_back(a.seconds);
        nc_s.push_back(n.seconds);
        ascii_mem.push_back(a.peak_mb);
        nc_mem.push_back(n.peak_mb);
    }
    if (!ok) return false;
    const double as = median(ascii_s), ns = median(nc_s);
    std::cout << c.name << ": " << text(c.last_year - c.first_year + 1) << " years, " << text(c.layers)
              << " layer(s), " << std::setprecision(1) << grid_mb << " MB of grid values, median of " << reps
              << "\n";
    std::cout << "  " << std::left << std::setw(34) << "program" << std::right << std::setw(10) << "seconds"
              << std::setw(10) << "MB/s" << std::setw(14) << "MB written" << std::setw(12) << "peak MB" << "\n";
    const auto row = [&](const char* what, double s, std::uintmax_t bytes, double mem) {
        std::cout << "  " << std::left << std::setw(34) << what << std::right << std::setw(10) << std::setprecision(2)
                  << s << std::setw(10) << std::setprecision(1) << grid_mb / s << std::setw(14)
                  << static_cast<double>(bytes) / 1e6 << std::setw(12) << mem << "\n";
    };
    row("layer_exporter (ASCII grids)", as, ascii_bytes, median(ascii_mem));
    const std::string label = "veldra_export --format netcdf (" + text(deflate) + ")";
    row(label.c_str(), ns, nc_bytes, median(nc_mem));
    std::cout << "  time netcdf / grids: " << std::setprecision(2) << ns / as
              << "    size grids / netcdf: " << std::setprecision(1)
              << static_cast<double>(ascii_bytes) / static_cast<double>(std::max<std::uintmax_t>(nc_bytes, 1))
              << "\n\n";
    return true;
}

// --- The synthetic 1/12-degree run -----------------------------------------

constexpr int kCols = 4320, kRows = 2160;

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Builds the run in `folder`: the land of the sample's half-degree globe, each
// of its cells 6 x 6 positions; 1,000,000 rangeland cells spread evenly over
// that land; ten years of a smooth seasonal field with a little noise.
Case make_fine_run(const fs::path& sample, const fs::path& folder, int years, std::int64_t wanted) {
    std::ifstream globe_in(sample / "Output/Globe.vrd", std::ios::binary);
    std::vector<std::string> coarse;
    for (std::string line; coarse.size() < 360 && std::getline(globe_in, line);) {
        line.resize(720, 'F');
        coarse.push_back(line);
    }
    if (coarse.size() != 360) throw std::runtime_error("the sample model's globe file has fewer than 360 lines");

    fs::create_directories(folder / "Parms");
    fs::create_directories(folder / "Output");
    write_file(folder / "Parms/Output_List.vrl",
               "Veldra output variables\r\nOn  File name                           L   Label         Units\r\n"
               "1   Fine                                1   Layer         cm\r\n");
    std::string globe;
    std::vector<std::int32_t> land;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            const bool is_land = coarse[static_cast<std::size_t>(r / 6)][static_cast<std::size_t>(c / 6)] == 'T';
            globe += is_land ? 'T' : 'F';
            if (is_land) land.push_back(r * kCols + c);
        }
        globe += "\r\n";
    }
    write_file(folder / "Output/Globe.vrd", globe);

    const std::int64_t n = std::min<std::int64_t>(wanted, static_cast<std::int64_t>(land.size()));
    std::vector<std::int32_t> cells;
    for (std::int64_t i = 0; i < n; ++i)
        cells.push_back(land[static_cast<std::size_t>(i * static_cast<std::int64_t>(land.size()) / n)]);
    std::string cell_text = text(n) + " 4320 2160 -180 -90 180 90 0.0833333 2000 " + text(1999 + years) + "\r\n";
    for (std::size_t i = 0; i < cells.size(); ++i)
        cell_text += text(static_cast<std::int64_t>(i) + 1) + " 1 " + text(cells[i] % kCols + 1) + " " +
                     text(cells[i] / kCols + 1) + " 1\r\n";
    write_file(folder / "Output/Rng_Data.vrd", cell_text);

    std::ofstream values(folder / "Output/Fine.vrd", std::ios::binary);
    std::vector<float> block(static_cast<std::size_t>(n) + 3);
    std::uint64_t noise = 88172645463325252ull;
    for (int year = 2000; year < 2000 + years; ++year)
        for (int month = 1; month <= 12; ++month) {
            block[0] = static_cast<float>(n);
            block[1] = static_cast<float>(year);
            block[2] = static_cast<float>(month);
            for (std::int64_t i = 0; i < n; ++i) {
                const double lat = 90 - (cells[static_cast<std::size_t>(i)] / kCols + 0.5) / 12;
                const double lon = -180 + (cells[static_cast<std::size_t>(i)] % kCols + 0.5) / 12;
                noise ^= noise << 13, noise ^= noise >> 7, noise ^= noise << 17;
                const double season = std::cos((month - 1 + lon / 30) * 0.5235987755982988) * std::sin(lat * 0.0174533);
                block[static_cast<std::size_t>(i) + 3] =
                    static_cast<float>(std::max(0.0, 8 + 6 * season + 0.5 * static_cast<double>(noise % 1000) / 1000));
            }
            values.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 4));
        }
    if (!values) throw std::runtime_error("cannot write the variable file in " + folder.string());
    return {"2. synthetic run, 1/12 degree (4320 x 2160), " + text(n) + " cells", folder, "Fine", 2000,
            1999 + years, 1, std::int64_t{kCols} * kRows};
}

}  // namespace

int main(int argc, char** argv) {
    int only = 0, reps = 1, deflate = 4;
    bool keep = false;
    fs::path work;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](int& out) {
            if (i + 1 < argc) std::from_chars(argv[i + 1], argv[i + 1] + std::char_traits<char>::length(argv[i + 1]), out);
            ++i;
        };
        if (arg == "--only") value(only);
        else if (arg == "--reps") value(reps);
        else if (arg == "--deflate") value(deflate);
        else if (arg == "--work" && i + 1 < argc) work = argv[++i];
        else if (arg == "--keep") keep = true;
        else {
            std::cerr << "usage: bench_netcdf_export [--only 1|2] [--reps N] [--deflate LEVEL] [--work DIR] [--keep]\n";
            return 2;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    if (work.empty()) work = fs::path(tmp && *tmp ? tmp : "/tmp");
    work /= "veldra_bench_netcdf_" + text(::getpid());
    fs::create_directories(work);
    std::cout << "work folder " << work.string() << std::fixed << "\n\n";
    bool ok = true;
    try {
        const fs::path sample = VELDRA_BENCH_SAMPLE_MODEL;
        if (only == 0 || only == 1)
            ok &= compare({"1. sample model, Live_Biomass, 0.5 degree (720 x 360)", sample, "Live_Biomass", 2000, 2004,
                           3, 720 * 360},
                          work, reps, deflate);
        if (only == 0 || only == 2) {
            const auto start = std::chrono::steady_clock::now();
            const Case fine = make_fine_run(sample, work / "fine_model", 10, 1'000'000);
            std::cout << "(the synthetic run was built in " << std::setprecision(1)
                      << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s)\n";
            ok &= compare(fine, work, reps, deflate);
        }
    } catch (const std::exception& e) {
        std::cout << "bench_netcdf_export: " << e.what() << "\n";
        ok = false;
    }
    if (keep) std::cout << "the synthetic model is kept in " << (work / "fine_model").string() << "\n";
    else fs::remove_all(work);
    return ok ? 0 : 1;
}
