// bench_export: how fast layer_exporter turns a variable into grid files.
// One run prints five groups of figures:
//   1. reals formatted per second by write_real_item and append_grid_row;
//   2. the whole export of 12 grids of a 1/12-degree model (4320 x 2160) with
//      200,000 cells, against the same bytes written with one fwrite per line,
//      paired run by run: on tmpfs (2a), on a disk file system (2b), and on
//      that disk with every grid synced (2c);
//   3. the same with 3,000,000 cells (a dense model), on tmpfs;
//   4. start-up alone: the exporter reading the cell and globe files of both
//      models and exporting nothing; parse_cell_file on 1,000,000 cells;
//   5. a one-year, twelve-month export of the sample model.
//
// Usage: bench_export [--reps N] [--only 1,2,...] [--keep-models DIR] [model_output_dir]
// The folder defaults to the sample model that the build generates; its globe
// file (half a degree) is the land of the 1/12-degree models, which are built
// here in a temporary folder (or kept in DIR, to time whole runs of the
// program on them). Without it, groups 2 to 5 are skipped. Models
// and tmpfs grids go under /dev/shm, disk grids under $TMPDIR (or /tmp); all
// is removed at the end.

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <span>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "export/layer_export.h"
#include "modelfiles/ascii_grid.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/free_format.h"
#include "modelfiles/model_writer.h"
#include "fine_model.h"

#ifndef VELDRA_BENCH_MODEL_DIR
#define VELDRA_BENCH_MODEL_DIR "sample_model/Output/"
#endif

namespace fs = std::filesystem;

using veldra::bench::fine_land;
using veldra::bench::hash_unit;
using veldra::bench::kCols;
using veldra::bench::kRows;
using veldra::bench::read_half_degree_land;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median_of(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double best_of(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

// Writes a file's cached pages to the disk.
bool sync_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Page faults, context switches and processor seconds (user, system) of
// this process so far, all threads.
struct Usage {
    double faults = 0;
    double switches = 0;
    double user = 0;
    double system = 0;
};

Usage usage_now() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
    return {static_cast<double>(u.ru_minflt + u.ru_majflt), static_cast<double>(u.ru_nvcsw + u.ru_nivcsw),
            seconds(u.ru_utime), seconds(u.ru_stime)};
}

// Keeps results alive so that no measured work can be dropped by the compiler.
volatile std::uint64_t g_sink = 0;

// A small fixed-seed generator (splitmix64), so that every run and every
// standard library sees the same values.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state_;
};

constexpr float kWater = -9999.0f;
constexpr float kLandWithoutCell = -255.0f;

// A model value: 5% zero, otherwise a magnitude spread evenly over the decades
// 1e-3..1e5, negative one time in seven.
float model_value(Random& rng) {
    if (rng.unit() < 0.05) return 0.0f;
    const float magnitude = static_cast<float>(std::pow(10.0, -3.0 + 8.0 * rng.unit()));
    return rng.unit() < 1.0 / 7.0 ? -magnitude : magnitude;
}

// The mix for the formatting figures: 10% water, 10% land without a cell, the
// rest model values.
std::vector<float> mixed_values(std::size_t count, std::uint64_t seed) {
    Random rng(seed);
    std::vector<float> v(count);
    for (float& x : v) {
        const double u = rng.unit();
        x = u < 0.10 ? kWater : u < 0.20 ? kLandWithoutCell : model_value(rng);
    }
    return v;
}

// --- 1. Formatting -------------------------------------------------------

// Best seconds for formatting `total` values cycled from `pool` with write_real_item.
double time_real_items(const std::vector<float>& pool, std::size_t total, int repetitions) {
    std::vector<double> times;
    char buffer[1 << 16];
    char* const limit = buffer + sizeof buffer - veldra::files::kMaxNumberItem;
    for (int rep = 0; rep < repetitions; ++rep) {
        std::uint64_t bytes = 0;
        std::size_t done = 0;
        const auto start = Clock::now();
        char* p = buffer;
        while (done < total) {
            const std::size_t n = std::min(pool.size(), total - done);
            for (std::size_t i = 0; i < n; ++i) {
                p = veldra::files::write_real_item(p, pool[i]);
                if (p > limit) {
                    bytes += static_cast<std::uint64_t>(p - buffer);
                    p = buffer;
                }
            }
            done += n;
        }
        bytes += static_cast<std::uint64_t>(p - buffer);
        times.push_back(seconds_since(start));
        g_sink = g_sink + bytes + static_cast<unsigned char>(buffer[0]);
    }
    return best_of(times);
}

// Best seconds for formatting the rows of `values` (`cols` each) with
// append_grid_row, `passes` times over, each repetition.
double time_grid_rows(const std::vector<float>& values, std::size_t cols, std::size_t passes, int repetitions) {
    std::vector<double> times;
    std::string row;
    row.reserve(cols * (veldra::files::kMaxNumberItem + 2) + 8);
    const std::size_t rows = values.size() / cols;
    for (int rep = 0; rep < repetitions; ++rep) {
        std::uint64_t bytes = 0;
        const auto start = Clock::now();
        for (std::size_t pass = 0; pass < passes; ++pass) {
            for (std::size_t r = 0; r < rows; ++r) {
                row.clear();
                veldra::files::append_grid_row(row, values.data() + r * cols, cols);
                bytes += row.size();
            }
        }
        times.push_back(seconds_since(start));
        g_sink = g_sink + bytes;
    }
    return best_of(times);
}

void print_rate_row(const char* label, std::size_t values, double seconds) {
    const double rate = static_cast<double>(values) / seconds;
    std::printf("  %-60s %8.1f M/s %9.1f ns\n", label, rate / 1e6, seconds * 1e9 / static_cast<double>(values));
}

void bench_formatting() {
    constexpr std::size_t kCols = 4320;
    constexpr std::size_t kPoolRows = 16;
    constexpr std::size_t kTotal = 20'000'000;
    constexpr int kReps = 5;
    const std::vector<float> pool = mixed_values(kPoolRows * kCols, 20240601);
    const std::size_t passes = (kTotal + pool.size() - 1) / pool.size();

    std::printf("%-62s %12s %12s\n", "1. Formatting reals", "values/s", "time/value");
    char label[96];
    std::snprintf(label, sizeof label, "write_real_item, mixed values (%.1fM, best of %d)", kTotal / 1e6, kReps);
    print_rate_row(label, kTotal, time_real_items(pool, kTotal, kReps));
    std::snprintf(label, sizeof label, "append_grid_row, 4320 mixed values a row (%.1fM, best of %d)",
                  static_cast<double>(passes * pool.size()) / 1e6, kReps);
    print_rate_row(label, passes * pool.size(), time_grid_rows(pool, kCols, passes, kReps));

    // The parts of the mix on their own.
    constexpr std::size_t kPart = 5'000'000;
    std::vector<float> fixed, exponent, codes, zeros;
    for (float x : pool) {
        const float a = std::fabs(x);
        if (x == kWater || x == kLandWithoutCell) codes.push_back(x);
        else if (a == 0.0f) zeros.push_back(x);
        else if (a >= 0.1f && a < 1e6f) fixed.push_back(x);
        else exponent.push_back(x);
    }
    const auto share = [&](const std::vector<float>& v) {
        return 100.0 * static_cast<double>(v.size()) / static_cast<double>(pool.size());
    };
    std::printf("  write_real_item on each part of the mix alone (5.0M, best of 3):\n");
    std::snprintf(label, sizeof label, "  -9999 and -255 (%4.1f%% of the mix)", share(codes));
    print_rate_row(label, kPart, time_real_items(codes, kPart, 3));
    std::snprintf(label, sizeof label, "  zero (%4.1f%%)", share(zeros));
    print_rate_row(label, kPart, time_real_items(zeros, kPart, 3));
    std::snprintf(label, sizeof label, "  other reals, fixed-point form (%4.1f%%)", share(fixed));
    print_rate_row(label, kPart, time_real_items(fixed, kPart, 3));
    std::snprintf(label, sizeof label, "  other reals, exponent form (%4.1f%%)", share(exponent));
    print_rate_row(label, kPart, time_real_items(exponent, kPart, 3));
    std::printf("\n");
}

// --- The 1/12-degree models -------------------------------------------------

constexpr int kMonths = 12;


struct Model {
    std::string folder;  // ends with "/"
    std::vector<std::uint32_t> positions;  // row * kCols + col of each cell, in cell-file order
    std::vector<std::vector<float>> months;  // the values of months 1..12
};

// The cell file of a 1/12-degree model holding the cells at `positions`:
// zones by bands of 360 rows, range types 1 to 7 in turn.
std::string cell_file_text(const std::vector<std::uint32_t>& positions) {
    const veldra::files::GridInfo grid{.cellCount = static_cast<std::int32_t>(positions.size()), .xDimension = kCols,
                                .yDimension = kRows, .lowerX = -180, .lowerY = -90, .upperX = 180, .upperY = 90,
                                .cellSize = 0.0833333f, .firstYear = 2000, .lastYear = 2000};
    std::vector<veldra::files::RangeCell> cells(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const auto col = static_cast<std::int32_t>(positions[i] % kCols) + 1;
        const auto row = static_cast<std::int32_t>(positions[i] / kCols) + 1;
        cells[i] = {static_cast<std::int32_t>(i) + 1, 1 + row / 360, col, row, 1 + static_cast<std::int32_t>(i % 7)};
    }
    return veldra::files::cell_file_text(grid, cells);
}

// Writes a model folder of Rng_Data.vrd, Globe.vrd and Var.vrd (12 months of
// one year) under `dir`, with the given cells.
Model make_model(const fs::path& dir, const std::vector<std::uint8_t>& land, std::vector<std::uint32_t> positions,
                 std::uint64_t seed) {
    fs::create_directories(dir);
    Model m;
    m.folder = dir.string() + "/";
    m.positions = std::move(positions);
    veldra::files::replace_file((dir / "Rng_Data.vrd").string(), cell_file_text(m.positions));

    std::vector<std::string> rows(kRows, std::string(kCols, 'F'));
    for (std::size_t i = 0; i < land.size(); ++i)
        if (land[i]) rows[i / kCols][i % kCols] = 'T';
    veldra::files::replace_file((dir / "Globe.vrd").string(), veldra::files::globe_file_text(rows));

    Random rng(seed);
    const veldra::files::VariableShape shape{.cell_count = static_cast<std::int32_t>(m.positions.size()),
                                      .first_year = 2000, .last_year = 2000, .layers = 1};
    veldra::files::write_variable_file((dir / "Var.vrd").string(), shape,
                                [&](std::int32_t, std::int32_t, std::int32_t, std::span<float> values) {
                                    for (float& v : values) v = model_value(rng);
                                    m.months.emplace_back(values.begin(), values.end());
                                });
    return m;
}

// The reference text of one grid: the values laid onto a float grid of
// -9999 (water) and -255 (land), every position formatted; with the ends of
// its lines, for writing one line at a time.
struct ReferenceGrid {
    std::string bytes;
    std::vector<std::size_t> line_ends;
};

ReferenceGrid reference_grid(const std::vector<std::uint8_t>& land, const Model& m, int month) {
    std::vector<float> grid(land.size());
    for (std::size_t i = 0; i < land.size(); ++i) grid[i] = land[i] ? kLandWithoutCell : kWater;
    const std::vector<float>& values = m.months[static_cast<std::size_t>(month - 1)];
    for (std::size_t i = 0; i < m.positions.size(); ++i) grid[m.positions[i]] = values[i];
    ReferenceGrid ref;
    ref.bytes.reserve(std::size_t{120} << 20);
    for (std::string_view h : *veldra::files::grid_header_for(1.0f / 12.0f)) {
        ref.bytes += h;
        ref.bytes += "\r\n";
        ref.line_ends.push_back(ref.bytes.size());
    }
    for (int r = 0; r < kRows; ++r) {
        veldra::files::append_grid_row(ref.bytes, grid.data() + static_cast<std::size_t>(r) * kCols, kCols);
        ref.line_ends.push_back(ref.bytes.size());
    }
    return ref;
}

std::string month_grid_name(const std::string& root, int month) {
    return veldra::files::grid_file_name(root, 2000, month, 1);
}

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void remove_grids(const std::string& root) {
    for (int month = 1; month <= kMonths; ++month) std::remove(month_grid_name(root, month).c_str());
}

// Swallows the console lines of the exporter.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Runs layer_exporter in this process; returns its exit status.
int run_export(const Model& m, const std::string& root, const char* layers) {
    NullBuffer null_buffer;
    std::ostream null_sink(&null_buffer);
    return veldra::out::run_layer_exporter({m.folder, "Var.vrd", root, "2000", "2000", layers}, null_sink, std::cerr);
}

// The 12 reference grids written with one fwrite per line.
bool write_references(const std::vector<ReferenceGrid>& refs, const std::string& root, bool synced) {
    bool ok = true;
    for (int month = 1; month <= kMonths && ok; ++month) {
        const ReferenceGrid& ref = refs[static_cast<std::size_t>(month - 1)];
        std::FILE* f = std::fopen(month_grid_name(root, month).c_str(), "wb");
        if (!f) return false;
        std::size_t start = 0;
        for (std::size_t end : ref.line_ends) {
            ok = ok && std::fwrite(ref.bytes.data() + start, 1, end - start, f) == end - start;
            start = end;
        }
        if (synced) ok = ok && std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
        ok = std::fclose(f) == 0 && ok;
    }
    return ok;
}

struct PairedFigures {
    std::vector<double> a, b, ratio, faults_a, switches_a, user_a, system_a, user_b, system_b;
    bool ok = true;
    std::string failure;
};

// Runs the export (A) and the fwrite copy (B) in turn, `reps` times each.
PairedFigures paired_export(const Model& m, const std::vector<ReferenceGrid>& refs, const fs::path& out_dir,
                            bool synced, int reps) {
    PairedFigures f;
    const std::string root_a = (out_dir / "export").string(), root_b = (out_dir / "fwrite").string();
    for (int rep = 0; rep < reps && f.ok; ++rep) {
        const Usage before = usage_now();
        auto start = Clock::now();
        const int status = run_export(m, root_a, "1");
        if (synced)
            for (int month = 1; month <= kMonths; ++month) sync_file(month_grid_name(root_a, month));
        const double a = seconds_since(start);
        const Usage after = usage_now();
        if (status != 0) {
            f.ok = false;
            f.failure = "run_layer_exporter returned " + std::to_string(status);
            break;
        }
        if (rep == 0) {
            for (int month = 1; month <= kMonths && f.ok; ++month) {
                if (read_whole(month_grid_name(root_a, month)) != refs[static_cast<std::size_t>(month - 1)].bytes) {
                    f.ok = false;
                    f.failure = "the grid of month " + std::to_string(month) + " differs from the reference";
                }
            }
        }
        remove_grids(root_a);

        const Usage before_b = usage_now();
        start = Clock::now();
        const bool written = write_references(refs, root_b, synced);
        const double b = seconds_since(start);
        const Usage after_b = usage_now();
        remove_grids(root_b);
        if (!written) {
            f.ok = false;
            f.failure = std::string("fwrite: ") + std::strerror(errno);
            break;
        }
        f.a.push_back(a);
        f.b.push_back(b);
        f.ratio.push_back(a / b);
        f.faults_a.push_back(after.faults - before.faults);
        f.switches_a.push_back(after.switches - before.switches);
        f.user_a.push_back(after.user - before.user);
        f.system_a.push_back(after.system - before.system);
        f.user_b.push_back(after_b.user - before_b.user);
        f.system_b.push_back(after_b.system - before_b.system);
    }
    return f;
}

void print_paired(const char* title, const PairedFigures& f, double goal, bool* failed) {
    std::printf("%s\n", title);
    if (!f.ok) {
        std::printf("  FAILED: %s\n\n", f.failure.c_str());
        *failed = true;
        return;
    }
    std::printf("  %-58s %10s %10s\n", "", "median", "best");
    std::printf("  %-58s %7.1f ms %7.1f ms\n", "(a) run_layer_exporter, 12 grids", median_of(f.a) * 1e3,
                best_of(f.a) * 1e3);
    std::printf("  %-58s %7.1f ms %7.1f ms\n", "(b) the same bytes, one fwrite per line", median_of(f.b) * 1e3,
                best_of(f.b) * 1e3);
    std::printf("  %-58s %8.2f x", "(a)/(b), median of the paired ratios", median_of(f.ratio));
    if (goal > 0) std::printf("   goal at most %.1fx: %s", goal, median_of(f.ratio) <= goal ? "met" : "NOT met");
    std::printf("\n  %-58s %8.2f x\n", "(a)/(b), ratio of the medians", median_of(f.a) / median_of(f.b));
    std::printf("  %-58s %7.0f ms %7.0f ms\n", "processor time of (a), user and system, medians",
                median_of(f.user_a) * 1e3, median_of(f.system_a) * 1e3);
    std::printf("  %-58s %7.0f ms %7.0f ms\n", "processor time of (b), user and system, medians",
                median_of(f.user_b) * 1e3, median_of(f.system_b) * 1e3);
    std::printf("  pairs (a)/(b) in ms:");
    for (std::size_t i = 0; i < f.a.size(); ++i) std::printf(" %.0f/%.0f", f.a[i] * 1e3, f.b[i] * 1e3);
    std::printf("\n  %-58s %10.0f\n", "(a) page faults, median", median_of(f.faults_a));
    std::printf("  %-58s %10.0f\n", "(a) context switches, median", median_of(f.switches_a));
    std::printf("  grids of (a) byte-identical to the reference: yes\n\n");
}

// Whether `dir` lies on tmpfs.
bool on_tmpfs(const fs::path& dir) {
    struct statfs s {};
    return ::statfs(dir.c_str(), &s) == 0 && s.f_type == TMPFS_MAGIC;
}

fs::path make_temp_dir(const std::string& base) {
    std::string pattern = base + "/bench_export.XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    return fs::path(pattern);
}

std::vector<ReferenceGrid> references_of(const std::vector<std::uint8_t>& land, const Model& m) {
    std::vector<ReferenceGrid> refs;
    for (int month = 1; month <= kMonths; ++month) refs.push_back(reference_grid(land, m, month));
    return refs;
}

// The first `count` positions (row-major from `first_row`) that `take` accepts.
std::vector<std::uint32_t> first_positions(std::size_t count, int first_row,
                                           const std::function<bool(std::uint32_t)>& take) {
    std::vector<std::uint32_t> positions;
    const std::uint32_t total = std::uint32_t{kCols} * kRows;
    for (std::uint32_t i = static_cast<std::uint32_t>(first_row) * kCols; i < total && positions.size() < count; ++i)
        if (take(i)) positions.push_back(i);
    return positions;
}

struct Options {
    int reps = 5;
    std::vector<bool> sections = std::vector<bool>(6, true);
    std::string model_dir = VELDRA_BENCH_MODEL_DIR;
    std::string keep_models;  // where the 1/12-degree models are built and kept
};

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reps" && i + 1 < argc) {
            opt.reps = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--only" && i + 1 < argc) {
            std::fill(opt.sections.begin(), opt.sections.end(), false);
            for (const char* p = argv[++i]; *p; ++p)
                if (*p >= '1' && *p <= '5') opt.sections[static_cast<std::size_t>(*p - '0')] = true;
        } else if (a == "--keep-models" && i + 1 < argc) {
            opt.keep_models = argv[++i];
        } else if (a == "-h" || a == "--help" || a[0] == '-') {
            std::printf("usage: bench_export [--reps N] [--only 1,2,3,4,5] [--keep-models DIR] [model_output_dir]\n"
                        "  default: %s\n",
                        VELDRA_BENCH_MODEL_DIR);
            return a == "-h" || a == "--help" ? 0 : 2;
        } else {
            opt.model_dir = a;
        }
    }
    auto wanted = [&](int s) { return opt.sections[static_cast<std::size_t>(s)]; };

    const fs::path shm = make_temp_dir(fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp");
    const char* tmpdir = std::getenv("TMPDIR");
    const fs::path disk = make_temp_dir(tmpdir && *tmpdir ? tmpdir : "/tmp");
    if (shm.empty() || disk.empty()) {
        std::fprintf(stderr, "bench_export: cannot create a temporary folder: %s\n", std::strerror(errno));
        return 1;
    }
#ifdef NDEBUG
    const char* build = "optimized (NDEBUG)";
#else
    const char* build = "NOT optimized: figures are not representative";
#endif
    std::printf("bench_export  build: %s  tmpfs folder: %s%s  disk folder: %s%s  repetitions: %d\n\n", build,
                shm.c_str(), on_tmpfs(shm) ? "" : " (NOT tmpfs)", disk.c_str(),
                on_tmpfs(disk) ? " (tmpfs, not a disk)" : "", opt.reps);
    bool failed = false;

    if (wanted(1)) bench_formatting();

    const std::vector<std::uint8_t> coarse = read_half_degree_land(opt.model_dir + "Globe.vrd");
    if (coarse.empty() && (wanted(2) || wanted(3) || wanted(4))) {
        std::printf("2.-4. skipped: no half-degree globe file in %s\n\n", opt.model_dir.c_str());
    } else if (wanted(2) || wanted(3) || wanted(4)) {
        const std::vector<std::uint8_t> land = fine_land(coarse);
        // 200,000 cells: the land from 50 degrees north southwards, without
        // the half-degree blocks that hold no rangeland (three in ten).
        const auto rangeland = [&](std::uint32_t i) {
            const std::uint64_t block = (i / kCols / 6) * 720 + (i % kCols) / 6;
            return land[i] && hash_unit(block * 104729 + 3) < 0.7;
        };
        std::printf("Models: 1/12 degree, %zu land positions of %d\n",
                    static_cast<std::size_t>(std::count(land.begin(), land.end(), 1)), kCols * kRows);
        const fs::path models = opt.keep_models.empty() ? shm : fs::path(opt.keep_models);
        const Model regular = make_model(models / "model_200k", land, first_positions(200'000, 480, rangeland), 7);
        // 3,000,000 cells: the land from the north, every position.
        const Model dense = make_model(models / "model_3m", land,
                                       first_positions(3'000'000, 0, [&](std::uint32_t i) { return land[i] != 0; }), 11);
        std::printf("  %zu cells (Rng_Data.vrd %.1f MB), %zu cells (%.1f MB); Globe.vrd %.1f MB\n\n",
                    regular.positions.size(), static_cast<double>(fs::file_size(regular.folder + "Rng_Data.vrd")) / 1e6,
                    dense.positions.size(), static_cast<double>(fs::file_size(dense.folder + "Rng_Data.vrd")) / 1e6,
                    static_cast<double>(fs::file_size(regular.folder + "Globe.vrd")) / 1e6);

        if (wanted(2)) {
            const std::vector<ReferenceGrid> refs = references_of(land, regular);
            std::printf("  12 grids of %.1f MB each\n\n", static_cast<double>(refs[0].bytes.size()) / 1e6);
            print_paired("2a. 12 grids, 200,000 cells, on tmpfs (A B A B ...)",
                         paired_export(regular, refs, shm, false, opt.reps), 0.9, &failed);
            print_paired("2b. 12 grids, 200,000 cells, on disk, not synced",
                         paired_export(regular, refs, disk, false, opt.reps), 0, &failed);
            print_paired("2c. 12 grids, 200,000 cells, on disk, each grid synced (fsync inside both times)",
                         paired_export(regular, refs, disk, true, opt.reps), 0, &failed);
        }
        if (wanted(3)) {
            const std::vector<ReferenceGrid> refs = references_of(land, dense);
            print_paired("3. 12 grids, 3,000,000 cells, on tmpfs", paired_export(dense, refs, shm, false, opt.reps),
                         1.5, &failed);
        }
        if (wanted(4)) {
            std::printf("4. Start-up alone\n  %-58s %10s %10s %8s\n", "", "median", "best", "faults");
            for (const Model* m : {&regular, &dense}) {
                std::vector<double> times, faults;
                for (int rep = 0; rep < 2 * opt.reps - 1; ++rep) {
                    const Usage before = usage_now();
                    const auto start = Clock::now();
                    if (run_export(*m, (shm / "none").string(), "0") != 0) failed = true;
                    times.push_back(seconds_since(start));
                    faults.push_back(usage_now().faults - before.faults);
                }
                char label[96];
                std::snprintf(label, sizeof label, "exporter reads cell and globe files, %zu cells",
                              m->positions.size());
                std::printf("  %-58s %7.1f ms %7.1f ms %8.0f\n", label, median_of(times) * 1e3, best_of(times) * 1e3,
                            median_of(faults));
            }
            const std::string text = cell_file_text(
                first_positions(1'000'000, 0, [&](std::uint32_t i) { return land[i] != 0; }));
            std::vector<double> times;
            for (int rep = 0; rep < 2 * opt.reps - 1; ++rep) {
                const auto start = Clock::now();
                const veldra::files::CellFile cells = veldra::files::parse_cell_file(text, "Rng_Data.vrd");
                times.push_back(seconds_since(start));
                g_sink = g_sink + cells.cells.size();
            }
            char label[96];
            std::snprintf(label, sizeof label, "parse_cell_file, 1,000,000 cells (%.1f MB of text)",
                          static_cast<double>(text.size()) / 1e6);
            std::printf("  %-58s %7.1f ms %7.1f ms\n\n", label, median_of(times) * 1e3, best_of(times) * 1e3);
        }
    }

    if (wanted(5)) {
        std::printf("5. Export of the sample model: Precip.vrd, year 2000, 12 months, 1 layer\n");
        std::error_code ec;
        if (!fs::is_directory(opt.model_dir, ec)) {
            std::printf("  skipped: model folder %s not found\n", opt.model_dir.c_str());
        } else {
            NullBuffer null_buffer;
            std::ostream null_sink(&null_buffer);
            const std::string root = (shm / "precip").string();
            const std::vector<std::string> args = {opt.model_dir, "Precip.vrd", root, "2000", "2000", "1"};
            std::vector<double> times;
            int exit_status = 0;
            for (int rep = 0; rep < opt.reps && exit_status == 0; ++rep) {
                const auto start = Clock::now();
                exit_status = veldra::out::run_layer_exporter(args, null_sink, std::cerr);
                times.push_back(seconds_since(start));
                remove_grids(root);
            }
            if (exit_status != 0) {
                std::printf("  FAILED: run_layer_exporter returned %d (model folder %s)\n", exit_status,
                            opt.model_dir.c_str());
                failed = true;
            } else {
                std::printf("  %-58s %10s %10s\n", "", "median", "best");
                std::printf("  %-58s %7.1f ms %7.1f ms\n", "run_layer_exporter, 12 grids of 720 x 360 on tmpfs",
                            median_of(times) * 1e3, best_of(times) * 1e3);
            }
        }
    }

    std::error_code ec;
    fs::remove_all(shm, ec);
    fs::remove_all(disk, ec);
    return failed ? 1 : 0;
}
