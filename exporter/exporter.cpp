#include "exporter/exporter.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <ostream>
#include <string_view>

#include "modelfiles/ascii_grid.h"
#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/free_format.h"
#include "modelfiles/globe_file.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/paths.h"
#include "modelfiles/variable_file.h"

namespace veldra {
namespace {

// A failure that ends the run; its console lines have been printed.
struct StopRun {
    int status;
};

class Console {
public:
    Console(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void line(const FreeFormatLine& l) { out_ << l.str() << '\n'; }
    void text_line(std::string_view text) { line(FreeFormatLine().text(text)); }

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
    std::string inPath;         // ends with a separator
    std::string inputFileName;
    std::string outputRoot;
    std::int32_t firstYear = 0;
    std::int32_t lastYear = 0;
    std::int32_t layers = 0;
};

const char* const kOrdinals[] = {"first", "second", "third", "fourth", "fifth", "sixth"};

// Reads a whole number from the first `width` characters of a parameter;
// blanks in that field are ignored and an all-blank field is 0.
std::optional<std::int32_t> read_number_field(std::string_view parameter, std::size_t width) {
    std::string digits;
    for (char c : parameter.substr(0, width))
        if (c != ' ') digits += c;
    if (digits.empty()) return 0;
    return parse_whole(digits);
}

bool is_empty_parameter(std::string_view p) { return p.find_first_not_of(' ') == std::string_view::npos; }

// Parses the six parameters, printing a message for each missing one.
// Returns nothing when the run stops; `status` then holds its exit status.
std::optional<Parameters> parse_parameters(const std::vector<std::string>& args, Console& console, int& status) {
    auto arg = [&](std::size_t i) -> std::string_view {
        return i < args.size() ? std::string_view(args[i]) : std::string_view{};
    };
    Parameters p;
    bool missing = false;
    bool help = false;

    const std::string_view first = trim_trailing_blanks(arg(0));
    if (is_empty_parameter(arg(0)) || first == "-h" || first == "help") {
        console.text_line("The first parameter should be the pathway to the Veldra files.");
        missing = true;
        help = !is_empty_parameter(arg(0));
    } else {
        p.inPath = with_trailing_separator(first);
    }

    const char* const messages[] = {
        nullptr,
        "The second parameter should be the name of the input file to be processed.",
        "The third parameter should be the pathway and root of the files to be created.",
        "The fourth parameter should be the first year to be processed.",
        "The fifth parameter should be the last year to be processed.",
        "The sixth parameter should be number of layers to be processed.",
    };
    std::int32_t* const numbers[] = {nullptr, nullptr, nullptr, &p.firstYear, &p.lastYear, &p.layers};
    for (std::size_t i = 1; i < 6; ++i) {
        if (is_empty_parameter(arg(i))) {
            console.text_line(messages[i]);
            missing = true;
            continue;
        }
        if (i == 1) {
            p.inputFileName = trim_trailing_blanks(arg(i));
        } else if (i == 2) {
            p.outputRoot = trim_trailing_blanks(arg(i));
        } else {
            const std::size_t width = i == 5 ? 2 : 4;
            const auto value = read_number_field(arg(i), width);
            if (!value) {
                console.error("the " + std::string(kOrdinals[i]) + " parameter \"" + std::string(arg(i)) +
                              "\" is not a whole number (its first " + std::to_string(width) +
                              " characters are read)");
                status = kExitUsage;
                return std::nullopt;
            }
            *numbers[i] = *value;
        }
    }
    if (missing) {
        status = (help || args.empty()) ? kExitOk : kExitUsage;
        return std::nullopt;
    }
    return p;
}

// Everything the export steps share; sized once, when the cell file is read.
class GridExport {
public:
    GridExport(const Parameters& params, CellFile cells, const GlobeMask& globe, Console& console)
        : params_(params), cells_(std::move(cells)), console_(console),
          variablePath_(params.inPath + params.inputFileName) {
        const std::size_t cols = static_cast<std::size_t>(cells_.window.cols());
        const std::size_t rows = static_cast<std::size_t>(cells_.window.rows());
        background_.resize(cols * rows);
        for (std::size_t i = 0; i < background_.size(); ++i)
            background_[i] = globe.land[i] ? -255.0f : -9999.0f;
        grid_.resize(background_.size());
        block_.resize(static_cast<std::size_t>(cells_.info.cellCount) + 3);
        header_ = grid_header_for(cells_.info.cellSize);
    }

    // One grid: the file of this year, month and layer, complete or not at all.
    void export_step(std::int32_t year, std::int32_t month, std::int32_t layer) {
        const std::string name = grid_file_name(params_.outputRoot, year, month, layer);
        GridFileWriter& file = file_;
        if (!file.create(path_to_open(name))) {
            console_.line(FreeFormatLine()
                              .text("An output file cannot be created.  Stopping while attempting to create:")
                              .text(name));
            console_.error(name + ": " + file.error());
            file.abandon();
            throw StopRun{kExitFailure};
        }
        if (header_) {
            for (std::string_view h : *header_) {
                file.write(h);
                file.write("\r\n");
            }
        }
        std::memcpy(grid_.data(), background_.data(), grid_.size() * sizeof(float));
        read_block(year, month, layer, file);

        file.write_rows(grid_.data(), static_cast<std::size_t>(cells_.window.rows()),
                        static_cast<std::size_t>(cells_.window.cols()));
        if (!file.commit()) {
            console_.error(name + ": " + file.error() + " (is the disk full?)");
            throw StopRun{kExitFailure};
        }
    }

private:
    // Reads the block of (year, month, layer), checks its three leading
    // records and lays its values onto the grid.
    void read_block(std::int32_t year, std::int32_t month, std::int32_t layer, GridFileWriter& file) {
        const std::int32_t n = cells_.info.cellCount;
        auto variable = VariableFile::open(path_to_open(variablePath_));
        if (!variable) {
            console_.text_line("The file to be read from cannot be opened. ");
            console_.line(FreeFormatLine().text("Stopping while attempting to read: ").text(variablePath_));
            file.abandon();
            throw StopRun{kExitFailure};
        }
        const BlockAddress address{year, month, layer, cells_.info.firstYear, params_.layers, n};
        const std::int64_t r0 = block_first_record(address);
        const std::string which = "the block of year " + std::to_string(year) + ", month " +
                                  std::to_string(month) + ", layer " + std::to_string(layer);
        if (r0 < 1) {
            console_.error(variablePath_ + ": " + which + " would start at record " + std::to_string(r0) +
                           ", before the start of the file (the first model year is " +
                           std::to_string(cells_.info.firstYear) + ")");
            file.abandon();
            throw StopRun{kExitFailure};
        }
        const std::size_t got = variable->read_records(r0, block_.size(), block_.data());
        auto past_end = [&] {
            console_.error(variablePath_ + ": record " + std::to_string(r0 + static_cast<std::int64_t>(got)) +
                           " lies past the end of the file, which holds " +
                           std::to_string(variable->record_count()) + " records; " + which + " takes records " +
                           std::to_string(r0) + " to " + std::to_string(r0 + n + 2));
            file.abandon();
            throw StopRun{kExitFailure};
        };
        if (got < 3) past_end();

        if (block_[0] != static_cast<float>(n)) {
            console_.text_line("There is disagreement between the number of rangeland cells and what is being read in. ");
            console_.line(FreeFormatLine()
                              .text("Something is out of sync. Expected  was")
                              .whole(n)
                              .text("and read-in was")
                              .real(block_[0]));
            file.abandon();
            throw StopRun{kExitFailure};
        }
        if (block_[1] != static_cast<float>(year)) {
            console_.text_line("There is disagreement between the current year and the year read-in. ");
            console_.line(FreeFormatLine()
                              .text("Something is out of sync.  Expected is")
                              .whole(year)
                              .text("and read-in was")
                              .real(block_[1]));
        }
        if (block_[2] != static_cast<float>(month)) {
            console_.text_line("There is disagreement between the current month and the month read-in. ");
            console_.line(FreeFormatLine()
                              .text("Something is out of sync.  Expected is")
                              .whole(month)
                              .text("and read-in was")
                              .real(block_[2]));
        }
        if (got < block_.size()) past_end();

        const std::size_t cols = static_cast<std::size_t>(cells_.window.cols());
        for (std::size_t i = 0; i < cells_.cells.size(); ++i) {
            const RangeCell& c = cells_.cells[i];
            grid_[static_cast<std::size_t>(c.y - 1) * cols + static_cast<std::size_t>(c.x - 1)] = block_[3 + i];
        }
    }

    const Parameters& params_;
    CellFile cells_;
    Console& console_;
    std::string variablePath_;
    const GridHeader* header_ = nullptr;
    std::vector<float> background_;  // -9999 water, -255 land
    std::vector<float> grid_;
    std::vector<float> block_;
    GridFileWriter file_;  // its buffer serves every grid of the run
};

// Reads a model text file, or prints `missing_message` and stops.
std::string read_model_text(const std::string& stored_path, const char* missing_message, Console& console) {
    auto text = read_file_if_present(path_to_open(stored_path));
    if (!text) {
        console.text_line(missing_message);
        console.error(stored_path + ": cannot be opened");
        throw StopRun{kExitFailure};
    }
    return std::move(*text);
}

}  // namespace

int run_layer_exporter(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Console console(out, err);
    int status = kExitOk;
    const std::optional<Parameters> params = parse_parameters(args, console, status);
    if (!params) return status;
    const Parameters& p = *params;

    console.text_line(" ");
    console.line(FreeFormatLine()
                     .text("Exporting data from ")
                     .text(p.inPath + p.inputFileName)
                     .text(" to files named like ")
                     .text(p.outputRoot)
                     .text(" starting with year")
                     .whole(p.firstYear)
                     .text("and ending with year")
                     .whole(p.lastYear)
                     .text("and including")
                     .whole(p.layers)
                     .text(" layer(s)."));

    try {
        const std::string cellPath = p.inPath + "Rng_Data.vrd";
        CellFile cells = parse_cell_file(
            read_model_text(cellPath, "The Rng_Data.vrd file cannot be opened.", console), cellPath);
        const std::string globePath = p.inPath + "Globe.vrd";
        const GlobeMask globe = parse_globe_file(
            read_model_text(globePath, "The Globe.vrd file cannot be opened.", console), cells.window, globePath);

        GridExport grids(p, std::move(cells), globe, console);
        for (std::int32_t year = p.firstYear; year <= p.lastYear; ++year) {
            for (std::int32_t month = 1; month <= 12; ++month) {
                for (std::int32_t layer = 1; layer <= p.layers; ++layer) {
                    console.line(FreeFormatLine()
                                     .text("Exporting layer")
                                     .whole(layer)
                                     .text("of month")
                                     .whole(month)
                                     .text("of year")
                                     .whole(year));
                    grids.export_step(year, month, layer);
                }
            }
            if (year == INT32_MAX) break;
        }
    } catch (const StopRun& stop) {
        out.flush();
        return stop.status;
    } catch (const ModelFileError& e) {
        console.error(e.what());
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        console.error("not enough memory to hold the grid of " + p.inPath + "Rng_Data.vrd");
        return kExitFailure;
    }
    out.flush();
    return kExitOk;
}

}  // namespace veldra
