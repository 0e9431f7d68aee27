// The viewer's capacity as a model folder for the benchmarks: a grid of
// 3000 x 1500 positions (0.12-degree cells) whose land is a pattern of smooth
// blobs, 50,000 rangeland cells spread over the land, and one variable,
// "Values", of one layer for the years first_year .. last_year.
#pragma once

#include <cmath>
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/paths.h"

namespace veldra::bench {

inline constexpr int kCapacityCols = 3000, kCapacityRows = 1500, kCapacityCells = 50000;

inline void write_capacity_model(const std::filesystem::path& dir, int first_year, int last_year) {
    constexpr int kCols = kCapacityCols, kRows = kCapacityRows, kCells = kCapacityCells;
    const std::string folder = dir.string();
    files::create_model_folders(folder);
    files::replace_file((dir / "Parms" / "Output_List.vrl").string(),
                 files::output_list_line("1", "Values", "1", "Layer", "units") + "\r\n");

    std::vector<std::string> globe(kRows, std::string(kCols, 'F'));
    std::vector<files::RangeCell> land;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            if (std::sin(c * 0.004) * std::cos(r * 0.006) + 0.5 * std::sin((c + r) * 0.011) > 0.2) {
                globe[r][c] = 'T';
                land.push_back(files::RangeCell{0, 1, c + 1, r + 1, 1});
            }
    files::replace_file((dir / "Output" / "Globe.vrd").string(), files::globe_file_text(globe));

    const std::size_t step = land.size() / kCells;
    std::vector<files::RangeCell> cells(kCells);
    for (int i = 0; i < kCells; ++i) {
        cells[i] = land[static_cast<std::size_t>(i) * step];
        cells[i].cellNumber = i + 1;
    }
    const files::GridInfo grid{.cellCount = kCells, .xDimension = kCols, .yDimension = kRows, .lowerX = -180, .lowerY = -90,
                        .upperX = 180, .upperY = 90, .cellSize = 0.12f, .firstYear = first_year, .lastYear = last_year};
    files::replace_file((dir / "Output" / "Rng_Data.vrd").string(), cell_file_text(grid, cells));

    files::write_variable_file(files::variable_path(folder, "Values"), {kCells, first_year, last_year, 1},
                        [&](int y, int m, int, std::span<float> values) {
                            for (int i = 0; i < kCells; ++i)
                                values[i] = static_cast<float>(std::sin(i * 0.001 + m) * 50 + 60 + (y - first_year) * 0.1);
                        });
}

}  // namespace veldra::bench
