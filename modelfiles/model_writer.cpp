#include "modelfiles/model_writer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace veldra::files {
namespace {

template <typename Number>
void append_number(std::string& out, Number value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

}  // namespace

std::string output_list_line(std::string_view flag, std::string_view name, std::string_view layers,
                             std::string_view label, std::string_view units) {
    std::string line(77, ' ');
    auto put = [&line](std::size_t at, std::string_view text) {
        const std::string_view kept = text.substr(0, line.size() - at);
        line.replace(at, kept.size(), kept);
    };
    put(0, flag);
    put(4, name);
    put(40, layers);
    put(44, label);
    put(58, units);
    return line;
}

std::string cell_file_text(const GridInfo& info, std::span<const RangeCell> cells) {
    std::string text;
    // A cell's line is at most five 11-character numbers and their blanks.
    text.reserve(128 + cells.size() * 64);
    auto field = [&text](auto value) {
        if (!text.empty() && text.back() != '\n') text += ' ';
        append_number(text, value);
    };
    for (std::int32_t n : {info.cellCount, info.xDimension, info.yDimension, info.lowerX, info.lowerY, info.upperX,
                           info.upperY})
        field(n);
    field(info.cellSize);
    field(info.firstYear);
    field(info.lastYear);
    text += "\r\n";
    for (const RangeCell& c : cells) {
        for (std::int32_t n : {c.cellNumber, c.zone, c.x, c.y, c.rangeType}) field(n);
        text += "\r\n";
    }
    return text;
}

std::string globe_file_text(std::span<const std::string> rows) {
    std::size_t size = 0;
    for (const std::string& row : rows) size += row.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& row : rows) {
        text += row;
        text += "\r\n";
    }
    return text;
}

void append_records(std::string& out, std::span<const float> records) {
    const std::size_t at = out.size();
    out.resize(at + 4 * records.size());
    char* bytes = out.data() + at;
    for (float record : records) {
        const auto bits = std::bit_cast<std::uint32_t>(record);
        for (int i = 0; i < 4; ++i) *bytes++ = static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
}

void write_variable_file(const std::string& path, const VariableShape& shape, const BlockFill& fill,
                         FileAccess& files) {
    ReplacingFile file(path, files);
    const std::size_t n = static_cast<std::size_t>(std::max(shape.cell_count, 0));
    std::vector<float> block(n + 3);
    std::string year_bytes;
    year_bytes.reserve(12 * static_cast<std::size_t>(std::max(shape.layers, 0)) * block.size() * 4);
    for (std::int32_t year = shape.first_year; year <= shape.last_year; ++year) {
        year_bytes.clear();
        for (std::int32_t month = 1; month <= 12; ++month) {
            for (std::int32_t layer = 1; layer <= shape.layers; ++layer) {
                block[0] = static_cast<float>(shape.cell_count);
                block[1] = static_cast<float>(year);
                block[2] = static_cast<float>(month);
                fill(year, month, layer, std::span<float>(block).subspan(3));
                append_records(year_bytes, block);
            }
        }
        file.write(year_bytes);
    }
    file.commit();
}

void create_model_folders(const std::string& folder) {
    for (const char* sub : {"Parms", "Output"}) {
        const std::filesystem::path dir = std::filesystem::path(folder) / sub;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) throw Error("cannot create the folder " + dir.string() + ": " + ec.message());
    }
}

}  // namespace veldra::files
