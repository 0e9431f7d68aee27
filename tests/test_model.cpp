#include "test_model.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <span>
#include <sstream>
#include <stdexcept>

#include "modelfiles/file_io.h"
#include "modelfiles/model_writer.h"

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
    files::create_model_folders(root_.string());
    std::filesystem::create_directories(maps());
}

TestModel::~TestModel() { std::filesystem::remove_all(root_); }

void TestModel::write_text(const std::string& relative, const std::string& content) const {
    files::replace_file((root_ / relative).string(), content);
}

void TestModel::write_records(const std::string& name, const std::vector<float>& records) const {
    std::string bytes;
    files::append_records(bytes, records);
    files::replace_file((output() / name).string(), bytes);
}

void TestModel::set_record(const std::string& name, std::int64_t record, float value) const {
    std::string bytes;
    files::append_records(bytes, {&value, 1});
    std::fstream f(output() / name, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((record - 1) * 4);
    f.write(bytes.data(), 4);
}

void TestModel::write_variable(
    const std::string& name, std::int32_t n, std::int32_t first_year, std::int32_t last_year, std::int32_t layers,
    const std::function<float(std::int32_t, std::int32_t, std::int32_t, std::int32_t)>& value) const {
    files::write_variable_file((output() / name).string(), {n, first_year, last_year, layers},
                        [&](std::int32_t y, std::int32_t m, std::int32_t l, std::span<float> values) {
                            for (std::int32_t i = 0; i < n; ++i) values[static_cast<std::size_t>(i)] = value(y, m, l, i);
                        });
}

std::vector<std::string> TestModel::grid_names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(maps())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace veldra::testing
