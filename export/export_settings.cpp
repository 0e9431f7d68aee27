#include "export/export_settings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "modelfiles/number_text.h"
#include "modelfiles/ascii_grid.h"
#include "modelfiles/paths.h"

namespace veldra::out {

std::string default_export_root(const std::string& selected_file, int selected_layer) {
    if (selected_layer <= 1) return selected_file;
    return selected_file + "_L" + std::to_string(selected_layer);
}

std::string read_last_export_dir(const std::string& path, files::FileAccess& files) {
    std::string line;
    try {
        line = read_first_line(path, 64 * 1024, files);
    } catch (const files::ModelFileError&) {
        return {};
    }
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    if (line[start] == '"') {
        const std::size_t end = line.find('"', start + 1);
        return line.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    }
    return line.substr(start, line.find(',', start) - start);
}

void write_last_export_dir(const std::string& path, const std::string& folder, files::FileAccess& files) {
    try {
        replace_file(path, "\"" + folder + "\"\r\n", files);
    } catch (const files::FileWriteError& e) {
        throw files::FileWriteError(path, e.reason(), e.code());  // named by the file it replaces
    }
}

int step_export_year(int year, int step, int first_year, int last_year) {
    const long long next = static_cast<long long>(year) + step;
    if (next > last_year) return last_year;
    if (next < first_year) return first_year;
    return static_cast<int>(next);
}

std::string step_decimals(const std::string& text, int step) {
    const long long next = static_cast<long long>(files::text_value(text)) + step;
    return std::to_string(std::max(0LL, next));
}

void check_export_settings(int span_start, int span_end, const std::string& folder, const std::string& root) {
    if (span_end < span_start) throw StopExport("Note:  The ending year is prior to the starting year.  Please adjust.");
    if (folder.empty()) throw StopExport("Note:  The output directory is not set.  Please do so.");
    if (root.empty()) throw StopExport("Note:  The output root file name is not set.  Please do so.");
}

void create_destination_folder(const std::string& folder, files::FileAccess& files) {
    files.create_folders(files::path_to_open(std::string(files::trim_blanks(folder))));
}

std::optional<ExportSource> export_source(const files::LoadedModel& model, const files::OutputEntry* entry, int layer) {
    if (!entry || layer < 1 || entry->LayerCount <= 0) return std::nullopt;
    return ExportSource{model.ModelFolder,
                        entry->FileName,
                        entry->LayerCount,
                        layer,
                        static_cast<std::int64_t>(model.CellTable.size()),
                        model.first_year(),
                        model.GridInfo.cellSize,
                        model.CellTable,
                        model.GlobeMask,
                        files::ModelEdges{model.GridInfo.lowerX, model.GridInfo.lowerY, model.GridInfo.upperX,
                                   static_cast<double>(model.GridInfo.upperY)}};
}

}  // namespace veldra::out
