#include "modelfiles/ascii_grid.h"
#include "faulty_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace veldra {
namespace {

std::string header_ncols(float cellSize) {
    const files::GridHeader* h = files::grid_header_for(cellSize);
    return h ? std::string((*h)[0]) : "none";
}

TEST(GridHeader, ChosenByBandWithStrictBounds) {
    EXPECT_EQ(header_ncols(1.0f), "ncols         360");
    EXPECT_EQ(header_ncols(0.5f), "ncols         720");
    EXPECT_EQ(header_ncols(0.25f), "ncols         1440");
    EXPECT_EQ(header_ncols(1.0f / 6), "ncols         2160");
    EXPECT_EQ(header_ncols(0.1f), "ncols         3600");
    EXPECT_EQ(header_ncols(1.0f / 12), "ncols         4320");
    // Each band edge itself lies outside its band.
    for (float edge : {0.99f, 1.01f, 0.49f, 0.51f, 0.24f, 0.26f, 0.16f, 0.173f, 0.09f, 0.11f, 0.08f, 0.086f})
        EXPECT_EQ(header_ncols(edge), "none") << edge;
    EXPECT_EQ(header_ncols(std::nextafter(0.99f, 1.0f)), "ncols         360");
    EXPECT_EQ(header_ncols(std::nextafter(0.086f, 0.0f)), "ncols         4320");
    for (float outside : {0.3f, 2.0f, 0.05f, 0.12f, 0.2f, 0.087f})
        EXPECT_EQ(header_ncols(outside), "none") << outside;

    const files::GridHeader& twelfth = *files::grid_header_for(1.0f / 12);
    EXPECT_EQ(twelfth[1], "nrows         2160");
    EXPECT_EQ(twelfth[2], "xllcorner     -180");
    EXPECT_EQ(twelfth[3], "yllcorner     -90");
    EXPECT_EQ(twelfth[4], "cellsize      0.083333333334");
    EXPECT_EQ(twelfth[5], "NODATA_value  -9999");
    EXPECT_EQ((*files::grid_header_for(1.0f / 6))[4], "cellsize      0.166666666667");
}

TEST(GridFileName, RootYearMonthLayer) {
    EXPECT_EQ(files::grid_file_name("C:\\maps\\precip", 2000, 1, 1), "C:\\maps\\precip_2000_01_1.asc");
    EXPECT_EQ(files::grid_file_name("C:\\maps\\precip", 2000, 3, 2), "C:\\maps\\precip_2000_03_2.asc");
    EXPECT_EQ(files::grid_file_name("p", 999, 12, 1), "p_ 999_12_1.asc");
    EXPECT_EQ(files::grid_file_name("p", 12345, 1, 12), "p_12345_01_12.asc");
}

TEST(GridRow, ValuesWithSeparatorsAndLineEnd) {
    const float values[] = {-9999.0f, -255.0f, 12.5f};
    std::string row;
    files::append_grid_row(row, values, 3);
    EXPECT_EQ(row, "  -9999.00   -255.000    12.5000  \r\n");
    const float repeated[] = {0.25f, 0.25f, -0.5f, 1234.5f, 0.05f, 1000000.0f, 0.0f};
    row.clear();
    files::append_grid_row(row, repeated, 7);
    EXPECT_EQ(row,
              "   0.250000    0.250000   -0.500000    1234.50    5.000000E-02    1.000000E+06    "
              "0.000000  \r\n");
    row.clear();
    files::append_grid_row(row, values, 0);
    EXPECT_EQ(row, " \r\n");
}

class GridFileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("veldra_writer_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string slurp(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path dir_;
};

TEST_F(GridFileWriterTest, CommitReplacesTheOldGridWhole) {
    const auto path = dir_ / "g_2000_01_1.asc";
    std::ofstream(path) << "old grid";
    files::GridFileWriter w;
    w.create(path.string());
    EXPECT_EQ(slurp(path), "old grid");  // untouched until the new grid is complete
    const std::string big(3 << 20, 'x');  // larger than one write chunk
    w.write("head\r\n");
    w.write(big);
    w.write("tail");
    w.commit();
    EXPECT_EQ(slurp(path), "head\r\n" + big + "tail");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(GridFileWriterTest, AGridNotCommittedLeavesTheOldGridAndNoTemporaryFile) {
    const auto path = dir_ / "g_2000_01_1.asc";
    std::ofstream(path) << "old grid";
    {
        files::GridFileWriter w;
        w.create(path.string());
        w.write("partial");
        w.abandon();
        w.create(path.string());
        w.write("partial");
    }  // dropped without commit
    EXPECT_EQ(slurp(path), "old grid");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(GridFileWriterTest, LinksPlantedAtTheOldTemporaryNameAreNeverFollowed) {
    const auto path = dir_ / "g.asc";
    std::ofstream(dir_ / "victim") << "keep";
    std::filesystem::create_symlink(dir_ / "victim", dir_ / "g.asc.part");
    std::filesystem::create_symlink(dir_ / "elsewhere", dir_ / "g.asc.part2");
    files::GridFileWriter w;
    w.create(path.string());
    w.write("new");
    w.commit();
    EXPECT_EQ(slurp(dir_ / "victim"), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "elsewhere"));
    EXPECT_EQ(slurp(path), "new");
}

// A file that writes each piece on its own, as files that cannot gather do.
class PieceByPiece final : public files::OutputFile {
public:
    void write(const char* data, std::size_t count) override { bytes.append(data, count); }
    void close() override {}
    const std::string& path() const override { return name_; }
    std::string bytes;

private:
    std::string name_ = "memory";
};

TEST_F(GridFileWriterTest, GatheredWritesKeepEveryPieceInOrder) {
    // More pieces than one system call takes, empty ones among them.
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) texts.push_back(std::string(static_cast<std::size_t>(i % 5), char('a' + i % 26)));
    texts.push_back(std::string(3 << 20, 'z'));
    std::vector<::iovec> pieces;
    std::string expected;
    for (std::string& t : texts) {
        pieces.push_back({t.data(), t.size()});
        expected += t;
    }
    const std::string path = (dir_ / "pieces.asc").string();
    std::unique_ptr<files::OutputFile> system = files::system_files().create_temporary(path);
    system->write_vectors(pieces.data(), pieces.size());
    system->close();
    EXPECT_TRUE(slurp(system->path()) == expected);
    PieceByPiece memory;
    memory.write_vectors(pieces.data(), pieces.size());
    EXPECT_TRUE(memory.bytes == expected);
}

TEST_F(GridFileWriterTest, AFailedBodyWriteKeepsTheOldGridOnEitherPath) {
    const auto path = dir_ / "g.asc";
    std::ofstream(path) << "old grid";
    files::CellFile cells;
    cells.window = files::GridWindow{2, 1};
    cells.cells = {files::RangeCell{1, 1, 1, 1, 1}, files::RangeCell{2, 1, 4, 2, 1}};
    const files::GridRuns runs(cells, "TTFF\nFTTF\n", "Globe.vrd");
    const float values[] = {1.5f, -0.25f};
    for (std::size_t two_threads_from : {std::size_t{0}, SIZE_MAX}) {
        testing::FaultyFiles failing(testing::Fault::write);
        files::GridFileWriter w(failing);
        w.set_two_threads_from(two_threads_from);
        w.create(path.string());
        w.write("head\r\n");
        EXPECT_THROW(w.write_body(runs, values, 2), files::FileWriteError);
        EXPECT_EQ(slurp(path), "old grid");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
    }
}

TEST_F(GridFileWriterTest, CreateFailsInAMissingFolder) {
    files::GridFileWriter w;
    const std::string path = (dir_ / "no_such_folder" / "g.asc").string();
    try {
        w.create(path);
        FAIL() << "created " << path;
    } catch (const files::FileWriteError& e) {
        EXPECT_EQ(std::string(e.what()),
                  path + ": cannot create a temporary file beside it: No such file or directory");
    }
}


TEST_F(GridFileWriterTest, ATemporaryNameNeverOpensWhatStandsThere) {
    const std::string path = (dir_ / "g.asc").string();
    std::ofstream(dir_ / "victim") << "keep";
    std::ofstream(path + ".taken.part") << "someone's";
    std::filesystem::create_symlink(dir_ / "victim", path + ".link1.part");
    std::filesystem::create_symlink(dir_ / "ghost", path + ".link2.part");
    const char* const names[] = {"link1", "link2", "taken", "fresh"};
    std::size_t next = 0;
    const std::unique_ptr<files::FileAccess> files = files::system_files_named_by([&] { return std::string(names[next++]); });
    files::GridFileWriter w(*files);
    w.create(path);
    w.write("new grid");
    w.commit();
    EXPECT_EQ(next, 4u);
    EXPECT_EQ(slurp(path), "new grid");
    EXPECT_EQ(slurp(dir_ / "victim"), "keep");
    EXPECT_EQ(slurp(path + ".taken.part"), "someone's");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "ghost"));
    EXPECT_FALSE(std::filesystem::exists(path + ".fresh.part"));
}

TEST_F(GridFileWriterTest, AFailedRenameNamesTheGridNotItsTemporary) {
    const auto path = dir_ / "g.asc";
    std::filesystem::create_directories(path / "inside");  // a folder that cannot be replaced by a file
    files::GridFileWriter w;
    w.create(path.string());
    w.write("grid");
    try {
        w.commit();
        FAIL() << "committed over a folder";
    } catch (const files::FileWriteError& e) {
        const std::string said = e.what();
        EXPECT_EQ(said.rfind(path.string() + ": cannot be put in place: ", 0), 0u) << said;
        EXPECT_EQ(said.find(".part"), std::string::npos) << said;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}


TEST_F(GridFileWriterTest, AWholeFileThatFailsNamesItselfNotItsTemporary) {
    const std::string path = (dir_ / "month.tif").string();
    for (const testing::Fault fault : {testing::Fault::write, testing::Fault::close, testing::Fault::rename}) {
        testing::FaultyFiles failing(fault);
        try {
            replace_file(path, "bytes", failing);
            FAIL() << "written";
        } catch (const files::FileWriteError& e) {
            const std::string said = e.what();
            EXPECT_EQ(said.rfind(path + ": ", 0), 0u) << said;
            EXPECT_EQ(said.find(".part"), std::string::npos) << said;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 0);
    }
}

}  // namespace
}  // namespace veldra
