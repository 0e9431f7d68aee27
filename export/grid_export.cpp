#include "export/grid_export.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include "export/grid_value_text.h"
#include "export/lookup_grids.h"
#include "export/month_values.h"
#include "modelfiles/number_text.h"
#include "modelfiles/ascii_grid.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {
namespace {


bool can_open(const std::string& path, FileAccess& files) {
    try {
        files.open_input(path_to_open(path));
        return true;
    } catch (const ModelFileError&) {
        return false;
    }
}

bool set_complete(const LookupFiles& f, FileAccess& files) {
    return can_open(f.zone_ids, files) && can_open(f.ids, files) && can_open(f.mask, files) &&
           can_open(f.prj, files);
}

}  // namespace

std::optional<LookupFiles> find_lookup_grids(std::string_view suffix, int projection, float cell_size,
                                             const LookupPlaces& places, FileAccess& files,
                                             const std::function<bool(const std::string&)>& status) {
    std::vector<std::string> folders = places.folders;
    if (!places.cache_folder.empty()) folders.push_back(places.cache_folder);
    for (const std::string& folder : folders) {
        LookupFiles f = lookup_files(folder, suffix, projection);
        if (set_complete(f, files)) return f;
    }
    const std::string size_text = plain_number(cell_size);
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
    for (std::string* p : {&f.zone_ids, &f.ids, &f.mask, &f.prj}) *p = path_to_open(*p);
    return f;
}

std::optional<std::string> read_month_block(const VariableFile& variable, const std::string& variable_path,
                                            const BlockAddress& address, std::vector<float>& block) {
    const CheckedBlock b = read_checked_block(variable, address, block);
    switch (b.fault) {
    case BlockFault::none:
        break;
    case BlockFault::before_start:
        throw StopExport{block_before_start_message(variable_path, address, b) + "."};
    case BlockFault::past_end:
        throw StopExport{block_past_end_message(variable_path, address, b) + "."};
    case BlockFault::cell_count:
    case BlockFault::year:
    case BlockFault::month:
        return leading_mismatch_message(b.fault, block.data(), integer_text(address.cell_count), address);
    }
    const auto n = static_cast<std::size_t>(address.cell_count);
    block.resize(n + 5);
    block[n + 3] = -255.0f;
    block[n + 4] = -9999.0f;
    return std::nullopt;
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
        throw StopExport{"Nothing was exported: the projection " + integer_text(projection) +
                         " is not one of 0 (Geographic) to 3 (Winkel Tripel)."};
    const std::int64_t model_cols = source.land.cols, model_rows = source.land.rows;
    if (model_cols <= 0 || model_rows <= 0 ||
        source.land.land.size() != static_cast<std::size_t>(model_cols * model_rows))
        throw StopExport{"Nothing was exported: the model grid has no land and water mask."};
    const std::int64_t n = source.cell_count;
    if (n < 0 || n > kMaxGridPositions)
        throw StopExport{"Nothing was exported: the cell count " + integer_text(n) + " is outside 0 to " +
                         integer_text(kMaxGridPositions) + "."};
}

ModelGrid source_grid(const ExportSource& source) {
    return model_grid(source.edges, source.cell_size, source.land.cols, source.land.rows);
}

std::string cell_file_path(const ExportSource& source) {
    return with_trailing_separator(source.model_folder) + "Output/Rng_Data.vrd";
}

void require_whole_globe(const ExportSource& source, const ModelGrid& grid, std::string_view what) {
    if (grid.whole_globe) return;
    const ModelEdges& e = source.edges;
    throw StopExport{"Nothing was exported: " + cell_file_path(source) + ": line 1: the edges " +
                     plain_number(e.west) + ", " + plain_number(e.south) + ", " + plain_number(e.east) + ", " +
                     plain_number(e.north) + " (west, south, east, north) are a regional window; " +
                     std::string(what) +
                     " expect the whole globe, -180, -90, 180, 90. A regional window exports as a geographic "
                     "GeoTIFF only."};
}

std::vector<std::int32_t> model_slots(const ExportSource& source, const ModelGrid& grid, std::int64_t n) {
    const auto land_slot = static_cast<std::int32_t>(n + 3), water_slot = static_cast<std::int32_t>(n + 4);
    std::vector<std::int32_t> slots(static_cast<std::size_t>(grid.cols * grid.rows), water_slot);
    const std::int64_t mask_cols = std::min<std::int64_t>(source.land.cols, grid.cols);
    const std::int64_t mask_rows = std::min<std::int64_t>(source.land.rows, grid.rows);
    for (std::int64_t r = 0; r < mask_rows; ++r)
        for (std::int64_t c = 0; c < mask_cols; ++c)
            if (source.land.land[static_cast<std::size_t>(r * source.land.cols + c)])
                slots[static_cast<std::size_t>(r * grid.cols + c)] = land_slot;
    const std::int64_t placed = std::min<std::int64_t>(n, static_cast<std::int64_t>(source.cells.size()));
    for (std::int64_t i = 0; i < placed; ++i) {
        const RangeCell& c = source.cells[static_cast<std::size_t>(i)];
        if (c.x >= 1 && c.x <= grid.cols && c.y >= 1 && c.y <= grid.rows)
            slots[static_cast<std::size_t>((c.y - 1) * grid.cols + (c.x - 1))] = static_cast<std::int32_t>(3 + i);
    }
    return slots;
}

WriteOrder write_order(const OutputLookup& lookup, const std::vector<std::int32_t>& slots, std::int64_t n) {
    const auto water_slot = static_cast<std::int32_t>(n + 4);
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

WriteOrder model_order(const ModelGrid& grid, std::vector<std::int32_t> slots) {
    return WriteOrder{std::move(slots), grid.cols, grid.rows};
}

std::optional<LookedUp> look_up(const ExportSource& source, const ModelGrid& grid, int projection,
                                const LookupPlaces& places, FileAccess& files,
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

namespace {

// Formats one row. Grids are mostly runs of the same value (water, land
// without cells, a cell spread over several projected places), so the text
// of the previous value is kept and copied while it repeats.
char* format_row(char* out, const std::int32_t* slots, std::int64_t cols, const float* values,
                 const GridValueText& text) {
    std::uint32_t cached_bits = 0;
    char cached[kMaxGridDecimals + 64];
    std::size_t cached_len = 0;
    for (std::int64_t c = 0; c < cols; ++c) {
        const std::int32_t s = slots[c];
        if (s < 0) {
            std::memcpy(out, "-9999 ", 6);
            out += 6;
            continue;
        }
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(values[s]);
        if (cached_len == 0 || bits != cached_bits) {
            cached_len = static_cast<std::size_t>(text.write(cached, values[s]) - cached);
            cached_bits = bits;
        }
        std::memcpy(out, cached, cached_len);
        out += cached_len;
    }
    out[0] = '\r';
    out[1] = '\n';
    return out + 2;
}

}  // namespace

std::string month_grid_path(std::string_view folder, std::string_view root, std::int32_t year, std::int32_t month) {
    std::string path = with_trailing_separator(trim_blanks(folder));
    path += root;
    path += '_';
    path += integer_text(year);
    path += '_';
    if (month >= 0 && month < 10) path += '0';
    path += integer_text(month);
    path += ".asc";
    return path;
}

ExportOutcome export_grids(const ExportSource& source, const ExportSettings& settings, const LookupPlaces& places,
                           FileAccess& files, const ExportProgress& progress) {
    ExportOutcome outcome;
    const ExportNotes notes = export_notes(progress, outcome);
    const auto& status = notes.status;
    const auto& message = notes.message;

    try {
        check_month_source(source, settings.projection);
        if (settings.decimals < 0 || settings.decimals > kMaxGridDecimals)
            throw StopExport{"Nothing was exported: the decimal places must be 0 to " +
                             integer_text(kMaxGridDecimals) + ", not " + integer_text(settings.decimals) + "."};
        const std::int64_t n = source.cell_count;
        const ModelGrid grid = source_grid(source);
        require_whole_globe(source, grid, "ASCII grids");

        std::optional<LookedUp> looked_up = look_up(source, grid, settings.projection, places, files, status);
        if (!looked_up) return outcome;
        const WriteOrder order = std::move(looked_up->order);
        std::string header;
        for (const std::string& line : looked_up->header) header += line + "\r\n";
        const std::string prj = std::move(looked_up->prj);
        looked_up.reset();

        const std::string variable_path = veldra::variable_path(source.model_folder, trim_blanks(source.file_name));
        const VariableFile variable = VariableFile::open(path_to_open(variable_path), files);

        const GridValueText text(settings.decimals);
        std::vector<char> row(static_cast<std::size_t>(order.cols) * text.max_length() + 8);
        std::vector<float> block;
        GridFileWriter writer(files);

        for (std::int64_t y = settings.first_year; y <= settings.last_year; ++y) {
            const auto year = static_cast<std::int32_t>(y);
            for (std::int32_t month = 1; month <= 12; ++month) {
                const std::string path = month_grid_path(settings.folder, settings.root, year, month);
                if (!status("Saving: " + path)) return outcome;

                const BlockAddress address{year, month, source.layer, source.first_year, source.layer_count, n};
                if (const std::optional<std::string> mismatch =
                        read_month_block(variable, variable_path, address, block)) {
                    files.remove(path_to_open(path));
                    files.remove(path_to_open(sidecar_path(path)));
                    ++outcome.months_abandoned;
                    if (!message(*mismatch)) {
                        outcome.stopped = true;
                        return outcome;
                    }
                    continue;
                }
                writer.create(path_to_open(path));
                writer.write(header);
                for (std::int64_t r = 0; r < order.rows; ++r) {
                    const char* end =
                        format_row(row.data(), order.slot.data() + r * order.cols, order.cols, block.data(), text);
                    writer.write(std::string_view(row.data(), static_cast<std::size_t>(end - row.data())));
                }
                writer.commit();
                writer.create(path_to_open(sidecar_path(path)));
                writer.write(prj);
                writer.commit();
                ++outcome.months_written;
                outcome.grids.push_back(path);
                if (!status("")) return outcome;
            }
        }
    } catch (const StopExport& e) {
        outcome.failed = true;
        message(e.what());
    } catch (const ModelFileError& e) {
        outcome.failed = true;
        message(e.what());
    } catch (const std::bad_alloc&) {
        outcome.failed = true;
        message("The export needs more memory than there is.");
    }
    return outcome;
}

}  // namespace veldra::viewer
