// The machine's files with one chosen operation failing, for tests of what a
// failed open, write, close or rename leaves behind.
#pragma once

#include <cerrno>
#include <memory>
#include <string>

#include "modelfiles/file_io.h"

namespace veldra::testing {

enum class Fault { none, create, write, close, rename };

class FaultyFiles final : public files::FileAccess {
public:
    explicit FaultyFiles(Fault fault, int code = ENOSPC) : fault_(fault), code_(code) {}

    std::unique_ptr<files::InputFile> open_input(const std::string& path) override {
        return files::system_files().open_input(path);
    }
    std::unique_ptr<files::OutputFile> create_temporary(const std::string& final_path) override {
        if (fault_ == Fault::create) throw files::FileWriteError(final_path, "cannot create a temporary file", code_);
        return std::make_unique<Output>(files::system_files().create_temporary(final_path), *this);
    }
    void rename(const std::string& from, const std::string& to) override {
        if (fault_ == Fault::rename) throw files::FileWriteError(to, "cannot be put in place", code_);
        files::system_files().rename(from, to);
    }
    void remove(const std::string& path) override { files::system_files().remove(path); }

private:
    class Output final : public files::OutputFile {
    public:
        Output(std::unique_ptr<OutputFile> real, FaultyFiles& owner) : real_(std::move(real)), owner_(owner) {}
        void write(const char* data, std::size_t count) override {
            if (owner_.fault_ == Fault::write) throw files::FileWriteError(path(), "write failed", owner_.code_);
            real_->write(data, count);
        }
        void write_vectors(const ::iovec* vectors, std::size_t count) override {
            if (owner_.fault_ == Fault::write) throw files::FileWriteError(path(), "write failed", owner_.code_);
            real_->write_vectors(vectors, count);
        }
        void close() override {
            real_->close();
            if (owner_.fault_ == Fault::close) throw files::FileWriteError(path(), "close failed", owner_.code_);
        }
        const std::string& path() const override { return real_->path(); }

    private:
        std::unique_ptr<OutputFile> real_;
        FaultyFiles& owner_;
    };

    Fault fault_;
    int code_;
};

}  // namespace veldra::testing
