// A run against a baseline: each field of this run beside the same field of
// another run (or of the same run over other years), cell by cell. Two runs
// pair their cells by position on the grid (column and row), whatever the
// order of their cell files.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fields/field_source.h"
#include "modelfiles/cell_file.h"

namespace veldra::fields {

// What a field of the comparison holds, where both values are valid (as
// in_valid_range says): otherwise, and where a ratio or percentage has a
// baseline of 0, it is no data (NaN).
enum class Compare {
    difference,  // this - baseline
    ratio,       // this / baseline
    percent,     // 100 (this - baseline) / baseline
};

// "difference", "ratio", "percent"; nothing for any other name.
std::optional<Compare> compare_named(std::string_view name);
std::string_view compare_name(Compare how);

// The value of one cell.
float compared(float self, float baseline, Compare how);

// The grid of a run's cell file.
struct CellGrid {
    std::int64_t cols = 0;
    std::int64_t rows = 0;
    float cell_size = 0;
};

CellGrid cell_grid(const files::CellFile& cells);

// For each cell of this run (in the order of its cell file), the index of
// the cell of the baseline run at the same position (in the order of the
// baseline's cell file).
struct CellPairing {
    std::vector<std::int64_t> baseline_index;
};

// The pairing of a run with itself, or with a run of the same cell file.
CellPairing same_cells(std::int64_t cell_count);

// Pairs the cells of this run with those of the baseline by position. Raises
// ModelFileError when the grids differ (columns, rows or cell size), naming
// both cell files, or naming the first cell of this run (by its place in
// `self_cell_file`, its number, column and row) that has no baseline cell at
// its position. Baseline cells outside this run are not needed. Where two
// baseline cells share a position, the later one pairs, as a grid shows it.
CellPairing pair_cells(const std::vector<files::RangeCell>& self, const std::vector<files::RangeCell>& baseline,
                       const CellGrid& self_grid, const CellGrid& baseline_grid, const std::string& self_cell_file,
                       const std::string& baseline_cell_file);

// Raises ModelFileError naming `cell_file` and the first year of
// first_year..last_year outside the years run_first..run_last of its run.
void check_years_cover(std::int32_t first_year, std::int32_t last_year, std::int32_t run_first, std::int32_t run_last,
                       const std::string& cell_file);

// The fields of `self` compared with those of `baseline`, cell by cell through
// `pairing`: with the periods of `self`. Field k pairs with field k of the
// baseline when both have the same periods; a baseline of a single field (a
// whole span, e.g. the run mean of other years) stands beside every field,
// whatever its period.
// Otherwise Error names the first period of `self` that the baseline lacks;
// a pairing that does not fit the two cell counts is std::invalid_argument.
// A field that this run skips is skipped; one that the baseline skips or
// either gives as NaN is all NaN (FieldRead::nan); the notes of both are kept,
// the baseline's after "baseline: ". A single baseline field is read once.
std::unique_ptr<FieldSource> compare_source(std::unique_ptr<FieldSource> self, std::unique_ptr<FieldSource> baseline,
                                            Compare how, CellPairing pairing);

}  // namespace veldra::fields
