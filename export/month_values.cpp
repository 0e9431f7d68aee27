#include "export/month_values.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "fields/monthly_source.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"

namespace veldra::out {
namespace {


bool can_open(const std::string& path, files::FileAccess& files) {
    try {
        files.open_input(files::path_to_open(path));
        return true;
    } catch (const files::ModelFileError&) {
        return false;
    }
}

bool set_complete(const LookupFiles& f, files::FileAccess& files) {
    return can_open(f.zone_ids, files) && can_open(f.ids, files) && can_open(f.mask, files) &&
           can_open(f.prj, files);
}

}  // namespace

std::optional<LookupFiles> find_lookup_grids(std::string_view suffix, int projection, float cell_size,
                                             const LookupPlaces& places, files::FileAccess& files,
                                             const std::function<bool(const std::string&)>& status) {
    std::vector<std::string> folders = places.folders;
    if (!places.cache_folder.empty()) folders.push_back(places.cache_folder);
    for (const std::string& folder : folders) {
        LookupFiles f = lookup_files(folder, suffix, projection);
        if (set_complete(f, files)) return f;
    }
    const std::string size_text = files::plain_number(cell_size);
    const std::string first_missing = [&] {
        const LookupFiles f = lookup_files(folders.empty() ? std::string() : folders.front(), suffix, projection);
        for (const std::string* p : {&f.zone_ids, &f.ids, &f.mask, &f.prj})
            if (!can_open(*p, files)) return *p;
        return f.zone_ids;
    }();
    if (suffix.empty())
        throw StopExport{"There are no lookup grids for a cell size of " + size_text + ": " + first_missing +
                         " cannot be opened."};
    if (!places.make || places.cache_folder.empty())
        throw StopExport{"The lookup grids for a cell size of " + size_text + " are missing: " + first_missing +
                         " cannot be opened."};
    if (!status("Making the lookup grids \"" + std::string(suffix) + "\" for " +
                std::string(projection_names(projection).caption) + " in " + places.cache_folder + " ..."))
        return std::nullopt;
    try {
        places.make(places.cache_folder, suffix, projection);
    } catch (const std::exception& e) {
        throw StopExport{"The lookup grids for a cell size of " + size_text + " cannot be made in " +
                         places.cache_folder + ": " + e.what()};
    }
    LookupFiles f = lookup_files(places.cache_folder, suffix, projection);
    if (!set_complete(f, files))
        throw StopExport{"The lookup grids for a cell size of " + size_text + " were made in " + places.cache_folder +
                         ", but " + f.ids + " or its mask, reference grid or .prj cannot be opened."};
    return f;
}

LookupFiles opened_form(LookupFiles f) {
    for (std::string* p : {&f.zone_ids, &f.ids, &f.mask, &f.prj}) *p = files::path_to_open(*p);
    return f;
}

const std::vector<float>& with_marks(fields::Field& field, std::int64_t n) {
    const auto cells = static_cast<std::size_t>(n);
    field.values.resize(cells, std::numeric_limits<float>::quiet_NaN());
    field.values.push_back(-255.0f);
    field.values.push_back(-9999.0f);
    return field.values;
}

OpenFields monthly_fields(const ExportSource& source, std::int32_t first_year, std::int32_t last_year,
                          fields::BadBlock policy, files::FileAccess& files) {
    const fields::RunVariable run{source.model_folder, source.file_name, source.layer_count, source.first_year,
                                  source.cell_count};
    return [run, first_year, last_year, policy, &files](std::int32_t layer) {
        return std::make_unique<fields::MonthlySource>(run, layer, first_year, last_year, policy, files);
    };
}

ExportNotes export_notes(const ExportProgress& progress, ExportOutcome& outcome) {
    return {[&progress, &outcome](const std::string& text) {
                if (progress && !progress(ExportNote::status, text)) {
                    outcome.stopped = true;
                    return false;
                }
                return true;
            },
            [&progress](const std::string& text) { return !progress || progress(ExportNote::message, text); }};
}

void check_month_source(const ExportSource& source, int projection) {
    if (source.layer_count < 1 || source.layer < 1 || source.layer > source.layer_count)
        throw StopExport{kNothingToExport};
    if (projection < 0 || projection >= kProjectionCount)
        throw StopExport{"Nothing was exported: the projection " + files::integer_text(projection) +
                         " is not one of 0 (Geographic) to 3 (Winkel Tripel)."};
    const std::int64_t model_cols = source.land.cols, model_rows = source.land.rows;
    if (model_cols <= 0 || model_rows <= 0 ||
        source.land.land.size() != static_cast<std::size_t>(model_cols * model_rows))
        throw StopExport{"Nothing was exported: the model grid has no land and water mask."};
    const std::int64_t n = source.cell_count;
    if (n < 0 || n > files::kMaxGridPositions)
        throw StopExport{"Nothing was exported: the cell count " + files::integer_text(n) + " is outside 0 to " +
                         files::integer_text(files::kMaxGridPositions) + "."};
}

files::ModelGrid source_grid(const ExportSource& source) {
    return model_grid(source.edges, source.cell_size, source.land.cols, source.land.rows);
}

std::string cell_file_path(const ExportSource& source) {
    return files::with_trailing_separator(source.model_folder) + "Output/Rng_Data.vrd";
}

void require_whole_globe(const ExportSource& source, const files::ModelGrid& grid, std::string_view what) {
    if (grid.whole_globe) return;
    const files::ModelEdges& e = source.edges;
    throw StopExport{"Nothing was exported: " + cell_file_path(source) + ": line 1: the edges " +
                     files::plain_number(e.west) + ", " + files::plain_number(e.south) + ", " + files::plain_number(e.east) + ", " +
                     files::plain_number(e.north) + " (west, south, east, north) are a regional window; " +
                     std::string(what) +
                     " expect the whole globe, -180, -90, 180, 90. A regional window exports as a geographic "
                     "GeoTIFF only."};
}

std::vector<std::int32_t> model_slots(const ExportSource& source, const files::ModelGrid& grid, std::int64_t n) {
    const auto land_slot = static_cast<std::int32_t>(n), water_slot = static_cast<std::int32_t>(n + 1);
    std::vector<std::int32_t> slots(static_cast<std::size_t>(grid.cols * grid.rows), water_slot);
    const std::int64_t mask_cols = std::min<std::int64_t>(source.land.cols, grid.cols);
    const std::int64_t mask_rows = std::min<std::int64_t>(source.land.rows, grid.rows);
    for (std::int64_t r = 0; r < mask_rows; ++r)
        for (std::int64_t c = 0; c < mask_cols; ++c)
            if (source.land.land[static_cast<std::size_t>(r * source.land.cols + c)])
                slots[static_cast<std::size_t>(r * grid.cols + c)] = land_slot;
    const std::int64_t placed = std::min<std::int64_t>(n, static_cast<std::int64_t>(source.cells.size()));
    for (std::int64_t i = 0; i < placed; ++i) {
        const files::RangeCell& c = source.cells[static_cast<std::size_t>(i)];
        if (c.x >= 1 && c.x <= grid.cols && c.y >= 1 && c.y <= grid.rows)
            slots[static_cast<std::size_t>((c.y - 1) * grid.cols + (c.x - 1))] = static_cast<std::int32_t>(i);
    }
    return slots;
}

WriteOrder write_order(const OutputLookup& lookup, const std::vector<std::int32_t>& slots, std::int64_t n) {
    const auto water_slot = static_cast<std::int32_t>(n + 1);
    WriteOrder order;
    order.cols = lookup.cols;
    order.rows = lookup.rows;
    order.slot.resize(lookup.source.size());
    for (std::int64_t r = 0; r < lookup.rows; ++r) {
        const std::int32_t* from = lookup.source.data() + r * lookup.cols;
        std::int32_t* to = order.slot.data() + (lookup.rows - 1 - r) * lookup.cols;
        for (std::int64_t c = 0; c < lookup.cols; ++c) {
            const std::int32_t s = from[c];
            to[c] = s == kOutsideOutline ? kOutsideOutline
                    : s == kNoSource     ? water_slot
                                         : slots[static_cast<std::size_t>(s)];
        }
    }
    return order;
}

WriteOrder model_order(const files::ModelGrid& grid, std::vector<std::int32_t> slots) {
    return WriteOrder{std::move(slots), grid.cols, grid.rows};
}

std::optional<LookedUp> look_up(const ExportSource& source, const files::ModelGrid& grid, int projection,
                                const LookupPlaces& places, files::FileAccess& files,
                                const std::function<bool(const std::string&)>& status) {
    const std::optional<LookupFiles> found =
        find_lookup_grids(resolution_suffix(source.cell_size), projection, source.cell_size, places, files, status);
    if (!found) return std::nullopt;
    const LookupFiles paths = opened_form(*found);
    if (!status("Reading in geographic information ...")) return std::nullopt;
    const ZoneGrid zones = load_zone_grid(paths.zone_ids, grid.cols, grid.rows, files);
    if (!status("Reading in projection information ...")) return std::nullopt;
    const OutputLookup lookup = load_output_lookup(paths, projection, zones, files);
    return LookedUp{write_order(lookup, model_slots(source, grid, source.cell_count), source.cell_count),
                    lookup.header, lookup.place, lookup.prj, found->ids};
}

std::optional<LookedUp> plan_output(const ExportSource& source, int projection, std::string_view window_refused,
                                    const LookupPlaces& places, files::FileAccess& files,
                                    const std::function<bool(const std::string&)>& status) {
    const files::ModelGrid grid = source_grid(source);
    if (!window_refused.empty()) require_whole_globe(source, grid, window_refused);
    if (grid.whole_globe) return look_up(source, grid, projection, places, files, status);
    LookedUp model;
    model.order = model_order(grid, model_slots(source, grid, source.cell_count));
    model.place = LookupPlace{grid.west, grid.south, grid.cell};
    model.ids = cell_file_path(source);
    return model;
}

bool abandon_month(ExportOutcome& outcome, const ExportNotes& notes, const std::string& note) {
    ++outcome.months_abandoned;
    if (notes.message(note)) return true;
    outcome.stopped = true;
    return false;
}

void run_guarded(ExportOutcome& outcome, const ExportNotes& notes, const std::function<void()>& body) {
    const auto fail = [&](const std::string& text) {
        outcome.failed = true;
        notes.message(text);
    };
    try {
        body();
    } catch (const files::Error& e) {  // StopExport, a model file's error, a block's
        fail(e.what());
    } catch (const std::bad_alloc&) {
        fail("The export needs more memory than there is.");
    }
}

}  // namespace veldra::out
