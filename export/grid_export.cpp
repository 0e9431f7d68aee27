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

namespace veldra::out {

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

// The fields of export_grid_fields through the output grid `out`.
void write_grids(const ExportSettings& settings, LookedUp& out, fields::FieldSource& source, std::int64_t n,
                 files::FileAccess& files, const ExportNotes& notes, ExportOutcome& outcome, const PeriodFilePart& part) {
    const WriteOrder order = std::move(out.order);
    std::string header;
    for (const std::string& line : out.header) header += line + "\r\n";
    const std::string prj = std::move(out.prj);
    out = LookedUp{};

    const GridValueText text(settings.decimals);
    std::vector<char> row(static_cast<std::size_t>(order.cols) * text.max_length() + 8);
    fields::Field field;
    files::GridFileWriter writer(files);
    for (std::size_t k = 0; k < source.periods().size(); ++k) {
        const fields::Period& period = source.periods()[k];
        const std::string path = field_file_path(settings.folder, settings.root, period, part, ".asc");
        if (!notes.status("Saving: " + path)) return;
        const fields::FieldRead read = source.read(k, field);
        if (read.kind == fields::FieldRead::Kind::stopped) {
            outcome.stopped = true;
            return;
        }
        if (read.kind == fields::FieldRead::Kind::skipped) {
            files.remove(files::path_to_open(path));
            files.remove(files::path_to_open(sidecar_path(path)));
            if (!abandon_month(outcome, notes, read.note)) return;
            continue;
        }
        const float* values = with_marks(field, n).data();
        writer.create(files::path_to_open(path));
        writer.write(header);
        for (std::int64_t r = 0; r < order.rows; ++r) {
            const char* end = format_row(row.data(), order.slot.data() + r * order.cols, order.cols, values, text);
            writer.write(std::string_view(row.data(), static_cast<std::size_t>(end - row.data())));
        }
        writer.commit();
        writer.create(files::path_to_open(sidecar_path(path)));
        writer.write(prj);
        writer.commit();
        ++outcome.months_written;
        outcome.grids.push_back(path);
        if (!notes.status("")) return;
    }
}

}  // namespace

std::string field_file_path(std::string_view folder, std::string_view root, const fields::Period& period,
                            const PeriodFilePart& part, std::string_view extension) {
    if (!part) {
        std::string path = month_grid_path(folder, root, period.year, period.month);
        return path.replace(path.size() - 4, 4, extension);
    }
    std::string path = files::with_trailing_separator(files::trim_blanks(folder));
    path.append(root).append("_").append(part(period)).append(extension);
    return path;
}

std::string month_grid_path(std::string_view folder, std::string_view root, std::int32_t year, std::int32_t month) {
    std::string path = files::with_trailing_separator(files::trim_blanks(folder));
    path += root;
    path += '_';
    path += files::integer_text(year);
    path += '_';
    if (month >= 0 && month < 10) path += '0';
    path += files::integer_text(month);
    path += ".asc";
    return path;
}

ExportOutcome export_grids(const ExportSource& source, const ExportSettings& settings, const LookupPlaces& places,
                           files::FileAccess& files, const ExportProgress& progress) {
    const OpenFields months = monthly_fields(source, settings, fields::BadBlock::skip, files);
    return export_grid_fields(source, settings, places, months, files, progress);
}

ExportOutcome export_grid_fields(const ExportSource& source, const ExportSettings& settings,
                                 const LookupPlaces& places, const OpenFields& open, files::FileAccess& files,
                                 const ExportProgress& progress, const PeriodFilePart& part) {
    ExportOutcome outcome;
    const ExportNotes notes = export_notes(progress, outcome);
    run_guarded(outcome, notes, [&] {
        check_month_source(source, settings.projection);
        if (settings.decimals < 0 || settings.decimals > kMaxGridDecimals)
            throw StopExport{"Nothing was exported: the decimal places must be 0 to " +
                             files::integer_text(kMaxGridDecimals) + ", not " + files::integer_text(settings.decimals) + "."};
        std::optional<LookedUp> looked_up =
            plan_output(source, settings.projection, "ASCII grids", places, files, notes.status);
        if (!looked_up) return;
        const std::unique_ptr<fields::FieldSource> fields = open(source.layer);
        write_grids(settings, *looked_up, *fields, source.cell_count, files, notes, outcome, part);
    });
    return outcome;
}

}  // namespace veldra::out
