// Files held in memory behind the tools' file-access interface, for tests and
// fuzz targets: no disk is touched, any create, write, close or rename can be
// made to fail, and a capacity turns writes past it into a full disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "modelfiles/file_io.h"

namespace veldra::testing {

class MemoryFiles final : public files::FileAccess {
public:
    // Every file by its path, as the tools name it. Temporary files appear
    // here while they are written.
    std::map<std::string, std::string> files;

    // errno values that the next creates, writes, closes and renames raise; 0
    // lets them succeed.
    struct Faults {
        int create = 0;
        int write = 0;
        int close = 0;
        int rename = 0;
    } faults;

    // Bytes that all files together may hold: a write beyond fails with ENOSPC.
    std::size_t capacity = SIZE_MAX;

    // Creates (or replaces) a file.
    void put(const std::string& path, std::string content) { files[path] = std::move(content); }
    bool exists(const std::string& path) const { return files.count(path) != 0; }
    std::size_t bytes_held() const;

    std::unique_ptr<files::InputFile> open_input(const std::string& path) override;
    std::unique_ptr<files::OutputFile> create_temporary(const std::string& final_path) override;
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override { files.erase(path); }
    void create_folders(const std::string&) override {}  // folders are implied by the paths

private:
    std::uint64_t next_temporary_ = 0;
};

}  // namespace veldra::testing
