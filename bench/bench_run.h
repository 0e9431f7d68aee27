// What the benchmarks that time whole programs share: running a program to
// its end with its time and peak memory, and writing the synthetic
// 1/12-degree run (a smooth seasonal field with a little noise) over cells
// at the positions of the land of fine_model.h.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace veldra::bench {

struct Run {
    double seconds = 0;  // the whole program
    double peak_mb = 0;  // its peak resident memory
    int status = -1;
};

// Runs a program to its end, its standard output into `out_file` and its
// standard error into `err_file` (both thrown away by default).
inline Run run_program(const std::vector<std::string>& args, const std::string& out_file = "/dev/null",
                       const std::string& err_file = "") {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!err_file.empty()) posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

inline std::string whole_text(std::int64_t v) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// The cell file and the variable Fine of a 1/12-degree run of `years` years
// from 2000 over `cells` (positions on a grid of `cols` columns, in row
// order from the north-west), the zone of cell i being zone_of(i).
inline void write_fine_run(const std::filesystem::path& folder, const std::vector<std::uint32_t>& cells,
                           std::int64_t cols, int years, const std::function<std::int64_t(std::size_t)>& zone_of) {
    const auto n = static_cast<std::int64_t>(cells.size());
    std::string cell_text = whole_text(n) + " 4320 2160 -180 -90 180 90 0.0833333 2000 " + whole_text(1999 + years) + "\r\n";
    for (std::size_t i = 0; i < cells.size(); ++i)
        cell_text += whole_text(static_cast<std::int64_t>(i) + 1) + " " + whole_text(zone_of(i)) + " " +
                     whole_text(cells[i] % cols + 1) + " " + whole_text(cells[i] / cols + 1) + " 1\r\n";
    write_bytes(folder / "Output/Rng_Data.vrd", cell_text);

    std::ofstream values(folder / "Output/Fine.vrd", std::ios::binary);
    std::vector<float> block(static_cast<std::size_t>(n) + 3);
    std::uint64_t noise = 88172645463325252ull;
    for (int year = 2000; year < 2000 + years; ++year)
        for (int month = 1; month <= 12; ++month) {
            block[0] = static_cast<float>(n);
            block[1] = static_cast<float>(year);
            block[2] = static_cast<float>(month);
            for (std::int64_t i = 0; i < n; ++i) {
                const double lat = 90 - (cells[static_cast<std::size_t>(i)] / cols + 0.5) / 12;
                const double lon = -180 + (cells[static_cast<std::size_t>(i)] % cols + 0.5) / 12;
                noise ^= noise << 13, noise ^= noise >> 7, noise ^= noise << 17;
                const double season = std::cos((month - 1 + lon / 30) * 0.5235987755982988) * std::sin(lat * 0.0174533);
                block[static_cast<std::size_t>(i) + 3] =
                    static_cast<float>(std::max(0.0, 8 + 6 * season + 0.5 * static_cast<double>(noise % 1000) / 1000));
            }
            values.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 4));
        }
    if (!values) throw std::runtime_error("cannot write the variable file in " + folder.string());
}

}  // namespace veldra::bench
