#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/globe_file.h"
#include "modelfiles/list_reader.h"
#include "modelfiles/variable_file.h"
#include "support/memory_files.h"

namespace veldra {
namespace {

// Expects `fn` to raise ModelFileError with exactly `message`.
template <typename Fn>
void expect_error(Fn fn, const std::string& message) {
    try {
        fn();
        ADD_FAILURE() << "no error; expected: " << message;
    } catch (const files::ModelFileError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(HalfExtent, TruncatesInSinglePrecision) {
    EXPECT_EQ(files::half_extent(-180, 180, 0.5f), 360);
    EXPECT_EQ(files::half_extent(-90, 90, 0.5f), 180);
    // 0.1666667 is stored as 0.16666670: the halves fall just short of 1080 and 540.
    EXPECT_EQ(files::half_extent(-180, 180, *files::parse_real("0.1666667")), 1079);
    EXPECT_EQ(files::half_extent(-90, 90, *files::parse_real("0.1666667")), 539);
    EXPECT_EQ(files::half_extent(-180, 180, *files::parse_real("0.16666667")), 1080);
    EXPECT_EQ(files::half_extent(-90, 90, *files::parse_real("0.16666667")), 540);
    EXPECT_EQ(files::half_extent(10, -10, 1.0f), -10);
    EXPECT_EQ((files::GridWindow{-10, 5}).cols(), 0);
}

TEST(NumberParsing, WholeAndReal) {
    EXPECT_EQ(files::parse_whole("+12"), 12);
    EXPECT_EQ(files::parse_whole("-7"), -7);
    EXPECT_FALSE(files::parse_whole("1.5"));
    EXPECT_FALSE(files::parse_whole("12a"));
    EXPECT_FALSE(files::parse_whole("2147483648"));
    EXPECT_FALSE(files::parse_whole(""));
    EXPECT_EQ(files::parse_real("0.5"), 0.5f);
    EXPECT_EQ(files::parse_real(".5"), 0.5f);
    EXPECT_EQ(files::parse_real("5E-1"), 0.5f);
    EXPECT_EQ(files::parse_real("5d-1"), 0.5f);
    EXPECT_EQ(files::parse_real("+1"), 1.0f);
    EXPECT_EQ(files::parse_real("2."), 2.0f);
    EXPECT_FALSE(files::parse_real("inf"));
    EXPECT_FALSE(files::parse_real("0x1p3"));
    EXPECT_FALSE(files::parse_real("1e"));
    EXPECT_FALSE(files::parse_real("."));
}

TEST(CellFile, HeaderOnOneOrTwoLinesReadsTheSame) {
    const std::string cells = "1 3 1 1 2\r\n2 3 4 2 5 99 99\r\n";
    const files::CellFile one = files::parse_cell_file("2 4 2 -2 -1 2 1 1.0 2000 2001 trailing words\r\n" + cells, "Rng_Data.vrd");
    const files::CellFile two = files::parse_cell_file("2 4 2 -2 -1\r\n2,1,1.0,2000 2001 extra\r\n" + cells, "Rng_Data.vrd");
    for (const files::CellFile* f : {&one, &two}) {
        EXPECT_EQ(f->info.cellCount, 2);
        EXPECT_EQ(f->info.firstYear, 2000);
        EXPECT_EQ(f->info.cellSize, 1.0f);
        EXPECT_EQ(f->window.cols(), 4);
        EXPECT_EQ(f->window.rows(), 2);
        ASSERT_EQ(f->cells.size(), 2u);
        EXPECT_EQ(f->cells[1].cellNumber, 2);
        EXPECT_EQ(f->cells[1].x, 4);
        EXPECT_EQ(f->cells[1].y, 2);
        EXPECT_EQ(f->cells[1].rangeType, 5);  // the extra values of its line are skipped
    }
}

TEST(CellFile, ACellMayContinueOnTheNextLine) {
    const files::CellFile f = files::parse_cell_file("2 4 2 -2 -1 2 1 1.0 2000 2001\n1 3 1\n1 2 9 9\n2 3 4 2 5\n", "c");
    EXPECT_EQ(f.cells[0].y, 1);
    EXPECT_EQ(f.cells[0].rangeType, 2);
    EXPECT_EQ(f.cells[1].x, 4);
}

TEST(CellFile, ErrorsNameTheFileAndLine) {
    const std::string header = "2 4 2 -2 -1 2 1 1.0 2000 2001\n";
    expect_error([&] { files::parse_cell_file(header + "1 3 1 1 2\n2 3 x 2 5\n", "run/Rng_Data.vrd"); },
                 "run/Rng_Data.vrd: line 3: expected a whole number for the column of a cell, found \"x\"");
    expect_error([&] { files::parse_cell_file(header + "1 3 1 1 2\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 2: the header gives 2 cells, but only 1 lines follow");
    expect_error([&] { files::parse_cell_file(header + "1 3 1 1 2\n2 3 4\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 3: expected the row of a cell, found the end of the file");
    expect_error([&] { files::parse_cell_file(header + "1 3 5 1 2\n2 3 4 2 5\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 2: cell 1 at column 5, row 1 lies outside the grid of 4 columns and 2 rows");
    expect_error([&] { files::parse_cell_file(header + "1 3 1 0 2\n2 3 4 2 5\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 2: cell 1 at column 1, row 0 lies outside the grid of 4 columns and 2 rows");
    expect_error([&] { files::parse_cell_file("2 4 2 -2 -1 2 1 1.5 2000\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 1: expected the last year (header value 10), found the end of the file");
    expect_error([&] { files::parse_cell_file("2 4 2 -2 -1 2 1.0 1 2000 2001\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 1: expected a whole number for the north edge (header value 7), found \"1.0\"");
    expect_error([&] { files::parse_cell_file("-1 4 2 -2 -1 2 1 1 2000 2001\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 1: the cell count -1 is negative");
    expect_error([&] { files::parse_cell_file("0 4 2 -2 -1 2 1 0 2000 2001\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 1: the cell size must be a positive number");
    // Grids that cannot be held, however large their counts: refused before anything is allocated.
    const std::string limits = " cells is too large to hold (at most 131072 columns or rows and 1073741824 cells)";
    expect_error([&] { files::parse_cell_file("0 4 2 -180 -90 180 90 0.001 2000 2001\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 1: a grid of 359998 x 179998" + limits);
    expect_error([&] { files::parse_cell_file("0 1 1 0 -2147483648 0 0 1 2000 2000\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 1: a grid of 0 x 2147483648" + limits);
    expect_error([&] { files::parse_cell_file("0 1 1 -2147483648 -2147483648 2147483647 2147483647 1e-30 1 1\n", "c"); },
                 "c: line 1: a grid of 4294967040 x 4294967040" + limits);
    // A count far beyond the file is a short file, not an allocation.
    expect_error([&] { files::parse_cell_file("2000000000 4 2 -2 -1 2 1 1 2000 2001\n1 1 1 1 1\n", "Rng_Data.vrd"); },
                 "Rng_Data.vrd: line 2: the header gives 2000000000 cells, but only 1 lines follow");
}

TEST(GlobeFile, OnlyUpperCaseTMarksLand) {
    // Half extents 2 x 1: four columns, two rows.
    const files::GlobeMask m = parse_globe_file("TTt\r\n  FtTT,T more\r\n", files::GridWindow{2, 1}, "Globe.vrd");
    ASSERT_EQ(m.cols, 4);
    ASSERT_EQ(m.rows, 2);
    EXPECT_TRUE(m.is_land(0, 0));
    EXPECT_TRUE(m.is_land(1, 0));
    EXPECT_FALSE(m.is_land(2, 0));  // lower-case t
    EXPECT_FALSE(m.is_land(3, 0));  // the line is short
    // Leading blanks are skipped; the value ends at the comma.
    EXPECT_FALSE(m.is_land(0, 1));
    EXPECT_FALSE(m.is_land(1, 1));
    EXPECT_TRUE(m.is_land(2, 1));
    EXPECT_TRUE(m.is_land(3, 1));
}

TEST(GlobeFile, CharactersBeyondTheGridAreIgnoredAndBlankLinesAreWater) {
    const files::GlobeMask m = parse_globe_file("FFFFT\n\nTT", files::GridWindow{2, 1}, "Globe.vrd");
    EXPECT_FALSE(m.is_land(3, 0));
    EXPECT_FALSE(m.is_land(0, 1));
    expect_error([] { parse_globe_file("TTTT\n", files::GridWindow{2, 1}, "out/Globe.vrd"); },
                 "out/Globe.vrd: line 2: expected 2 lines, one for each row of the grid, found the end of the file");
    // Counted before the mask of 32768 x 32768 positions would be allocated.
    expect_error([] { parse_globe_file("T\nT\nT\nT\n", files::GridWindow{16384, 16384}, "Globe.vrd"); },
                 "Globe.vrd: line 5: expected 32768 lines, one for each row of the grid, found the end of the file");
}

TEST(BlockAddressing, RecordsFollowYearMonthLayer) {
    const files::BlockAddress a{2001, 2, 2, 2000, 3, 5000};
    EXPECT_EQ(block_index(a), 40);
    EXPECT_EQ(block_first_record(a), 200121);
    EXPECT_EQ((block_first_record(a) - 1) * 4, 800480);
    EXPECT_EQ(files::block_first_record({2000, 1, 1, 2000, 1, 7}), 1);
    EXPECT_EQ(files::block_first_record({2000, 2, 1, 2000, 1, 7}), 11);
    EXPECT_LT(files::block_first_record({1999, 12, 1, 2000, 1, 7}), 1);
    // Positions beyond 32 bits: 1/12-degree runs of many years and layers.
    const files::BlockAddress big{2099, 12, 9, 2000, 9, 2000000};
    EXPECT_EQ(block_first_record(big), (std::int64_t{1199} * 9 + 8) * 2000003 + 1);
}

// The one checked reader: the first failing check of a block, in order, and
// the leading records compared as the file can hold them.
TEST(CheckedBlock, TheFirstFailingCheckInOrder) {
    // Two blocks of N = 2 (year 2000, months 1 and 2); the file is cut as each row says.
    auto records = [](std::initializer_list<float> v) {
        std::string bytes(v.size() * 4, '\0');
        std::memcpy(bytes.data(), std::data(v), bytes.size());
        return bytes;
    };
    const std::string good = records({2, 2000, 1, 5, 6, 2, 2000, 2, 7, 8});
    const struct {
        std::string bytes;
        files::BlockAddress address;
        files::BlockFault fault;
    } table[] = {
        {good, {2000, 2, 1, 2000, 1, 2}, files::BlockFault::none},
        {good, {1999, 12, 1, 2000, 1, 2}, files::BlockFault::before_start},
        {good.substr(0, 7 * 4), {2000, 2, 1, 2000, 1, 2}, files::BlockFault::past_end},  // leading records missing
        {good.substr(0, 9 * 4), {2000, 2, 1, 2000, 1, 2}, files::BlockFault::past_end},  // a value missing
        {records({3, 1999, 13, 5, 6}).substr(0, 16), {2000, 1, 1, 2000, 1, 2}, files::BlockFault::cell_count},
        {records({2, 1999, 13, 5, 6}), {2000, 1, 1, 2000, 1, 2}, files::BlockFault::year},
        {records({2, 2000, 13, 5, 6}), {2000, 1, 1, 2000, 1, 2}, files::BlockFault::month},
    };
    for (const auto& row : table) {
        testing::MemoryFiles files;
        files.put("V.vrd", row.bytes);
        std::vector<float> dest;
        const files::CheckedBlock c = read_checked_block(files::VariableFile::open("V.vrd", files), row.address, dest);
        EXPECT_EQ(c.fault, row.fault) << row.bytes.size() << " bytes, month " << row.address.month;
    }
    testing::MemoryFiles files;
    files.put("V.vrd", good.substr(0, 9 * 4));
    std::vector<float> dest;
    const files::BlockAddress a{2000, 2, 1, 2000, 1, 2};
    const files::CheckedBlock c = read_checked_block(files::VariableFile::open("V.vrd", files), a, dest);
    EXPECT_EQ(block_past_end_message("V.vrd", a, c),
              "V.vrd: record 10 lies past the end of the file, which holds 9 records; the block of year 2000, "
              "month 2, layer 1 takes records 6 to 10");

    // Above 2^24 cells the file holds the count in single precision: a block
    // written for 2^24 + 1 cells holds 2^24, and matches; one for 2^24 + 2 does not.
    constexpr std::int64_t n = (std::int64_t{1} << 24) + 1;
    EXPECT_TRUE(files::leading_record_matches(static_cast<float>(n), n));
    EXPECT_FALSE(files::leading_record_matches(static_cast<float>(n + 1), n));
}

// A file written as a whole either takes its name or leaves the old file and
// no temporary file behind, whichever step fails.
TEST(ReplacingFile, AFailedStepKeepsTheOldFileAndLeavesNoTemporaryFile) {
    struct Case {
        const char* step;
        int testing::MemoryFiles::Faults::*fault;
    };
    for (const Case c : {Case{"create", &testing::MemoryFiles::Faults::create},
                         Case{"write", &testing::MemoryFiles::Faults::write},
                         Case{"close", &testing::MemoryFiles::Faults::close},
                         Case{"rename", &testing::MemoryFiles::Faults::rename}}) {
        SCOPED_TRACE(c.step);
        testing::MemoryFiles files;
        files.put("out/a.txt", "old");
        files.faults.*c.fault = ENOSPC;
        try {
            replace_file("out/a.txt", "new", files);
            ADD_FAILURE() << "no error";
        } catch (const files::FileWriteError& e) {
            EXPECT_TRUE(e.disk_full());
        }
        EXPECT_EQ(files.files, (std::map<std::string, std::string>{{"out/a.txt", "old"}}));
    }
    testing::MemoryFiles files;
    files.put("out/a.txt", "old");
    {
        files::ReplacingFile abandoned("out/a.txt", files);
        abandoned.write("half");
    }
    replace_file("out/b.txt", "new", files);
    EXPECT_EQ(files.files, (std::map<std::string, std::string>{{"out/a.txt", "old"}, {"out/b.txt", "new"}}));
}

}  // namespace
}  // namespace veldra
