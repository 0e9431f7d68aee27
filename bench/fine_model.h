// The benchmarks' models: the sample model as read from its folder, the
// sample spread over 6 x 6 cells of 1/12 degree, and the 1/12-degree land
// drawn from the sample's half-degree globe.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/globe_file.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::bench {

struct Model {
    files::CellFile cells;
    files::GlobeMask land;
};

inline Model load_model(const std::string& dir) {
    const std::string cell_path = dir + "/Output/Rng_Data.vrd", globe_path = dir + "/Output/Globe.vrd";
    Model m;
    m.cells = files::parse_cell_file(files::read_text_file(cell_path), cell_path);
    m.land = parse_globe_file(files::read_text_file(globe_path), m.cells.window, globe_path);
    return m;
}

// The sample spread over 6 x 6 cells of 1/12 degree (cell size 0.0833333, as
// a model writes it: the "0p083" lookup grids), with one month of values.
struct FineModel {
    std::vector<files::RangeCell> cells;
    files::GlobeMask land;
};

inline FineModel fine_model(const Model& sample, const std::string& sample_dir,
                            const std::filesystem::path& folder) {
    constexpr int k = 6;
    FineModel fine;
    fine.land.cols = sample.land.cols * k;
    fine.land.rows = sample.land.rows * k;
    fine.land.land.resize(static_cast<std::size_t>(fine.land.cols) * static_cast<std::size_t>(fine.land.rows));
    for (std::int32_t r = 0; r < fine.land.rows; ++r)
        for (std::int32_t c = 0; c < fine.land.cols; ++c)
            fine.land.land[static_cast<std::size_t>(r) * static_cast<std::size_t>(fine.land.cols) +
                           static_cast<std::size_t>(c)] = sample.land.is_land(c / k, r / k);

    const files::VariableFile precip = files::VariableFile::open(files::variable_path(sample_dir, "Precip"));
    std::vector<float> block;
    const std::int64_t n = sample.cells.info.cellCount;
    read_block(precip, {sample.cells.info.firstYear, 1, 1, sample.cells.info.firstYear, 1, n}, block);
    // One block, January of the first year: count, year, month, the values.
    std::vector<float> records = {0.0f, static_cast<float>(sample.cells.info.firstYear), 1.0f};
    for (std::int64_t i = 0; i < n; ++i) {
        const files::RangeCell& c = sample.cells.cells[static_cast<std::size_t>(i)];
        for (int dy = 0; dy < k; ++dy)
            for (int dx = 0; dx < k; ++dx) {
                const auto number = static_cast<std::int32_t>(fine.cells.size()) + 1;
                fine.cells.push_back({number, c.zone, (c.x - 1) * k + dx + 1, (c.y - 1) * k + dy + 1, c.rangeType});
                records.push_back(block[3 + static_cast<std::size_t>(i)] * (1.0f + 0.01f * static_cast<float>(dx - dy)));
            }
    }
    records[0] = static_cast<float>(fine.cells.size());
    files::create_model_folders(folder.string());
    std::string bytes;
    files::append_records(bytes, records);
    files::replace_file(files::variable_path(folder.string(), "Precip"), bytes);
    return fine;
}

// The 1/12-degree grid.
inline constexpr int kCols = 4320;
inline constexpr int kRows = 2160;

// A value in [0, 1) that depends only on `key` (one step of splitmix64).
inline double hash_unit(std::uint64_t key) {
    std::uint64_t z = key + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
}

// The half-degree land of a globe file of 720 x 360 ("T" is land).
inline std::vector<std::uint8_t> read_half_degree_land(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> land;
    std::string line;
    while (land.size() < 720u * 360u && std::getline(in, line)) {
        line.resize(720, 'F');
        for (char c : line) land.push_back(c == 'T');
    }
    if (land.size() != 720u * 360u) land.clear();
    return land;
}

// The 1/12-degree land: each half-degree cell covers 6 x 6 positions; near a
// coast a position is land when the land share of the four nearest
// half-degree cells, plus a little noise, exceeds one half, so that coasts are
// ragged at the fine scale and small islands and lakes appear.
inline std::vector<std::uint8_t> fine_land(const std::vector<std::uint8_t>& coarse) {
    std::vector<std::uint8_t> land(std::size_t{kCols} * kRows);
    auto coarse_at = [&](int col, int row) {
        col = (col + 720) % 720;
        row = std::clamp(row, 0, 359);
        return static_cast<double>(coarse[static_cast<std::size_t>(row) * 720 + static_cast<std::size_t>(col)]);
    };
    for (int r = 0; r < kRows; ++r) {
        const double y = (r + 0.5) / 6.0 - 0.5;
        const int r0 = static_cast<int>(std::floor(y));
        const double fy = y - r0;
        for (int c = 0; c < kCols; ++c) {
            const double x = (c + 0.5) / 6.0 - 0.5;
            const int c0 = static_cast<int>(std::floor(x));
            const double fx = x - c0;
            const double share = (1 - fy) * ((1 - fx) * coarse_at(c0, r0) + fx * coarse_at(c0 + 1, r0)) +
                                 fy * ((1 - fx) * coarse_at(c0, r0 + 1) + fx * coarse_at(c0 + 1, r0 + 1));
            const std::size_t i = static_cast<std::size_t>(r) * kCols + static_cast<std::size_t>(c);
            land[i] = share + 0.4 * (hash_unit(i * 7919 + 17) - 0.5) > 0.5;
        }
    }
    return land;
}

// The positions (row by row from the north-west) of a 1/12-degree model of
// up to `count` cells: the land from 50 degrees north southwards, in row
// order, without the half-degree blocks that hold no rangeland (three in ten).
inline std::vector<std::uint32_t> rangeland_positions(const std::vector<std::uint8_t>& land, std::size_t count) {
    std::vector<std::uint32_t> cells;
    for (std::uint32_t i = 480u * kCols; i < std::uint32_t{kCols} * kRows && cells.size() < count; ++i) {
        const std::uint64_t block = (i / kCols / 6) * 720 + (i % kCols) / 6;
        if (land[i] && hash_unit(block * 104729 + 3) < 0.7) cells.push_back(i);
    }
    return cells;
}

}  // namespace veldra::bench
