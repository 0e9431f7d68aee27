#include "test_model.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace veldra::testing {

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

RunResult run_exporter(const std::vector<std::string>& args) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(::getpid());
    const std::string out_path = (dir / ("veldra_out_" + tag)).string();
    const std::string err_path = (dir / ("veldra_err_" + tag)).string();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<char*> argv;
    std::string exe = LAYER_EXPORTER_PATH;
    argv.push_back(exe.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + exe);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);

    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);
    return r;
}

TestModel::TestModel(const std::string& name)
    : root_(std::filesystem::temp_directory_path() / ("veldra_model_" + name + "_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(root_);
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
