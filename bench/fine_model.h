// The benchmarks' models of the projected exports: the sample model as read
// from its folder, and the sample spread over 6 x 6 cells of 1/12 degree.
#pragma once

#include <cstdint>
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
    CellFile cells;
    GlobeMask land;
};

inline Model load_model(const std::string& dir) {
    const std::string cell_path = dir + "/Output/Rng_Data.vrd", globe_path = dir + "/Output/Globe.vrd";
    Model m;
    m.cells = parse_cell_file(read_text_file(cell_path), cell_path);
    m.land = parse_globe_file(read_text_file(globe_path), m.cells.window, globe_path);
    return m;
}

// The sample spread over 6 x 6 cells of 1/12 degree (cell size 0.083, the
// value that picks the "0p083" lookup grids), with one month of values.
struct FineModel {
    std::vector<RangeCell> cells;
    GlobeMask land;
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

    const VariableFile precip = VariableFile::open(variable_path(sample_dir, "Precip"));
    std::vector<float> block;
    const std::int64_t n = sample.cells.info.cellCount;
    read_block(precip, {sample.cells.info.firstYear, 1, 1, sample.cells.info.firstYear, 1, n}, block);
    // One block, January of the first year: count, year, month, the values.
    std::vector<float> records = {0.0f, static_cast<float>(sample.cells.info.firstYear), 1.0f};
    for (std::int64_t i = 0; i < n; ++i) {
        const RangeCell& c = sample.cells.cells[static_cast<std::size_t>(i)];
        for (int dy = 0; dy < k; ++dy)
            for (int dx = 0; dx < k; ++dx) {
                const auto number = static_cast<std::int32_t>(fine.cells.size()) + 1;
                fine.cells.push_back({number, c.zone, (c.x - 1) * k + dx + 1, (c.y - 1) * k + dy + 1, c.rangeType});
                records.push_back(block[3 + static_cast<std::size_t>(i)] * (1.0f + 0.01f * static_cast<float>(dx - dy)));
            }
    }
    records[0] = static_cast<float>(fine.cells.size());
    create_model_folders(folder.string());
    std::string bytes;
    append_records(bytes, records);
    replace_file(variable_path(folder.string(), "Precip"), bytes);
    return fine;
}

}  // namespace veldra::bench
