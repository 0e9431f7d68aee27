// bench_export: how fast layer_exporter turns values into grid text and grid
// files. One run prints three groups of figures:
//   1. reals formatted per second, by write_real_item alone and by
//      append_grid_row on whole rows;
//   2. one 1/12-degree grid (4320 x 2160) written through GridFileWriter,
//      against the same bytes written from memory with fwrite;
//   3. a one-year, twelve-month, one-layer export of the sample model.
//
// Usage: bench_export [model_output_dir]
// The folder defaults to the sample model that the build generates; when it is
// absent the export timing is skipped. Temporary files go to a fresh folder
// under $TMPDIR (or /tmp) and are removed at the end.

#include <fcntl.h>
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
#include <iostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "exporter/exporter.h"
#include "modelfiles/ascii_grid.h"
#include "modelfiles/free_format.h"

#ifndef VELDRA_BENCH_MODEL_DIR
#define VELDRA_BENCH_MODEL_DIR "sample_model/Output/"
#endif

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Figures {
    double best = 0;
    double median = 0;
};

Figures figures_of(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    Figures f;
    f.best = times.front();
    f.median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    return f;
}

// Writes a file's cached pages to the disk.
bool sync_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
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

// A 1/12-degree grid that looks like a real one: land and water in patches of
// 60 x 60 cells, and within the land, blocks of 10 x 10 cells that hold model
// values (about 30% of all cells); the rest of the land is -255.
std::vector<float> realistic_grid(std::size_t cols, std::size_t rows, std::uint64_t seed) {
    Random rng(seed);
    constexpr std::size_t kPatch = 60, kBlock = 10;
    const std::size_t pcols = cols / kPatch, prows = rows / kPatch;
    std::vector<char> land(pcols * prows);
    for (char& c : land) c = rng.unit() < 0.45;
    const std::size_t bcols = cols / kBlock, brows = rows / kBlock;
    std::vector<char> holds(bcols * brows);
    for (char& c : holds) c = rng.unit() < 2.0 / 3.0;

    std::vector<float> grid(cols * rows);
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            float& x = grid[r * cols + c];
            if (!land[(r / kPatch) * pcols + c / kPatch]) x = kWater;
            else if (!holds[(r / kBlock) * bcols + c / kBlock]) x = kLandWithoutCell;
            else x = model_value(rng);
        }
    }
    return grid;
}

// --- 1. Formatting -------------------------------------------------------

// Best seconds for formatting `total` values cycled from `pool` with write_real_item.
double time_real_items(const std::vector<float>& pool, std::size_t total, int repetitions) {
    std::vector<double> times;
    char buffer[1 << 16];
    char* const limit = buffer + sizeof buffer - veldra::kMaxNumberItem;
    for (int rep = 0; rep < repetitions; ++rep) {
        std::uint64_t bytes = 0;
        std::size_t done = 0;
        const auto start = Clock::now();
        char* p = buffer;
        while (done < total) {
            const std::size_t n = std::min(pool.size(), total - done);
            for (std::size_t i = 0; i < n; ++i) {
                p = veldra::write_real_item(p, pool[i]);
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
    return figures_of(times).best;
}

// Best seconds for formatting the rows of `values` (`cols` each) with
// append_grid_row, `passes` times over, each repetition.
double time_grid_rows(const std::vector<float>& values, std::size_t cols, std::size_t passes, int repetitions) {
    std::vector<double> times;
    std::string row;
    row.reserve(cols * (veldra::kMaxNumberItem + 2) + 8);
    const std::size_t rows = values.size() / cols;
    for (int rep = 0; rep < repetitions; ++rep) {
        std::uint64_t bytes = 0;
        const auto start = Clock::now();
        for (std::size_t pass = 0; pass < passes; ++pass) {
            for (std::size_t r = 0; r < rows; ++r) {
                row.clear();
                veldra::append_grid_row(row, values.data() + r * cols, cols);
                bytes += row.size();
            }
        }
        times.push_back(seconds_since(start));
        g_sink = g_sink + bytes;
    }
    return figures_of(times).best;
}

void print_rate_row(const char* label, std::size_t values, double seconds) {
    const double rate = static_cast<double>(values) / seconds;
    std::printf("  %-60s %8.1f M/s %9.1f ns\n", label, rate / 1e6, seconds * 1e9 / static_cast<double>(values));
}

// --- 2. Grid file ---------------------------------------------------------

bool files_identical(const std::string& a, const std::string& b, std::uint64_t& size, std::string& why) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    if (!same) why = "a file cannot be opened";
    std::vector<char> ba(1 << 20), bb(1 << 20);
    size = 0;
    while (same) {
        const std::size_t na = std::fread(ba.data(), 1, ba.size(), fa);
        const std::size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
        const std::size_t n = std::min(na, nb);
        const auto diff = std::mismatch(ba.begin(), ba.begin() + static_cast<std::ptrdiff_t>(n), bb.begin());
        if (diff.first != ba.begin() + static_cast<std::ptrdiff_t>(n)) {
            why = "first difference at byte " + std::to_string(size + static_cast<std::uint64_t>(diff.first - ba.begin()));
            same = false;
            break;
        }
        size += n;
        if (na != nb) {
            why = "sizes differ";
            same = false;
        }
        if (na < ba.size()) break;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

// --- 3. Export -------------------------------------------------------------

// Swallows the console lines of the exporter.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Counts and removes the files in `dir` whose names start with `prefix`.
void clear_outputs(const fs::path& dir, const std::string& prefix, std::size_t& files, std::uint64_t& bytes) {
    files = 0;
    bytes = 0;
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
    for (const auto& p : found) {
        std::error_code ec;
        ++files;
        bytes += fs::file_size(p, ec);
        fs::remove(p, ec);
    }
}

fs::path make_temp_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base && *base ? std::string(base) : std::string("/tmp")) + "/bench_export.XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    return fs::path(pattern);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        std::printf("usage: bench_export [model_output_dir]\n  default: %s\n", VELDRA_BENCH_MODEL_DIR);
        return argc > 2 ? 2 : 0;
    }
    const std::string model_dir = argc == 2 ? argv[1] : VELDRA_BENCH_MODEL_DIR;

    const fs::path tmp = make_temp_dir();
    if (tmp.empty()) {
        std::fprintf(stderr, "bench_export: cannot create a temporary folder: %s\n", std::strerror(errno));
        return 1;
    }
#ifdef NDEBUG
    const char* build = "optimized (NDEBUG)";
#else
    const char* build = "NOT optimized: figures are not representative";
#endif
    std::printf("bench_export  build: %s  temp folder: %s\n\n", build, tmp.c_str());
    int status = 0;

    // ---- 1. Formatting reals ----
    constexpr std::size_t kCols = 4320, kRows = 2160;
    constexpr std::size_t kPoolRows = 16;
    constexpr std::size_t kTotal = 20'000'000;
    constexpr int kReps = 5;
    const std::vector<float> pool = mixed_values(kPoolRows * kCols, 20240601);
    const std::size_t passes = (kTotal + pool.size() - 1) / pool.size();
    const std::vector<float> grid = realistic_grid(kCols, kRows, 42);

    std::printf("%-62s %12s %12s\n", "1. Formatting reals", "values/s", "time/value");
    char label[96];
    std::snprintf(label, sizeof label, "write_real_item, mixed values (%.1fM, best of %d)", kTotal / 1e6, kReps);
    print_rate_row(label, kTotal, time_real_items(pool, kTotal, kReps));
    std::snprintf(label, sizeof label, "append_grid_row, 4320 mixed values a row (%.1fM, best of %d)",
                  static_cast<double>(passes * pool.size()) / 1e6, kReps);
    print_rate_row(label, passes * pool.size(), time_grid_rows(pool, kCols, passes, kReps));
    std::snprintf(label, sizeof label, "append_grid_row, rows of the grid of 2. (%.1fM, best of %d)",
                  static_cast<double>(grid.size()) / 1e6, kReps);
    const double grid_format_seconds = time_grid_rows(grid, kCols, 1, kReps);
    print_rate_row(label, grid.size(), grid_format_seconds);
    {
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
    }
    std::printf("\n");

    // ---- 2. One 1/12-degree grid file ----
    {
        const veldra::GridHeader* header = veldra::grid_header_for(1.0f / 12.0f);
        std::size_t with_values = 0;
        for (float x : grid)
            if (x != kWater && x != kLandWithoutCell) ++with_values;

        // The very bytes of the grid, prepared once.
        std::string bytes;
        for (std::string_view h : *header) {
            bytes += h;
            bytes += "\r\n";
        }
        {
            std::string row;
            for (std::size_t r = 0; r < kRows; ++r) {
                row.clear();
                veldra::append_grid_row(row, grid.data() + r * kCols, kCols);
                bytes += row;
            }
        }

        const std::string path_a = (tmp / "grid_writer.asc").string();
        const std::string path_b = (tmp / "grid_fwrite.asc").string();
        constexpr int kFileReps = 5;
        // Twice: to the page cache, as the exporter usually writes, and synced
        // to the disk (fsync included in both times), where the disk sets the pace.
        for (const bool synced : {false, true}) {
        std::vector<double> times_a, times_b;
        bool ok = true;
        std::string failure;
        for (int rep = 0; rep < kFileReps && ok; ++rep) {
            std::remove(path_a.c_str());
            std::remove(path_b.c_str());

            auto start = Clock::now();
            try {
                veldra::GridFileWriter file;
                file.create(path_a);
                for (std::string_view h : *header) {
                    file.write(h);
                    file.write("\r\n");
                }
                file.write_rows(grid.data(), kRows, kCols);
                file.commit();
                if (synced) ok = sync_file(path_a);
            } catch (const veldra::FileWriteError& e) {
                ok = false;
                failure = std::string("GridFileWriter: ") + e.what();
            }
            times_a.push_back(seconds_since(start));
            if (!ok) break;

            start = Clock::now();
            std::FILE* f = std::fopen(path_b.c_str(), "wb");
            ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
            if (ok && synced) ok = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
            ok = f && std::fclose(f) == 0 && ok;
            times_b.push_back(seconds_since(start));
            if (!ok) failure = std::string("fwrite: ") + std::strerror(errno);
        }

        std::printf("2%s. One %zu x %zu grid file%s: %.1f MB, %.1f%% of cells with values (%d runs each, A B A B)\n",
                    synced ? "b" : "a", kCols, kRows, synced ? ", synced to disk" : "",
                    static_cast<double>(bytes.size()) / 1e6,
                    100.0 * static_cast<double>(with_values) / static_cast<double>(grid.size()), kFileReps);
        if (!ok) {
            std::printf("  FAILED: %s\n\n", failure.c_str());
            status = 1;
        } else {
            const Figures a = figures_of(times_a), b = figures_of(times_b);
            std::printf("  %-60s %12s %12s\n", "", "best", "median");
            std::printf("  %-60s %9.1f ms %9.1f ms\n", "(a) GridFileWriter, header and write_rows", a.best * 1e3,
                        a.median * 1e3);
            std::printf("  %-60s %9.1f ms %9.1f ms\n", "(b) fopen/fwrite/fclose of the prepared bytes",
                        b.best * 1e3, b.median * 1e3);
            const double ratio_best = a.best / b.best, ratio_median = a.median / b.median;
            std::printf("  %-60s %10.2f x %10.2f x   goal within 1.5x (median): %s\n", "ratio (a)/(b)",
                        ratio_best, ratio_median, ratio_median <= 1.5 ? "met" : "NOT met");
            std::printf("  %-60s %9.1f ms   (%.0f%% of the best (a))\n", "of (a): formatting the rows (best, from 1.)",
                        grid_format_seconds * 1e3, 100.0 * grid_format_seconds / a.best);
            std::uint64_t size = 0;
            std::string why;
            const bool same = files_identical(path_a, path_b, size, why);
            if (same)
                std::printf("  files of (a) and (b) byte-identical: yes (%llu bytes)\n\n",
                            static_cast<unsigned long long>(size));
            else
                std::printf("  files of (a) and (b) byte-identical: NO (%s)\n\n", why.c_str());
            if (!same) status = 1;
        }
        std::remove(path_a.c_str());
        std::remove(path_b.c_str());
        }
    }

    // ---- 3. Export of the sample model ----
    {
        std::printf("3. Export of the sample model: Precip.vrd, year 2000, 12 months, 1 layer\n");
        std::error_code ec;
        if (!fs::is_directory(model_dir, ec)) {
            std::printf("  skipped: model folder %s not found\n", model_dir.c_str());
            std::printf("  (build the sample model, or give a model folder as the parameter)\n");
        } else {
            NullBuffer null_buffer;
            std::ostream null_sink(&null_buffer);
            const std::string root = (tmp / "precip").string();
            const std::vector<std::string> args = {model_dir, "Precip.vrd", root, "2000", "2000", "1"};
            constexpr int kExportReps = 3;
            std::vector<double> times;
            std::size_t files = 0;
            std::uint64_t file_bytes = 0;
            int exit_status = 0;
            for (int rep = 0; rep < kExportReps && exit_status == 0; ++rep) {
                const auto start = Clock::now();
                exit_status = veldra::run_layer_exporter(args, null_sink, std::cerr);
                times.push_back(seconds_since(start));
                clear_outputs(tmp, "precip", files, file_bytes);
            }
            if (exit_status != 0) {
                std::printf("  FAILED: run_layer_exporter returned %d (model folder %s)\n", exit_status,
                            model_dir.c_str());
                status = 1;
            } else {
                const Figures f = figures_of(times);
                const double grids = files ? static_cast<double>(files) : 12.0;
                std::printf("  model folder %s\n", model_dir.c_str());
                std::printf("  %zu grid files, %.1f MB per run\n", files, static_cast<double>(file_bytes) / 1e6);
                if (files != 12) std::printf("  note: 12 grid files were expected\n");
                std::printf("  %-60s %12s %12s\n", "", "best", "median");
                std::printf("  %-60s %9.1f ms %9.1f ms\n", "run_layer_exporter, whole run (3 runs)", f.best * 1e3,
                            f.median * 1e3);
                std::printf("  %-60s %9.2f ms %9.2f ms\n", "per grid", f.best * 1e3 / grids,
                            f.median * 1e3 / grids);
            }
        }
    }

    std::error_code ec;
    fs::remove_all(tmp, ec);
    return status;
}
