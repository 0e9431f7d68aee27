// Small model folders written by the tests, and runs of the built exporter.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace veldra::testing {

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the built layer_exporter with `args` and collects what it prints
// (run_exporter.cpp, linked only where the program is built).
RunResult run_exporter(const std::vector<std::string>& args);

std::string read_file(const std::filesystem::path& path);

// A model folder (with Parms/, Output/ and maps/ for grids) in a fresh
// temporary directory, removed at the end.
class TestModel {
public:
    explicit TestModel(const std::string& name);
    ~TestModel();

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path output() const { return root_ / "Output"; }  // the .vrd files
    std::filesystem::path maps() const { return root_ / "maps"; }      // grids go here

    void write_text(const std::string& relative, const std::string& content) const;

    // A variable file of blocks for years first..last, months 1..12 and
    // `layers` layers: count, year, month, then value(year, month, layer, i)
    // for cells i = 0..n-1.
    void write_variable(const std::string& name, std::int32_t n, std::int32_t first_year, std::int32_t last_year,
                        std::int32_t layers,
                        const std::function<float(std::int32_t, std::int32_t, std::int32_t, std::int32_t)>& value)
        const;
    void write_records(const std::string& name, const std::vector<float>& records) const;
    // Overwrites one record (1-based) of a variable file.
    void set_record(const std::string& name, std::int64_t record, float value) const;

    // Files in maps(), by name, sorted.
    std::vector<std::string> grid_names() const;

private:
    std::filesystem::path root_;
};

}  // namespace veldra::testing
