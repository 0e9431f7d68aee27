#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "modelfiles/cell_file.h"
#include "modelfiles/file_io.h"
#include "modelfiles/model_writer.h"
#include "modelfiles/variable_file.h"
#include "support/memory_files.h"

namespace veldra {
namespace {

namespace fs = std::filesystem;

// The cell and globe files as the model leaves them, and read back by the
// exporter's reader.
TEST(ModelWriter, CellAndGlobeFilesInTheModelsLayout) {
    const files::GridInfo info{.cellCount = 2, .xDimension = 4, .yDimension = 2, .lowerX = -2, .lowerY = -1, .upperX = 2,
                        .upperY = 1, .cellSize = 0.12f, .firstYear = 1999, .lastYear = 2000};
    const std::vector<files::RangeCell> cells{{1, 7, 4, 1, 3}, {2, -1, 1, 2, 12}};
    const std::string text = cell_file_text(info, cells);
    EXPECT_EQ(text, "2 4 2 -2 -1 2 1 0.12 1999 2000\r\n1 7 4 1 3\r\n2 -1 1 2 12\r\n");
    const files::CellFile read = files::parse_cell_file(text, "Rng_Data.vrd");
    EXPECT_EQ(read.info.cellSize, 0.12f);
    EXPECT_EQ(read.cells[1].rangeType, 12);
    EXPECT_EQ(files::globe_file_text(std::vector<std::string>{"TF", "FT"}), "TF\r\nFT\r\n");
}

// Blocks by year, month and layer, each its count, year and month, then the
// values, as 4-byte little-endian reals.
TEST(ModelWriter, VariableFileBlocksInFileOrder) {
    testing::MemoryFiles files;
    write_variable_file("Output/V.vrd", {2, 2000, 2001, 3}, [](int y, int m, int l, std::span<float> v) {
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>((y - 2000) * 10000 + m * 100 + l * 10 + int(i));
    }, files);
    const std::string& bytes = files.files.at("Output/V.vrd");
    ASSERT_EQ(bytes.size(), 2u * 12 * 3 * 5 * 4);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x00\x00\x40", 4));  // 2.0f
    const files::VariableFile file = files::VariableFile::open("Output/V.vrd", files);
    std::vector<float> block;
    read_block(file, {2001, 7, 2, 2000, 3, 2}, block);
    EXPECT_EQ(block, (std::vector<float>{2, 2001, 7, 10720, 10721}));
}

// A link planted at the path or at the fixed temporary name beside it is
// replaced, never written through.
TEST(ModelWriter, PlantedLinksAreNotFollowed) {
    const fs::path dir = fs::temp_directory_path() / ("veldra_model_writer_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "V.vrd").string();
    files::replace_file((dir / "victim").string(), "kept");
    files::replace_file((dir / "other").string(), "kept");
    fs::create_symlink(dir / "victim", path + ".part");
    fs::create_symlink(dir / "other", path);
    files::write_variable_file(path, {1, 2000, 2000, 1}, [](int, int, int, std::span<float> v) { v[0] = 1; });
    EXPECT_EQ(files::read_text_file((dir / "victim").string()), "kept");
    EXPECT_EQ(files::read_text_file((dir / "other").string()), "kept");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
    EXPECT_EQ(fs::file_size(path), 12u * 4 * 4);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace veldra
