#include "viewer/core/display_block.h"

#include <optional>

#include "modelfiles/number_text.h"
#include "modelfiles/file_io.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra::viewer {
namespace {

bool fits_int16(int v) { return v >= -32768 && v <= 32767; }

std::optional<VariableFile> open_variable_file(const std::string& path) {
    try {
        return VariableFile::open(path_to_open(path));
    } catch (const FileOpenError&) {
        return std::nullopt;
    }
}

}  // namespace

BlockRead read_variable_block(const ViewerState& state, const std::string& path, int layers, int year, int month,
                              int layer) {
    BlockRead out;
    const std::string year_text = std::to_string(year);
    const std::string month_text = std::to_string(month);
    auto no_data = [&](const char* where) {
        out.message = "The file " + path + " holds no data for year " + year_text + ", month " + month_text +
                      " (layer " + std::to_string(layer) + "): the block would lie " + where + " the file.";
        return out;
    };

    const std::optional<VariableFile> file = open_variable_file(path);
    if (!file) {
        out.message = "The file " + path + " cannot be opened.";
        return out;
    }

    // Within 16 bits every record number stays far inside 64 bits; beyond,
    // only the side of the file the block would lie on is worked out.
    if (!(fits_int16(year) && fits_int16(month) && fits_int16(layer) && fits_int16(layers))) {
        const double index = ((static_cast<double>(year) - state.first_year()) * 12 + month - 1) * layers + layer - 1;
        return no_data(index < 0 ? "before the start of" : "past the end of");
    }

    const auto n = static_cast<std::int64_t>(state.CellTable.size());
    const BlockAddress address{year, month, layer, state.first_year(), layers, n};
    std::vector<float> records;
    BlockRecords block;
    try {
        block = read_block(*file, address, records);
    } catch (const ModelFileError& e) {
        out.message = e.what();
        return out;
    }
    if (block.before_start()) return no_data("before the start of");
    if (!block.complete()) {
        if (block.last_record() > file->record_count()) return no_data("past the end of");
        out.message = "The file " + path + " ended while its block for year " + year_text + ", month " + month_text +
                      " was read.";
        return out;
    }

    if (records[0] != static_cast<float>(n)) {
        out.message = "There is disagreement between the number of rangeland cells expected and what is being "
                      "read-in.  Something is out of sync. Expected is " +
                      plain_number(state.GridInfo.cellCount) + " and read-in was: " + plain_number(records[0]);
        return out;
    }
    if (records[1] != static_cast<float>(year)) {
        out.message = "There is disagreement between the current year and the year read-in.  Something is out of "
                      "sync.  Excepted is " +
                      year_text + " and read-in was " + plain_number(records[1]);
        return out;
    }
    if (records[2] != static_cast<float>(month)) {
        out.message = "There is disagreement between the current month and the month read-in.  Something is out "
                      "of sync.  Excepted is " +
                      month_text + " and read-in was " + plain_number(records[2]);
        return out;
    }
    records.erase(records.begin(), records.begin() + 3);
    out.values = std::move(records);
    return out;
}

BlockRead read_display_block(const ViewerState& state, int year, int month, int layer) {
    const OutputEntry* entry = state.selected_entry();
    if (!entry) return BlockRead{{}, "No variable is chosen."};
    return read_variable_block(state, state.variable_path(*entry), entry->LayerCount, year, month, layer);
}

}  // namespace veldra::viewer
