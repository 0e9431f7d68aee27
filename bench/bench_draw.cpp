// bench_draw: how long the viewer takes for a full redraw of the map: the
// land mask (paint_globe) and one block of a variable (read_display_block:
// read and check; then statistics, colours and paint), on the sample model and on a synthetic
// grid of 3000 x 1500 positions with 50,000 cells. The picture has the map's
// designed size (873 x 281 pixels) and, as a second case, 1600 x 800.
//
// Usage: bench_draw [sample_model_folder]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capacity_model.h"
#include "viewer/core/display_block.h"
#include "viewer/core/map_drawing.h"
#include "viewer/core/viewer_state.h"

#ifndef VELDRA_BENCH_SAMPLE_MODEL
#define VELDRA_BENCH_SAMPLE_MODEL "sample_model"
#endif

namespace fs = std::filesystem;
using namespace veldra::viewer;

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double best_ms, median_ms;
};

// Times `runs` full redraws: clear, globe, then the block of month 1..12 in turn.
Figures time_redraws(ViewerState& state, MapCanvas& canvas, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        canvas.clear();
        set_map_scale(canvas, state);
        paint_globe(canvas, state);
        BlockRead block = read_display_block(state, state.first_year(), i % 12 + 1, state.SelectedLayer);
        if (!block.ok()) {
            std::printf("  drawing failed: %s\n", block.message.c_str());
            return {0, 0};
        }
        state.display_values = std::move(block.values);
        const StretchStats stats = stretch_stats(state.display_values);
        paint_stretched(canvas, state, stats, state.ramps.blue_to_yellow);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

void run_case(const char* label, const std::string& folder, int selected_entry) {
    ViewerState state;
    const auto load_start = Clock::now();
    try {
        state = load_model(folder);
    } catch (const veldra::files::LoadError& e) {
        std::printf("%s: skipped (%s)\n", label, e.what());
        return;
    }
    const double load_ms = std::chrono::duration<double, std::milli>(Clock::now() - load_start).count();
    state.ramps = build_ramps([] { return 0.5; });
    state.SelectedEntry = selected_entry;
    state.SelectedLayer = 1;
    std::printf("%s: %d x %d positions, %zu cells (loading took %.1f ms)\n", label, state.GlobeMask.cols,
                state.GlobeMask.rows, state.CellTable.size(), load_ms);
    for (const auto& [w, h] : {std::pair{873, 281}, std::pair{1600, 800}}) {
        MapCanvas canvas;
        canvas.resize(w, h);
        const Figures f = time_redraws(state, canvas, 25);
        std::printf("  full redraw into %4d x %3d pixels      best %7.2f ms   median %7.2f ms   (goal: under 50 ms)\n",
                    w, h, f.best_ms, f.median_ms);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string sample = argc > 1 ? argv[1] : VELDRA_BENCH_SAMPLE_MODEL;
    std::printf("bench_draw: 25 redraws each (globe + one block, Blue to Yellow)\n\n");
    run_case("sample model (Precip)", sample, 1);

    const fs::path large = fs::temp_directory_path() / ("veldra_bench_draw_" + std::to_string(::getpid()));
    veldra::bench::write_capacity_model(large, 2000, 2000);
    run_case("synthetic 3000 x 1500 grid", large.string(), 1);
    fs::remove_all(large);
    return 0;
}
