// The body of a grid as runs. A grid shows water (-9999) and land without a
// rangeland cell (-255) in long runs, with the cells' values between them;
// only the cells change from grid to grid. The runs are found once, from the
// globe file and the cell table, and every grid is then written as pieces:
// runs of water and land point into two kept texts of repeated fillers, runs
// of cells into a small buffer of the formatted values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "modelfiles/cell_file.h"

namespace veldra::files {

enum class RunKind : std::uint8_t { water, land, cells };

struct GridRun {
    std::uint32_t length = 0;  // positions; 0 only for a row without columns
    RunKind kind = RunKind::water;
    bool ends_row = false;     // the last run of its row
};

// How many runs and cell positions one batch of pieces may hold. A batch is
// written with one gathering write; its cells are formatted in one go.
struct BatchLimits {
    std::size_t runs = 1000;
    std::size_t cells = 16384;
};

class GridRuns {
public:
    // The runs of the grid window of `cells`, every row from the globe file
    // read as layer_exporter reads it. A cell shows its value wherever it
    // lies, on land or water; of two cells at one position the later in the
    // cell table wins. Raises ModelFileError, naming `globe_name`, when the
    // globe file has fewer lines than the grid has rows.
    GridRuns(const CellFile& cells, std::string_view globe_text, const std::string& globe_name,
             BatchLimits limits = {});

    std::int64_t cols() const { return cols_; }
    std::int64_t rows() const { return rows_; }

    // Row by row, west to east; every row ends with a run marked ends_row.
    const std::vector<GridRun>& runs() const { return runs_; }

    // For every position that shows a cell, in the order of the body: the
    // index of that cell in the cell table.
    const std::vector<std::uint32_t>& cell_order() const { return cell_order_; }

    // Entries of the cell table: the values a block holds.
    std::size_t cell_count() const { return cell_count_; }

    // The text of one position of water (or of land without a cell) repeated
    // once for every column, then "\r\n ": any run of that kind is a piece of
    // it, and a run that ends its row takes the line end with it.
    std::string_view filler(RunKind kind) const { return kind == RunKind::land ? land_text_ : water_text_; }
    // The bytes of one position in a filler.
    std::size_t filler_width() const { return filler_width_; }

    // Batch b covers the runs from batch_first_run(b) up to
    // batch_first_run(b + 1), and the cell positions from batch_first_cell(b).
    std::size_t batch_count() const { return batch_first_run_.size() - 1; }
    std::size_t batch_first_run(std::size_t b) const { return batch_first_run_[b]; }
    std::size_t batch_first_cell(std::size_t b) const { return batch_first_cell_[b]; }
    const BatchLimits& limits() const { return limits_; }

private:
    void add_run(std::uint32_t length, RunKind kind);

    std::int64_t cols_ = 0;
    std::int64_t rows_ = 0;
    std::size_t cell_count_ = 0;
    BatchLimits limits_;
    std::vector<GridRun> runs_;
    std::vector<std::uint32_t> cell_order_;
    std::string water_text_;
    std::string land_text_;
    std::size_t filler_width_ = 0;
    std::vector<std::size_t> batch_first_run_;
    std::vector<std::size_t> batch_first_cell_;
};

}  // namespace veldra::files
