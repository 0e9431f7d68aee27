// bench_map_view: the viewer's map at its capacity (3000 x 1500 positions,
// 50,000 cells, 100 years): a full redraw (land mask, block read, statistics,
// paint) and a repaint from the values on display (what zoom and pan do),
// each at the whole grid and zoomed; the value under the pointer; and the
// stretch over every month of the run (1,200 blocks).
//
// Usage: bench_map_view [folder for the 240 MB model; default: the temporary folder]

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "capacity_model.h"
#include "viewer/core/display_block.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/pointer_readout.h"
#include "viewer/core/run_stretch.h"
#include "viewer/core/viewer_state.h"

namespace fs = std::filesystem;
using namespace veldra::viewer;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCols = veldra::bench::kCapacityCols, kRows = veldra::bench::kCapacityRows,
              kCells = veldra::bench::kCapacityCells, kFirstYear = 1901, kLastYear = 2000;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    double best = 0, median = 0, worst = 0;
};

template <typename Fn>
Figures time_runs(int runs, Fn fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        fn(i);
        t.push_back(ms_since(start));
    }
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2], t.back()};
}

void print(const char* what, const Figures& f, const char* goal) {
    std::printf("  %-46s best %7.2f ms  median %7.2f ms  worst %7.2f ms  %s\n", what, f.best, f.median, f.worst, goal);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path dir = base / ("veldra_bench_map_view_" + std::to_string(::getpid()));
    std::printf("bench_map_view: %d x %d positions, %d cells, %d..%d; model in %s\n", kCols, kRows, kCells,
                kFirstYear, kLastYear, dir.c_str());
    auto start = Clock::now();
    veldra::bench::write_capacity_model(dir, kFirstYear, kLastYear);
    std::printf("  (writing the model took %.0f ms)\n\n", ms_since(start));

    ViewerState state = load_model(dir.string());
    state.ramps = build_ramps([] { return 0.5; });
    state.SelectedEntry = 1;
    state.SelectedLayer = 1;

    for (const auto& [w, h] : {std::pair{864, 432}, std::pair{1600, 800}}) {
        MapCanvas canvas;
        canvas.resize(w, h);
        std::printf("picture of %d x %d pixels (goal for each redraw: under 16 ms, one frame at 60 Hz)\n", w, h);
        const MapRect grid = grid_rect(state.extents);
        const double closest = max_zoom(grid, w, h);
        for (const double zoom : {1.0, 4.0, closest}) {
            state.view = bounded_view(MapView{zoom, 400, -100}, grid, closest);
            // The full redraw a month step makes: mask, block, statistics, colours.
            const Figures full = time_runs(25, [&](int i) {
                canvas.clear();
                set_map_scale(canvas, state);
                paint_globe(canvas, state);
                BlockRead block = read_display_block(state, kFirstYear + i % 100, i % 12 + 1, 1);
                if (!block.ok()) std::printf("  drawing failed: %s\n", block.message.c_str());
                state.display_values = std::move(block.values);
                const StretchStats stats = stretch_stats(state.display_values);
                paint_stretched(canvas, state, stats, state.ramps.blue_to_yellow);
            });
            // The repaint a wheel turn or an arrow key makes: no file read.
            state.picture.globe = true;
            state.picture.values = PaintedValues{4, stretch_stats(state.display_values), false};
            state.picture.marked_cell = 1234;
            const Figures repaint = time_runs(25, [&](int) { repaint_picture(canvas, state); });
            char label[96];
            std::snprintf(label, sizeof label, "full redraw, zoom %5.1f (%4.1f px per cell)", zoom,
                          zoom * w / grid.width());
            print(label, full, "");
            std::snprintf(label, sizeof label, "repaint for zoom and pan, zoom %5.1f", zoom);
            print(label, repaint, "");
        }
        std::printf("\n");
    }

    // The value under the pointer: a lookup and its text, at random points.
    {
        state.view = MapView{};
        std::mt19937 random(7);
        std::uniform_real_distribution<double> x(-1500, 1500), y(-750, 750);
        constexpr int kLookups = 1000000;
        std::size_t length = 0;
        start = Clock::now();
        for (int i = 0; i < kLookups; ++i) length += pointer_text(pointer_info(state, x(random), y(random)), state).size();
        const double ns = ms_since(start) * 1e6 / kLookups;
        std::printf("value under the pointer: %.0f ns a lookup with its text (goal: well under 1 ms)   (%zu)\n\n", ns,
                    length);
    }

    // The stretch over the run, first pass after writing (the file is in the
    // page cache) and a second pass.
    {
        const RunStretchRequest request{(dir / "Output" / "Values.vrd").string(), 1, 1, kFirstYear, kLastYear, kCells};
        std::atomic<bool> cancel{false};
        for (int pass = 1; pass <= 2; ++pass) {
            start = Clock::now();
            const RunStretchResult r = compute_run_stretch(request, cancel);
            std::printf("stretch over the run, pass %d: %.0f ms for %lld months x %d cells (goal: under 2 s); "
                        "mean %.3f, sd %.3f, %lld values\n",
                        pass, ms_since(start), static_cast<long long>(r.months_used), kCells, r.stats.mean,
                        r.stats.stdev, static_cast<long long>(r.stats.count));
        }
    }
    fs::remove_all(dir);
    return 0;
}
