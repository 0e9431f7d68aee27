// bench_query: one cell query of the viewer as a click makes it: the nearest
// of 50,000 cells, the four monthly series of a 100-year run (1,200 rows, one
// record read per month and file) and the chart's four line series filled.
// The variable files are sparse files of the full size, so the reads go
// through the real file positions without 1 GB of disk.
//
// Usage: bench_query

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QLineSeries>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "viewer/chart_main.h"
#include "viewer/core/cell_query.h"

namespace fs = std::filesystem;
using namespace veldra::viewer;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    constexpr int kCells = 50000, kFirstYear = 1901, kLastYear = 2000;
    const fs::path dir = fs::temp_directory_path() / ("veldra_bench_query_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::int64_t bytes = std::int64_t{(kLastYear - kFirstYear + 1) * 12} * (kCells + 3) * 4;
    for (const char* name : {"Var", "Precip", "max_temp", "min_temp"}) {
        const int fd = ::open((dir / (std::string(name) + ".vrd")).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::ftruncate(fd, bytes) != 0) {
            std::fprintf(stderr, "bench_query: cannot make the variable files in %s\n", dir.c_str());
            return 1;
        }
        ::close(fd);
    }

    // The cells of a 1/12-degree globe, spread over it.
    std::vector<veldra::files::RangeCell> cells(kCells);
    for (int i = 0; i < kCells; ++i) cells[i] = {i + 1, 1, 1 + (i * 37) % 4320, 1 + (i * 11) % 2160, 1};
    const RunShape run{kCells, kFirstYear, kLastYear};
    const std::array<SeriesSource, 4> sources = {
        SeriesSource{"Var", (dir / "Var.vrd").string(), 1, 1}, SeriesSource{"P", (dir / "Precip.vrd").string(), 1, 1},
        SeriesSource{"X", (dir / "max_temp.vrd").string(), 1, 1},
        SeriesSource{"N", (dir / "min_temp.vrd").string(), 1, 1}};

    ChartMain chart;
    chart.set_row_count(static_cast<int>(run.months()));
    chart.resize(900, 300);

    std::vector<double> times;
    std::size_t checksum = 0;
    for (int rep = 0; rep < 20; ++rep) {
        const auto start = std::chrono::steady_clock::now();
        const double x = -2000 + rep * 211.0, y = -1000 + rep * 97.0;
        const std::size_t cell = *nearest_cell(cells, 2160, 1080, x, y);
        for (int c = 0; c < 4; ++c) chart.set_column(c + 1, read_cell_series(sources[c], cell, run));
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        checksum += cell + static_cast<std::size_t>(chart.series(4)->count());
    }
    fs::remove_all(dir);
    std::sort(times.begin(), times.end());
    std::printf("cell query, 50,000 cells, 1,200 months, 4 series into the chart (20 runs):\n"
                "  best %.2f ms, median %.2f ms, worst %.2f ms   (checksum %zu)\n",
                times.front() * 1e3, times[times.size() / 2] * 1e3, times.back() * 1e3, checksum);
    return 0;
}
