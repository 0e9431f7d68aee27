#include "viewer/core/derived_map.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <utility>

#include "fields/monthly_source.h"
#include "fields/summary_source.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "modelfiles/resolutions.h"
#include "viewer/core/chart_text.h"

namespace veldra::viewer {

namespace {

using fields::BadBlock;
using fields::FieldSource;
using fields::MonthlySource;
using fields::RunVariable;
using fields::Summary;

fields::CellGrid grid_of(const files::LoadedModel& model) {
    return {static_cast<std::int64_t>(model.GridInfo.xDimension), model.GridInfo.yDimension,
            model.GridInfo.cellSize};
}

files::ModelGrid model_grid_of(const files::LoadedModel& model) {
    const files::ViewerGridInfo& g = model.GridInfo;
    return model_grid(files::ModelEdges{g.lowerX, g.lowerY, g.upperX, static_cast<double>(g.upperY)}, g.cellSize,
                      model.GlobeMask.cols, model.GlobeMask.rows);
}

RunVariable run_variable(const files::LoadedModel& model, const files::OutputEntry& entry) {
    return {model.ModelFolder, entry.FileName, entry.LayerCount, model.first_year(),
            static_cast<std::int64_t>(model.CellTable.size())};
}

// The fields of `show` and the index of the one to draw.
struct ShownSource {
    std::unique_ptr<FieldSource> source;
    std::size_t index = 0;
};

ShownSource shown_source(const files::LoadedModel& model, const files::OutputEntry& entry, int layer, MapShow show, int year,
                         int month) {
    const RunVariable run = run_variable(model, entry);
    const int first = model.first_year(), last = model.GridInfo.lastYear;
    const auto months = [&](int from, int to, BadBlock policy) {
        return std::make_unique<MonthlySource>(run, layer, from, to, policy);
    };
    const auto month_index = static_cast<std::size_t>(std::clamp(month, 1, 12) - 1);
    switch (show) {
        case MapShow::month:
            fields::check_years_cover(year, year, first, last, model.cell_path());
            return {months(year, year, BadBlock::stop), month_index};
        case MapShow::year_mean:
            fields::check_years_cover(year, year, first, last, model.cell_path());
            return {fields::summary_source(months(year, year, BadBlock::nan), Summary::annual_mean, year, year), 0};
        case MapShow::climatology:
            return {fields::summary_source(months(first, last, BadBlock::nan), Summary::climatology, first, last),
                    month_index};
        case MapShow::run_mean:
            return {fields::summary_source(months(first, last, BadBlock::nan), Summary::run_mean, first, last), 0};
        case MapShow::trend:
            return {fields::summary_source(months(first, last, BadBlock::nan), Summary::trend, first, last), 0};
    }
    return {};
}

std::string degrees(double value) { return files::plain_number(value); }

// Region `r` of `all` alone, as region 0.
fields::RegionSet only_region(const fields::RegionSet& all, std::size_t r) {
    fields::RegionSet one;
    one.kind = all.kind;
    one.names = {all.names[r]};
    one.weights = all.weights;
    one.first.reserve(all.first.size());
    one.first.push_back(0);
    for (std::size_t i = 0; i + 1 < all.first.size(); ++i) {
        for (std::uint32_t k = all.first[i]; k < all.first[i + 1]; ++k)
            if (all.members[k] == r) one.members.push_back(0);
        one.first.push_back(static_cast<std::uint32_t>(one.members.size()));
    }
    return one;
}

}  // namespace

std::optional<MapShow> map_show_named(std::string_view name) {
    if (name == "month") return MapShow::month;
    if (name == "year-mean") return MapShow::year_mean;
    if (name == "climatology") return MapShow::climatology;
    if (name == "run-mean") return MapShow::run_mean;
    if (name == "trend") return MapShow::trend;
    return std::nullopt;
}

std::string show_label(MapShow show, int year, int month, int first_year, int last_year) {
    const std::string span = std::to_string(first_year) + "-" + std::to_string(last_year);
    switch (show) {
        case MapShow::month: return {};
        case MapShow::year_mean: return "mean of " + std::to_string(year);
        case MapShow::climatology: return std::string("climatology of ") + month_name(std::clamp(month, 1, 12));
        case MapShow::run_mean: return "mean " + span;
        case MapShow::trend: return "trend per decade " + span;
    }
    return {};
}

std::string shown_note(MapShow show, int year, int month, int first_year, int last_year,
                       const std::string& baseline_name) {
    const std::string label = show_label(show, year, month, first_year, last_year);
    return (label.empty() ? "" : ", " + label) + (baseline_name.empty() ? "" : " minus " + baseline_name);
}

std::string legend_units(const ViewerState& state) {
    const files::OutputEntry* entry = state.selected_entry();
    return (entry ? std::string(files::trim_blanks(entry->Units)) : std::string()) + state.picture.shown;
}

BaselineRun load_baseline(const ViewerState& state, const std::string& folder) {
    BaselineRun b;
    b.folder = folder;
    std::filesystem::path p(folder);
    if (!p.has_filename()) p = p.parent_path();
    b.name = p.filename().string();
    b.model = files::load_model_files(folder);
    b.pairing = fields::pair_cells(state.CellTable, b.model.CellTable, grid_of(state), grid_of(b.model),
                                   state.cell_path(), b.model.cell_path());
    return b;
}

ShownField read_shown_field(const ViewerState& state, MapShow show, int year, int month, const BaselineRun* baseline) {
    ShownField out;
    const files::OutputEntry* entry = state.selected_entry();
    if (!entry || state.SelectedLayer < 1 || state.SelectedLayer > entry->LayerCount) {
        out.message = "Nothing to show: choose a variable and a layer.";
        return out;
    }
    try {
        ShownSource self = shown_source(state, *entry, state.SelectedLayer, show, year, month);
        std::unique_ptr<FieldSource> source = std::move(self.source);
        if (baseline) {
            const auto& table = baseline->model.OutputTable;
            const auto same = std::find_if(table.begin(), table.end(), [&](const files::OutputEntry& e) {
                return e.FileName == entry->FileName && e.LayerCount == entry->LayerCount;
            });
            if (same == table.end()) {
                out.message = "The run in " + baseline->folder + " has no variable " + entry->FileName + " of " +
                              std::to_string(entry->LayerCount) + " layers to compare with.";
                return out;
            }
            ShownSource base = shown_source(baseline->model, *same, state.SelectedLayer, show, year, month);
            source = fields::compare_source(std::move(source), std::move(base.source), fields::Compare::difference,
                                            baseline->pairing);
        }
        fields::Field field;
        const fields::FieldRead read = source->read(self.index, field);
        if (read.kind == fields::FieldRead::Kind::skipped || read.kind == fields::FieldRead::Kind::stopped) {
            out.message = read.note.empty() ? "Nothing could be read." : read.note;
            return out;
        }
        out.values = std::move(field.values);
    } catch (const std::exception& e) {
        out.message = e.what();
        out.values.clear();
    }
    return out;
}

ShownField ShownFieldCache::read(const ViewerState& state, MapShow show, int year, int month,
                                 const BaselineRun* baseline) {
    const files::OutputEntry* entry = state.selected_entry();
    // What the field depends on: the variable and layer, the kind, the year
    // or month where the kind has one, and the baseline.
    const bool by_year = show == MapShow::month || show == MapShow::year_mean;
    const bool by_month = show == MapShow::month || show == MapShow::climatology;
    const std::string key = (entry ? entry->FileName : std::string()) + '\n' + std::to_string(state.SelectedLayer) +
                            '\n' + std::to_string(static_cast<int>(show)) + '\n' +
                            (by_year ? std::to_string(year) : "") + '\n' + (by_month ? std::to_string(month) : "") +
                            '\n' + (baseline ? baseline->folder : std::string());
    if (key == key_) return ShownField{values_, {}};
    ShownField field = read_shown_field(state, show, year, month, baseline);
    if (field.ok()) {
        key_ = key;
        values_ = field.values;
    }
    return field;
}

fields::Box box_between(const ViewerState& state, double x0, double y0, double x1, double y1) {
    const files::ViewerGridInfo& g = state.GridInfo;
    const double size = static_cast<double>(g.cellSize);
    const auto lon = [&](double x) { return std::clamp(x * size + (g.lowerX + g.upperX) / 2, -180.0, 180.0); };
    const auto lat = [&](double y) { return std::clamp(y * size + (g.lowerY + g.upperY) / 2, -90.0, 90.0); };
    return {std::min(lon(x0), lon(x1)), std::min(lat(y0), lat(y1)), std::max(lon(x0), lon(x1)),
            std::max(lat(y0), lat(y1))};
}

ChartRegion box_region(const ViewerState& state, const fields::Box& box) {
    fields::RegionRequest request;
    request.kind = fields::RegionKind::box;
    request.boxes = {box};
    ChartRegion region;
    region.regions = fields::make_regions(request, state.CellTable, model_grid_of(state));
    region.name = "box " + degrees(box.west) + "," + degrees(box.south) + "," + degrees(box.east) + "," +
                  degrees(box.north);
    region.regions.names = {region.name};
    return region;
}

ChartRegion zone_region(const ViewerState& state, std::size_t cell) {
    fields::RegionRequest request;
    request.kind = fields::RegionKind::zone;
    const fields::RegionSet all = fields::make_regions(request, state.CellTable, model_grid_of(state));
    const std::string zone = std::to_string(state.CellTable.at(cell).zone);
    const auto r = static_cast<std::size_t>(std::find(all.names.begin(), all.names.end(), zone) - all.names.begin());
    ChartRegion region;
    region.regions = only_region(all, r);
    region.name = "zone " + zone;
    return region;
}

bool draws_box(double dx, double dy) { return std::abs(dx) > 5 || std::abs(dy) > 5; }

MonthlySeries read_region_series(const ViewerState& state, const SeriesSource& source, const ChartRegion& region) {
    const RunShape shape = run_shape(state);
    MonthlySeries series;
    series.rows.resize(shape.months());
    const files::OutputEntry* entry = state.selected_entry();
    if (!entry) return series;
    try {
        MonthlySource months(run_variable(state, *entry), source.layer, shape.first_year, shape.last_year,
                             BadBlock::nan);
        fields::Field field;
        for (std::size_t k = 0; k < series.rows.size(); ++k) {
            if (months.read(k, field).kind == fields::FieldRead::Kind::skipped) continue;
            const fields::RegionStats stats = fields::region_stats(region.regions, field.values).at(0);
            if (stats.cells > 0) series.rows[k] = static_cast<float>(stats.area_mean);
        }
    } catch (const std::exception& e) {
        series.failure = e.what();
    }
    return series;
}

std::string region_csv_name(const SeriesSource& source, const ChartRegion& region) {
    std::string name = source.legend + "_L" + std::to_string(source.layer) + "_" + region.name;
    std::replace(name.begin(), name.end(), ' ', '_');
    std::replace(name.begin(), name.end(), ',', '_');
    return name + ".csv";
}

std::string region_series_name(const SeriesSource& source, const ChartRegion& region) {
    return source.legend + ", layer " + std::to_string(source.layer) + ", " + region.name + " (area mean)";
}

}  // namespace veldra::viewer
