#include "viewer/core/display_block.h"

#include <optional>

#include "modelfiles/number_text.h"
#include "modelfiles/file_io.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {
namespace {

bool fits_int16(int v) { return v >= -32768 && v <= 32767; }

std::optional<files::VariableFile> open_variable_file(const std::string& path, files::FileAccess& files) {
    try {
        return files::VariableFile::open(files::path_to_open(path), files);
    } catch (const files::FileOpenError&) {
        return std::nullopt;
    }
}

}  // namespace

std::vector<float> read_block_values(const ViewerState& state, const std::string& path, int layers, int year,
                                     int month, int layer, files::FileAccess& files) {
    const std::string year_text = std::to_string(year);
    const std::string month_text = std::to_string(month);
    auto no_data = [&](const char* where) {
        return BlockError("The file " + path + " holds no data for year " + year_text + ", month " + month_text +
                          " (layer " + std::to_string(layer) + "): the block would lie " + where + " the file.");
    };

    const std::optional<files::VariableFile> file = open_variable_file(path, files);
    if (!file) throw BlockError("The file " + path + " cannot be opened.");

    // Within 16 bits every record number stays far inside 64 bits; beyond,
    // only the side of the file the block would lie on is worked out.
    if (!(fits_int16(year) && fits_int16(month) && fits_int16(layer) && fits_int16(layers))) {
        const double index = ((static_cast<double>(year) - state.first_year()) * 12 + month - 1) * layers + layer - 1;
        throw no_data(index < 0 ? "before the start of" : "past the end of");
    }

    const auto n = static_cast<std::int64_t>(state.CellTable.size());
    const files::BlockAddress address{year, month, layer, state.first_year(), layers, n};
    std::vector<float> records;
    const files::CheckedBlock block = read_checked_block(*file, address, records);
    if (block.fault == files::BlockFault::before_start) throw no_data("before the start of");
    // A block the file does not hold whole is reported before its leading records.
    if (!block.records.complete()) {
        if (block.records.last_record() > block.file_records) throw no_data("past the end of");
        throw BlockError("The file " + path + " ended while its block for year " + year_text + ", month " +
                         month_text + " was read.");
    }
    if (!block.ok())
        throw BlockError(
            leading_mismatch_message(block.fault, records.data(), files::plain_number(state.GridInfo.cellCount), address));
    records.erase(records.begin(), records.begin() + 3);
    return records;
}

BlockRead read_variable_block(const ViewerState& state, const std::string& path, int layers, int year, int month,
                              int layer, files::FileAccess& files) {
    BlockRead out;
    try {
        out.values = read_block_values(state, path, layers, year, month, layer, files);
    } catch (const files::Error& e) {
        out.message = e.what();
    }
    return out;
}

BlockRead read_display_block(const ViewerState& state, int year, int month, int layer, files::FileAccess& files) {
    const files::OutputEntry* entry = state.selected_entry();
    if (!entry) return BlockRead{{}, "No variable is chosen."};
    return read_variable_block(state, state.variable_path(*entry), entry->LayerCount, year, month, layer, files);
}

}  // namespace veldra::viewer
