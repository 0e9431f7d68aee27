#include "tests/support/memory_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace veldra::testing {
namespace {

// A snapshot of the file as it was opened.
class MemoryInput final : public files::InputFile {
public:
    MemoryInput(std::string content, std::string path) : content_(std::move(content)), path_(std::move(path)) {}

    std::int64_t size() const override { return static_cast<std::int64_t>(content_.size()); }
    const std::string& path() const override { return path_; }

    std::size_t read_at(std::int64_t offset, void* dest, std::size_t count) override {
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= content_.size()) return 0;
        const std::size_t n = std::min(count, content_.size() - static_cast<std::size_t>(offset));
        std::memcpy(dest, content_.data() + offset, n);
        return n;
    }

private:
    std::string content_;
    std::string path_;
};

class MemoryOutput final : public files::OutputFile {
public:
    MemoryOutput(MemoryFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}

    const std::string& path() const override { return path_; }

    void write(const char* data, std::size_t count) override {
        int code = closed_ ? EBADF : owner_.faults.write;
        if (code == 0 && count > owner_.capacity - std::min(owner_.capacity, owner_.bytes_held())) code = ENOSPC;
        if (code != 0) throw files::FileWriteError(path_, "write failed: " + reason(code), code);
        owner_.files[path_].append(data, count);
    }

    void close() override {
        closed_ = true;
        if (const int code = owner_.faults.close) throw files::FileWriteError(path_, "close failed: " + reason(code), code);
    }

    static std::string reason(int code) {
        switch (code) {
            case ENOENT: return "No such file or directory";
            case ENOSPC: return "No space left on device";
            case EDQUOT: return "Disk quota exceeded";
            case EIO: return "Input/output error";
            default: return "error " + std::to_string(code);
        }
    }

private:
    MemoryFiles& owner_;
    std::string path_;
    bool closed_ = false;
};

}  // namespace

std::size_t MemoryFiles::bytes_held() const {
    std::size_t total = 0;
    for (const auto& [path, content] : files) total += content.size();
    return total;
}

std::unique_ptr<files::InputFile> MemoryFiles::open_input(const std::string& path) {
    const auto it = files.find(path);
    if (it == files.end()) throw files::FileOpenError(path + ": cannot be opened: No such file or directory");
    return std::make_unique<MemoryInput>(it->second, path);
}

std::unique_ptr<files::OutputFile> MemoryFiles::create_temporary(const std::string& final_path) {
    if (const int code = faults.create)
        throw files::FileWriteError(final_path, "cannot create a temporary file beside it: " + MemoryOutput::reason(code), code);
    std::string name;
    do name = final_path + "." + std::to_string(++next_temporary_) + ".part";
    while (exists(name));
    files[name];
    return std::make_unique<MemoryOutput>(*this, name);
}

void MemoryFiles::rename(const std::string& from, const std::string& to) {
    int code = faults.rename;
    if (code == 0 && !exists(from)) code = ENOENT;
    if (code != 0) throw files::FileWriteError(to, "cannot be put in place: " + MemoryOutput::reason(code), code);
    std::string content = std::move(files[from]);
    files.erase(from);
    files[to] = std::move(content);
}

}  // namespace veldra::testing
