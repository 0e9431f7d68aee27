// The models of veldra_serve's load test, written into a folder:
//   half/  the sample's 49,216 half-degree cells over the 100 years 1901-2000
//          (1,200 months), one variable "Precip" (the series benchmark)
//   fine/  200,000 cells of 1/12 degree over one year, one variable "Precip"
// Usage: make_serve_models SAMPLE_MODEL FOLDER
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "bench/fine_model.h"

using namespace veldra;
using namespace veldra::bench;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_serve_models SAMPLE_MODEL FOLDER\n");
        return 2;
    }
    const std::string sample_dir = argv[1];
    const std::filesystem::path out = argv[2];
    const Model sample = load_model(sample_dir);

    // half/: the sample's cells and land, 100 years.
    {
        const std::filesystem::path dir = out / "half";
        veldra::files::create_model_folders(dir.string());
        veldra::files::replace_file((dir / "Parms" / "Output_List.vrl").string(),
                     veldra::files::output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n");
        veldra::files::GridInfo info = sample.cells.info;
        info.firstYear = 1901;
        info.lastYear = 2000;
        veldra::files::replace_file((dir / "Output" / "Rng_Data.vrd").string(), cell_file_text(info, sample.cells.cells));
        std::filesystem::copy_file(sample_dir + "/Output/Globe.vrd", dir / "Output" / "Globe.vrd",
                                   std::filesystem::copy_options::overwrite_existing);
        const auto n = static_cast<std::int32_t>(sample.cells.cells.size());
        veldra::files::write_variable_file(veldra::files::variable_path(dir.string(), "Precip"), {n, 1901, 2000, 1},
                            [&](int y, int m, int, std::span<float> values) {
                                for (std::int32_t i = 0; i < n; ++i)
                                    values[static_cast<std::size_t>(i)] = static_cast<float>(
                                        10 + 8 * std::sin(i * 0.01 + m * 0.5) + 0.01 * (y - 1901));
                            });
    }
    // fine/: 200,000 cells of 1/12 degree, one year.
    {
        const std::filesystem::path dir = out / "fine";
        veldra::files::create_model_folders(dir.string());
        veldra::files::replace_file((dir / "Parms" / "Output_List.vrl").string(),
                     veldra::files::output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n");
        const std::vector<std::uint8_t> land = fine_land(read_half_degree_land(sample_dir + "/Output/Globe.vrd"));
        const std::vector<std::uint32_t> positions = rangeland_positions(land, 200000);
        std::vector<veldra::files::RangeCell> cells;
        for (std::size_t k = 0; k < positions.size(); ++k)
            cells.push_back({static_cast<std::int32_t>(k + 1), 1, static_cast<std::int32_t>(positions[k] % kCols) + 1,
                             static_cast<std::int32_t>(positions[k] / kCols) + 1, 1});
        const auto n = static_cast<std::int32_t>(cells.size());
        const veldra::files::GridInfo info{.cellCount = n, .xDimension = kCols, .yDimension = kRows, .lowerX = -180,
                            .lowerY = -90, .upperX = 180, .upperY = 90, .cellSize = 0.0833333f,
                            .firstYear = 2000, .lastYear = 2000};
        veldra::files::replace_file((dir / "Output" / "Rng_Data.vrd").string(), cell_file_text(info, cells));
        std::vector<std::string> globe(kRows, std::string(kCols, 'F'));
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c)
                if (land[static_cast<std::size_t>(r) * kCols + static_cast<std::size_t>(c)]) globe[r][c] = 'T';
        veldra::files::replace_file((dir / "Output" / "Globe.vrd").string(), veldra::files::globe_file_text(globe));
        veldra::files::write_variable_file(veldra::files::variable_path(dir.string(), "Precip"), {n, 2000, 2000, 1},
                            [&](int, int m, int, std::span<float> values) {
                                for (std::int32_t i = 0; i < n; ++i)
                                    values[static_cast<std::size_t>(i)] =
                                        static_cast<float>(10 + 8 * std::sin(i * 0.001 + m * 0.5));
                            });
        std::printf("fine: %d cells\n", n);
    }
    std::printf("make_serve_models: half/ and fine/ written to %s\n", out.string().c_str());
    return 0;
}
