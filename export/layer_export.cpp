#include "export/layer_export.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "modelfiles/ascii_grid.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/free_format.h"
#include "modelfiles/grid_runs.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"
#include "modelfiles/version.h"

namespace veldra::out {
namespace {

class Console {
public:
    Console(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void line(const files::FreeFormatLine& l) { out_ << l.str() << '\n'; }
    void text_line(std::string_view text) { line(files::FreeFormatLine().text(text)); }

    // A reason that the system's own console lines do not give.
    void error(std::string_view message) {
        out_.flush();
        err_ << "layer_exporter: " << message << '\n';
        err_.flush();
    }

private:
    std::ostream& out_;
    std::ostream& err_;
};

struct Parameters {
    std::string in_path;  // ends with a separator
    std::string input_file_name;
    std::string output_root;
    std::int32_t first_year = 0;
    std::int32_t last_year = 0;
    std::int32_t layers = 0;
};

// The parameters of a run, or the exit status of a run that stops at once.
struct ParsedParameters {
    std::optional<Parameters> parameters;
    int status = kExitOk;
};

const char* const kOrdinals[] = {"first", "second", "third", "fourth", "fifth", "sixth"};

// Reads a whole number from the first `width` characters of a parameter;
// blanks in that field are ignored and an all-blank field is 0.
std::optional<std::int32_t> read_number_field(std::string_view parameter, std::size_t width) {
    std::string digits;
    for (char c : parameter.substr(0, width))
        if (c != ' ') digits += c;
    if (digits.empty()) return 0;
    return files::parse_whole(digits);
}

bool is_empty_parameter(std::string_view p) { return p.find_first_not_of(' ') == std::string_view::npos; }

// Parses the six parameters, printing a message for each missing one.
ParsedParameters parse_parameters(const std::vector<std::string>& args, Console& console) {
    auto arg = [&](std::size_t i) -> std::string_view {
        return i < args.size() ? std::string_view(args[i]) : std::string_view{};
    };
    Parameters p;
    bool missing = false;
    bool help = false;

    const std::string_view first = files::trim_trailing_blanks(arg(0));
    if (is_empty_parameter(arg(0)) || first == "-h" || first == "help") {
        console.text_line("The first parameter should be the pathway to the Veldra files.");
        missing = true;
        help = !is_empty_parameter(arg(0));
    } else {
        p.in_path = files::with_trailing_separator(first);
    }

    const char* const messages[] = {
        nullptr,
        "The second parameter should be the name of the input file to be processed.",
        "The third parameter should be the pathway and root of the files to be created.",
        "The fourth parameter should be the first year to be processed.",
        "The fifth parameter should be the last year to be processed.",
        "The sixth parameter should be number of layers to be processed.",
    };
    std::int32_t* const numbers[] = {nullptr, nullptr, nullptr, &p.first_year, &p.last_year, &p.layers};
    for (std::size_t i = 1; i < 6; ++i) {
        if (is_empty_parameter(arg(i))) {
            console.text_line(messages[i]);
            missing = true;
            continue;
        }
        if (i == 1) {
            p.input_file_name = files::trim_trailing_blanks(arg(i));
        } else if (i == 2) {
            p.output_root = files::trim_trailing_blanks(arg(i));
        } else {
            const std::size_t width = i == 5 ? 2 : 4;
            const auto value = read_number_field(arg(i), width);
            if (!value) {
                console.error("the " + std::string(kOrdinals[i]) + " parameter \"" + std::string(arg(i)) +
                              "\" is not a whole number (its first " + std::to_string(width) +
                              " characters are read)");
                return {std::nullopt, kExitUsage};
            }
            *numbers[i] = *value;
        }
    }
    if (missing) return {std::nullopt, (help || args.empty()) ? kExitOk : kExitUsage};
    return {p, kExitOk};
}

// Everything the export steps share, found once from the cell and globe files.
class GridExport {
public:
    GridExport(const Parameters& params, const files::GridInfo& info, files::GridRuns runs, Console& console, files::FileAccess& files)
        : params_(params), info_(info), runs_(std::move(runs)), console_(console), files_(files), file_(files),
          variable_path_(params.in_path + params.input_file_name) {
        header_ = files::grid_header_for(info_.cellSize);
    }

    // One grid: the file of this year, month and layer, complete or not at
    // all. Returns whether the run goes on.
    bool export_step(std::int32_t year, std::int32_t month, std::int32_t layer) {
        const std::string name = files::grid_file_name(params_.output_root, year, month, layer);
        try {
            file_.create(files::path_to_open(name));
        } catch (const files::FileWriteError& e) {
            return cannot_create(name, e);
        }
        try {
            if (header_) {
                for (std::string_view h : *header_) {
                    file_.write(h);
                    file_.write("\r\n");
                }
            }
            if (!read_block(year, month, layer)) {
                file_.abandon();
                return false;
            }
            file_.write_body(runs_, block_.data() + 3, block_.size() - 3);
        } catch (const files::FileWriteError& e) {
            console_.error(with_disk_hint(e));
            return false;
        }
        try {
            file_.commit();
        } catch (const files::FileWriteError& e) {
            // A grid that cannot be put in place is a grid that cannot be created.
            if (e.reason().rfind("cannot be put in place", 0) == 0) return cannot_create(name, e);
            console_.error(with_disk_hint(e));
            return false;
        }
        return true;
    }

private:
    static std::string with_disk_hint(const files::FileWriteError& e) {
        return std::string(e.what()) + (e.disk_full() ? " (is the disk full?)" : "");
    }

    bool cannot_create(const std::string& name, const files::FileWriteError& e) {
        console_.line(files::FreeFormatLine()
                          .text("An output file cannot be created.  Stopping while attempting to create:")
                          .text(name));
        console_.error(with_disk_hint(e));
        return false;
    }

    // Reads the block of (year, month, layer) and checks its three leading
    // records. Returns whether the run goes on.
    bool read_block(std::int32_t year, std::int32_t month, std::int32_t layer) {
        const std::int32_t n = info_.cellCount;
        std::optional<files::VariableFile> variable;
        try {
            variable = files::VariableFile::open(files::path_to_open(variable_path_), files_);
        } catch (const files::FileOpenError& e) {
            console_.text_line("The file to be read from cannot be opened. ");
            console_.line(files::FreeFormatLine().text("Stopping while attempting to read: ").text(variable_path_));
            console_.error(e.what());
            return false;
        }
        const files::BlockAddress address{year, month, layer, info_.firstYear, params_.layers, n};
        const files::CheckedBlock block = read_checked_block(*variable, address, block_);
        if (block.fault == files::BlockFault::before_start) {
            console_.error(block_before_start_message(variable_path_, address, block));
            return false;
        }
        auto past_end = [&] {
            console_.error(block_past_end_message(variable_path_, address, block));
            return false;
        };
        if (!block.leading_read()) return past_end();

        // A count that differs stops the run; a year or month that differs
        // is reported and the block is used as read.
        if (!block.count_matches) {
            console_.text_line("There is disagreement between the number of rangeland cells and what is being read in. ");
            console_.line(files::FreeFormatLine()
                              .text("Something is out of sync. Expected  was")
                              .whole(n)
                              .text("and read-in was")
                              .real(block_[0]));
            return false;
        }
        if (!block.year_matches) {
            console_.text_line("There is disagreement between the current year and the year read-in. ");
            console_.line(files::FreeFormatLine()
                              .text("Something is out of sync.  Expected is")
                              .whole(year)
                              .text("and read-in was")
                              .real(block_[1]));
        }
        if (!block.month_matches) {
            console_.text_line("There is disagreement between the current month and the month read-in. ");
            console_.line(files::FreeFormatLine()
                              .text("Something is out of sync.  Expected is")
                              .whole(month)
                              .text("and read-in was")
                              .real(block_[2]));
        }
        return block.records.complete() || past_end();
    }

    const Parameters& params_;
    files::GridInfo info_;
    files::GridRuns runs_;
    Console& console_;
    files::FileAccess& files_;
    files::GridFileWriter file_;  // its buffers serve every grid of the run
    std::string variable_path_;
    const files::GridHeader* header_ = nullptr;
    std::vector<float> block_;  // the block's count, year, month, then one value per cell
};

// Reads a model text file, or prints `missing_message` and returns nothing.
std::optional<files::TextBuffer> read_model_text(const std::string& stored_path, const char* missing_message,
                                          Console& console, files::FileAccess& files) {
    try {
        return files::read_text_buffer(files::path_to_open(stored_path), files);
    } catch (const files::FileOpenError& e) {
        console.text_line(missing_message);
        console.error(e.what());
        return std::nullopt;
    }
}

}  // namespace

int run_layer_exporter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return run_layer_exporter(args, out, err, files::system_files());
}

int run_layer_exporter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, files::FileAccess& files) {
    Console console(out, err);
    if (args.size() == 1 && args[0] == "--version") {
        out << "layer_exporter " << files::kVersion << '\n';
        return kExitOk;
    }
    const ParsedParameters parsed = parse_parameters(args, console);
    if (!parsed.parameters) return parsed.status;
    const Parameters& p = *parsed.parameters;

    console.text_line(" ");
    console.line(files::FreeFormatLine()
                     .text("Exporting data from ")
                     .text(p.in_path + p.input_file_name)
                     .text(" to files named like ")
                     .text(p.output_root)
                     .text(" starting with year")
                     .whole(p.first_year)
                     .text("and ending with year")
                     .whole(p.last_year)
                     .text("and including")
                     .whole(p.layers)
                     .text(" layer(s)."));

    auto export_all = [&] {
        const std::string cell_path = p.in_path + "Rng_Data.vrd";
        // The model's text files and the cell table are needed only until the
        // runs of the grid are found.
        std::optional<GridExport> grids;
        {
            std::optional<files::TextBuffer> text =
                read_model_text(cell_path, "The Rng_Data.vrd file cannot be opened.", console, files);
            if (!text) return false;
            const files::CellFile cells = files::parse_cell_file(text->view(), cell_path);
            for (const std::string& warning : cells.warnings) console.error(warning);
            const std::string globe_path = p.in_path + "Globe.vrd";
            text.reset();
            text = read_model_text(globe_path, "The Globe.vrd file cannot be opened.", console, files);
            if (!text) return false;
            grids.emplace(p, cells.info, files::GridRuns(cells, text->view(), globe_path), console, files);
        }
        for (std::int32_t year = p.first_year; year <= p.last_year; ++year) {
            for (std::int32_t month = 1; month <= 12; ++month) {
                for (std::int32_t layer = 1; layer <= p.layers; ++layer) {
                    console.line(files::FreeFormatLine()
                                     .text("Exporting layer")
                                     .whole(layer)
                                     .text("of month")
                                     .whole(month)
                                     .text("of year")
                                     .whole(year));
                    if (!grids->export_step(year, month, layer)) return false;
                }
            }
            if (year == INT32_MAX) break;
        }
        return true;
    };
    try {
        const bool ok = export_all();
        out.flush();
        return ok ? kExitOk : kExitFailure;
    } catch (const files::ModelFileError& e) {
        console.error(e.what());
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        console.error("not enough memory to hold the grid of " + p.in_path + "Rng_Data.vrd");
        return kExitFailure;
    }
}

}  // namespace veldra::out
