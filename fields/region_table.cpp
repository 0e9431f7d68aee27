#include "fields/region_table.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace veldra::fields {
namespace {

// Text is handed on in pieces of about this size.
constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

template <typename Number>
void append_number(std::string& out, Number value) {
    char buf[32];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

void append_name(std::string& out, const std::string& name) {
    if (name.find_first_of(",\"\r\n") == std::string::npos) {
        out += name;
        return;
    }
    out += '"';
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

using Sink = std::function<void(std::string_view)>;

TableEnd write_table(FieldSource& source, const RegionSet& regions, const Sink& sink, const RegionTableHooks& hooks) {
    source.check_span();
    std::string text(kRegionTableHeader);
    text += "\r\n";
    Field field;
    const std::size_t total = source.periods().size();
    for (std::size_t k = 0; k < total; ++k) {
        const FieldRead read = source.read(k, field, hooks.stop);
        if (read.kind == FieldRead::Kind::stopped) {
            sink(text);
            return TableEnd::stopped;
        }
        if (read.kind != FieldRead::Kind::whole && hooks.note) hooks.note(read.note);
        if (read.kind != FieldRead::Kind::skipped)
            append_region_rows(text, hooks.label ? hooks.label(field) : field.label, regions,
                               region_stats(regions, field));
        if (text.size() >= kPieceBytes) {
            sink(text);
            text.clear();
        }
        if (hooks.progress) hooks.progress(k + 1, total);
    }
    sink(text);
    return TableEnd::complete;
}

}  // namespace

void append_region_rows(std::string& out, const std::string& time, const RegionSet& regions,
                        const std::vector<RegionStats>& stats) {
    for (std::size_t r = 0; r < stats.size(); ++r) {
        const RegionStats& s = stats[r];
        out += time;
        out += ',';
        append_name(out, regions.names.at(r));
        out += ',';
        append_number(out, s.cells);
        if (s.cells == 0) {
            out += ",,,,,\r\n";
            continue;
        }
        const auto field = [&out](auto value) {
            out += ',';
            if (!std::isnan(value)) append_number(out, value);
        };
        field(s.mean);
        field(s.area_mean);
        field(s.min);
        field(s.max);
        field(s.sd);
        out += "\r\n";
    }
}

TableEnd write_region_table(FieldSource& source, const RegionSet& regions, std::ostream& out,
                            const RegionTableHooks& hooks) {
    const auto sink = [&out](std::string_view text) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    };
    const TableEnd end = write_table(source, regions, sink, hooks);
    if (!out) throw files::Error{"the table of regions could not be written to its stream"};
    return end;
}

TableEnd write_region_table(FieldSource& source, const RegionSet& regions, const std::string& path, files::FileAccess& files,
                            const RegionTableHooks& hooks) {
    files::ReplacingFile file(path, files);
    const TableEnd end = write_table(source, regions, [&file](std::string_view text) { file.write(text); }, hooks);
    if (end == TableEnd::stopped) {
        file.abandon();
        return end;
    }
    file.commit();
    return end;
}

}  // namespace veldra::fields
