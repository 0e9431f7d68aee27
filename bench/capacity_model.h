// The viewer's capacity as a model folder for the benchmarks: a grid of
// 3000 x 1500 positions (0.12-degree cells) whose land is a pattern of smooth
// blobs, 50,000 rangeland cells spread over the land, and one variable,
// "Values", of one layer for the years first_year .. last_year.
#pragma once

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace veldra::bench {

inline constexpr int kCapacityCols = 3000, kCapacityRows = 1500, kCapacityCells = 50000;

inline void write_capacity_model(const std::filesystem::path& dir, int first_year, int last_year) {
    constexpr int kCols = kCapacityCols, kRows = kCapacityRows, kCells = kCapacityCells;
    std::filesystem::create_directories(dir / "Parms");
    std::filesystem::create_directories(dir / "Output");
    std::string list(77, ' ');
    list[0] = '1';
    list.replace(4, 6, "Values");
    list[40] = '1';
    list.replace(44, 5, "Layer");
    list.replace(58, 5, "units");
    std::ofstream(dir / "Parms" / "Output_List.vrl") << list << "\r\n";

    std::vector<std::string> globe(kRows, std::string(kCols, 'F'));
    std::vector<std::pair<int, int>> land;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            if (std::sin(c * 0.004) * std::cos(r * 0.006) + 0.5 * std::sin((c + r) * 0.011) > 0.2) {
                globe[r][c] = 'T';
                land.emplace_back(c + 1, r + 1);
            }
    {
        std::ofstream g(dir / "Output" / "Globe.vrd");
        for (const auto& line : globe) g << line << "\r\n";
    }
    const std::size_t step = land.size() / kCells;
    {
        std::ofstream cells(dir / "Output" / "Rng_Data.vrd");
        cells << kCells << " " << kCols << " " << kRows << " -180 -90 180 90 0.12 " << first_year << " " << last_year
              << "\r\n";
        for (int i = 0; i < kCells; ++i) {
            const auto [x, y] = land[static_cast<std::size_t>(i) * step];
            cells << i + 1 << " 1 " << x << " " << y << " 1\r\n";
        }
    }
    std::ofstream values(dir / "Output" / "Values.vrd", std::ios::binary);
    std::vector<float> block(kCells + 3);
    for (int y = first_year; y <= last_year; ++y)
        for (int m = 1; m <= 12; ++m) {
            block[0] = kCells;
            block[1] = static_cast<float>(y);
            block[2] = static_cast<float>(m);
            for (int i = 0; i < kCells; ++i)
                block[i + 3] = static_cast<float>(std::sin(i * 0.001 + m) * 50 + 60 + (y - first_year) * 0.1);
            values.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 4));
        }
}

}  // namespace veldra::bench
