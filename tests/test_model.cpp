#include "test_model.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace veldra::testing {

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TestModel::TestModel(const std::string& name)
    : root_(std::filesystem::temp_directory_path() / ("veldra_model_" + name + "_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "Parms");
    std::filesystem::create_directories(output());
    std::filesystem::create_directories(maps());
}

TestModel::~TestModel() { std::filesystem::remove_all(root_); }

void TestModel::write_text(const std::string& relative, const std::string& content) const {
    std::ofstream(root_ / relative, std::ios::binary) << content;
}

void TestModel::write_records(const std::string& name, const std::vector<float>& records) const {
    std::ofstream f(output() / name, std::ios::binary);
    // Variable files are little-endian, as is every machine these tests run on.
    f.write(reinterpret_cast<const char*>(records.data()), static_cast<std::streamsize>(records.size() * 4));
}

void TestModel::set_record(const std::string& name, std::int64_t record, float value) const {
    std::fstream f(output() / name, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((record - 1) * 4);
    f.write(reinterpret_cast<const char*>(&value), 4);
}

void TestModel::write_variable(
    const std::string& name, std::int32_t n, std::int32_t first_year, std::int32_t last_year, std::int32_t layers,
    const std::function<float(std::int32_t, std::int32_t, std::int32_t, std::int32_t)>& value) const {
    std::vector<float> records;
    for (std::int32_t y = first_year; y <= last_year; ++y)
        for (std::int32_t m = 1; m <= 12; ++m)
            for (std::int32_t l = 1; l <= layers; ++l) {
                records.push_back(static_cast<float>(n));
                records.push_back(static_cast<float>(y));
                records.push_back(static_cast<float>(m));
                for (std::int32_t i = 0; i < n; ++i) records.push_back(value(y, m, l, i));
            }
    write_records(name, records);
}

std::vector<std::string> TestModel::grid_names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(maps())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace veldra::testing
