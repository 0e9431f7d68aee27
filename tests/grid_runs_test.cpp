// The grid body written as runs holds the very bytes of laying the values
// onto a grid of -9999 (water) and -255 (land) and formatting every position;
// cell lines read by the quick path give what reading value by value gives.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "modelfiles/ascii_grid.h"
#include "modelfiles/globe_file.h"
#include "modelfiles/grid_runs.h"
#include "modelfiles/list_reader.h"

namespace veldra {
namespace {

// A globe line as a model folder might hold it: leading blanks, T, F and t in
// any mix, too short or too long, cut by a blank or comma with more behind.
std::string globe_line(std::mt19937& rng, std::int64_t cols) {
    auto pick = [&](const std::string& from) { return from[rng() % from.size()]; };
    std::string line;
    while (rng() % 4 == 0) line += pick(" \t\r");
    const std::int64_t length = static_cast<std::int64_t>(rng() % static_cast<unsigned>(cols + 4));
    for (std::int64_t c = 0; c < length; ++c) line += pick(rng() % 3 ? "TTTF" : "TFt");
    if (rng() % 4 == 0) line += std::string(1, pick(" ,\t\r")) + "TTTT";
    return line + (rng() % 2 ? "\r\n" : "\n");
}

float random_value(std::mt19937& rng) {
    static const float kSpecial[] = {-9999.0f, -255.0f, 0.0f, -0.0f, 12.5f, 0.1f, 999999.5f, 1e6f, 5e-2f,
                                     NAN,      INFINITY};
    if (rng() % 3 == 0) return kSpecial[rng() % std::size(kSpecial)];
    const float magnitude = std::pow(10.0f, static_cast<float>(rng() % 1200) / 100.0f - 4.0f);
    return rng() % 5 == 0 ? -magnitude : magnitude;
}

struct RandomModel {
    files::CellFile cells;
    std::string globe;
    std::vector<float> values;
};

RandomModel random_model(std::mt19937& rng) {
    RandomModel m;
    m.cells.window = files::GridWindow{static_cast<std::int32_t>(rng() % 13), static_cast<std::int32_t>(rng() % 5)};
    const std::int64_t cols = m.cells.window.cols(), rows = m.cells.window.rows();
    for (std::int64_t r = 0, lines = rows + rng() % 2; r < lines; ++r) m.globe += globe_line(rng, cols);
    if (rng() % 2 && !m.globe.empty()) {  // the last line without its line end
        m.globe.pop_back();
        if (m.globe.empty() || m.globe.back() == '\n') m.globe += 'F';
    }

    const std::int64_t positions = cols * rows;
    if (positions > 0) {
        const std::int64_t count = static_cast<std::int64_t>(rng() % static_cast<unsigned>(2 * positions + 1));
        // Scattered; in row order, as most cell files are; or in row order
        // with every cell twice.
        const unsigned order = rng() % 3;
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t p = order == 0 ? static_cast<std::int64_t>(rng() % positions)
                                              : (order == 1 ? i : i / 2) % positions;
            m.cells.cells.push_back(files::RangeCell{static_cast<std::int32_t>(i + 1), 1,
                                              static_cast<std::int32_t>(p % cols + 1),
                                              static_cast<std::int32_t>(p / cols + 1), 1});
        }
    }
    const std::size_t repeat = 1 + rng() % 3;  // equal neighbours are copied, not formatted again
    for (std::size_t i = 0; i < m.cells.cells.size(); ++i)
        m.values.push_back(i % repeat && !m.values.empty() ? m.values.back() : random_value(rng));
    return m;
}

// The grid as the exporter laid it out before it wrote runs.
std::string expected_body(const RandomModel& m) {
    const files::GlobeMask mask = parse_globe_file(m.globe, m.cells.window, "Globe.vrd");
    const std::size_t cols = static_cast<std::size_t>(mask.cols);
    std::vector<float> grid(mask.land.size());
    for (std::size_t i = 0; i < grid.size(); ++i) grid[i] = mask.land[i] ? -255.0f : -9999.0f;
    for (std::size_t i = 0; i < m.cells.cells.size(); ++i)
        grid[static_cast<std::size_t>(m.cells.cells[i].y - 1) * cols + static_cast<std::size_t>(m.cells.cells[i].x - 1)] =
            m.values[i];
    std::string body;
    for (std::int32_t r = 0; r < mask.rows; ++r) files::append_grid_row(body, grid.data() + r * cols, cols);
    return body;
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(GridRuns, WriteTheSameBytesAsEveryPositionFormatted) {
    const auto dir = std::filesystem::temp_directory_path() / ("veldra_runs_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "g.asc").string();
    std::mt19937 rng(20240611);
    files::GridFileWriter writer;  // kept from grid to grid, as in a run
    for (int model = 0; model < 600; ++model) {
        const RandomModel m = random_model(rng);
        // Tiny batches put batch edges inside rows and runs of cells.
        const files::BatchLimits limits = rng() % 4 ? files::BatchLimits{1 + rng() % 4, 1 + rng() % 6} : files::BatchLimits{};
        writer.set_two_threads_from(rng() % 2 ? 0 : SIZE_MAX);
        const files::GridRuns runs(m.cells, m.globe, "Globe.vrd", limits);
        writer.create(path);
        writer.write("head\r\n");
        writer.write_body(runs, m.values.data(), m.values.size());
        writer.commit();
        ASSERT_EQ(slurp(path), "head\r\n" + expected_body(m)) << "model " << model << ", globe:\n" << m.globe;
    }
    std::filesystem::remove_all(dir);
}

TEST(GridRuns, RefuseAShortGlobeFileAndTooFewValues) {
    files::CellFile cells;
    cells.window = files::GridWindow{2, 2};
    cells.cells = {files::RangeCell{1, 1, 4, 4, 1}};
    try {
        files::GridRuns(cells, "TTTT\nTTTT\nTTTT\n", "m/Globe.vrd");
        ADD_FAILURE() << "a short globe file was read";
    } catch (const files::ModelFileError& e) {
        EXPECT_STREQ(e.what(), "m/Globe.vrd: line 4: expected 4 lines, one for each row of the grid, found the end of the file");
    }
    const files::GridRuns runs(cells, "T\nT\nT\nT\n", "Globe.vrd");
    files::GridFileWriter writer;
    writer.create((std::filesystem::temp_directory_path() / "veldra_runs_values.asc").string());
    EXPECT_THROW(writer.write_body(runs, nullptr, 0), files::ModelFileError);
}

// A cell line as a model or a hand might write it: numbers of any length,
// signs, leading zeros, other separators, values spread over two lines, too
// few or too many values, now and then one that is not a whole number.
std::string cell_line(std::mt19937& rng) {
    static const char* const kOdd[] = {"+3", "-0", "007", "2147483647", "2147483648", "-2147483648",
                                       "12345678901", "1.5", "x", "+", "4-"};
    std::string line;
    const int values = 4 + static_cast<int>(rng() % 3);
    for (int v = 0; v < values; ++v) {
        line += v == 0 ? "" : std::string(1, " ,\t"[rng() % 3]) + (rng() % 8 ? "" : " ");
        line += rng() % 12 ? std::to_string(1 + rng() % 4) : kOdd[rng() % std::size(kOdd)];
        if (rng() % 25 == 0) line += "\n";
    }
    return line + (rng() % 2 ? "\r\n" : "\n");
}

// The `count` cells of a cell file read value by value, one read_whole each.
std::string read_value_by_value(const std::string& text, std::size_t count) {
    static const char* const kNames[] = {"the cell number of a cell", "the zone of a cell", "the column of a cell",
                                         "the row of a cell", "the range type of a cell"};
    try {
        files::ListReader in(text, "c");
        for (int v = 0; v < 10; ++v) v == 7 ? (void)in.read_real("v") : (void)in.read_whole("v");
        in.skip_rest_of_line();
        std::string cells;
        for (std::size_t i = 0; i < count; ++i) {
            for (const char* name : kNames) cells += std::to_string(in.read_whole(name)) + " ";
            in.skip_rest_of_line();
        }
        return cells;
    } catch (const files::ModelFileError& e) {
        return std::string("error at") + std::strchr(e.what(), ' ');
    }
}

TEST(CellLines, ReadAsTheyWereReadValueByValue) {
    std::mt19937 rng(7);
    int compared = 0;
    for (int file = 0; file < 2000; ++file) {
        std::string lines;
        for (int i = 0, n = static_cast<int>(rng() % 4); i < n; ++i) lines += cell_line(rng);
        const std::size_t count = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
        const std::string text = std::to_string(count) + " 4 4 -9 -9 9 9 1.0 2000 2000\n" + lines;
        std::string fast;
        try {
            for (const files::RangeCell& c : files::parse_cell_file(text, "c").cells)
                for (std::int32_t v : {c.cellNumber, c.zone, c.x, c.y, c.rangeType}) fast += std::to_string(v) + " ";
        } catch (const files::ModelFileError& e) {
            fast = std::string("error at") + std::strchr(e.what(), ' ');
        }
        const std::string expected = read_value_by_value(text, count);
        // Cells outside the grid are reported by parse_cell_file only.
        if (fast.find("outside the grid") != std::string::npos) continue;
        ASSERT_EQ(fast, expected) << text;
        ++compared;
    }
    EXPECT_GT(compared, 1500);
}

}  // namespace
}  // namespace veldra
