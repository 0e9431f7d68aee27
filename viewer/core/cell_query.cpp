#include "viewer/core/cell_query.h"

#include "viewer/core/colour_ramps.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {

CellSquare cell_square(const files::RangeCell& cell, double half_cols, int half_rows) {
    return {-half_cols + cell.x - 1, static_cast<double>(half_rows) - cell.y};
}

std::optional<std::size_t> nearest_cell(const std::vector<files::RangeCell>& cells, double half_cols, int half_rows,
                                        double x, double y) {
    std::optional<std::size_t> best;
    double best_d2 = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const CellSquare s = cell_square(cells[i], half_cols, half_rows);
        const double dx = x - (s.x0 + 0.5);
        const double dy = y - (s.y0 + 0.5);
        const double d2 = dx * dx + dy * dy;
        if (!best || d2 < best_d2) {
            best = i;
            best_d2 = d2;
        }
    }
    return best;
}

MonthlySeries read_cell_series(const SeriesSource& source, std::size_t cell, const RunShape& run, files::FileAccess& files) {
    MonthlySeries series;
    series.rows.resize(run.months());
    std::optional<files::VariableFile> file;
    try {
        file = files::VariableFile::open(files::path_to_open(source.path), files);
    } catch (const files::ModelFileError& e) {
        series.failure = std::string(e.what()) + "; expected the monthly values of the run";
        return series;
    }
    std::size_t k = 0;
    for (std::int32_t year = run.first_year; year <= run.last_year && k < series.rows.size(); ++year) {
        for (std::int32_t month = 1; month <= 12; ++month, ++k) {
            const files::BlockAddress address{year, month, source.layer, run.first_year, source.layers, run.cell_count};
            const std::int64_t record = block_first_record(address) + 3 + static_cast<std::int64_t>(cell);
            float value = 0;
            try {
                if (file->read_records(record, 1, &value) != 1) {
                    series.failure = source.path + ": the file holds " + std::to_string(file->record_count()) +
                                     " records; expected the value of cell " + std::to_string(cell + 1) +
                                     " for year " + std::to_string(year) + ", month " + std::to_string(month) +
                                     " at record " + std::to_string(record);
                    return series;
                }
            } catch (const files::ModelFileError& e) {
                series.failure = e.what();
                return series;
            }
            if (files::in_valid_range(value)) series.rows[k] = value;
        }
    }
    return series;
}

RunShape run_shape(const ViewerState& state) {
    return {static_cast<std::int64_t>(state.CellTable.size()), state.first_year(), state.GridInfo.lastYear};
}

std::optional<SeriesSource> selection_source(const ViewerState& state) {
    const files::OutputEntry* entry = state.selected_entry();
    if (!entry || !is_drawable(state) || state.CellTable.empty()) return std::nullopt;
    if (state.SelectedLayer < 1 || state.SelectedLayer > entry->LayerCount) return std::nullopt;
    return SeriesSource{entry->FileName, state.variable_path(*entry), entry->LayerCount, state.SelectedLayer};
}

std::array<SeriesSource, 3> climate_sources(const ViewerState& state) {
    std::array<SeriesSource, 3> sources;
    for (std::size_t i = 0; i < sources.size(); ++i)
        sources[i] = {kClimateLegends[i], files::variable_path(state.ModelFolder, kClimateFiles[i]), 1, 1};
    return sources;
}

ChartTable::ChartTable(std::size_t rows) : rows_(rows) {
    for (auto& c : columns_) c.resize(rows);
}

void ChartTable::set_column(std::size_t column, const MonthlySeries& series) {
    auto& target = columns_[column];
    for (std::size_t k = 0; k < rows_ && k < series.rows.size(); ++k)
        if (series.rows[k]) target[k] = series.rows[k];
}

std::string value_axis_title(const files::OutputEntry& entry) {
    return std::string(files::trim_blanks(entry.FileName)) + "  " + std::string(files::trim_blanks(entry.Units));
}

}  // namespace veldra::viewer
