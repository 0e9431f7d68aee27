#include "modelfiles/file_io.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

namespace veldra::files {
namespace {

std::string reason(int code) { return std::strerror(code); }

class SystemInput final : public InputFile {
public:
    SystemInput(int fd, std::int64_t size, std::string path) : fd_(fd), size_(size), path_(std::move(path)) {}
    ~SystemInput() override { ::close(fd_); }

    std::int64_t size() const override { return size_; }
    const std::string& path() const override { return path_; }

    std::size_t read_at(std::int64_t offset, void* dest, std::size_t count) override {
        auto* bytes = static_cast<char*>(dest);
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(fd_, bytes + got, count - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
            if (n < 0) {
                if (errno == EINTR) continue;
                throw ModelFileError(path_ + ": read failed at byte " + std::to_string(offset + static_cast<std::int64_t>(got)) +
                                     ": " + reason(errno));
            }
            if (n == 0) break;  // the end of the file, or the file shrank under us
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

private:
    int fd_;
    std::int64_t size_;
    std::string path_;
};

class SystemOutput final : public OutputFile {
public:
    SystemOutput(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~SystemOutput() override {
        if (fd_ >= 0) ::close(fd_);
    }

    const std::string& path() const override { return path_; }

    void write(const char* data, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(fd_, data + done, count - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw FileWriteError(path_, "write failed: " + reason(errno), errno);
            }
            done += static_cast<std::size_t>(n);
        }
    }

    // Gathers up to IOV_MAX pieces in each call. A call may write fewer bytes
    // than asked: the rest of a piece cut short is written on its own, and
    // the gathering goes on with the next piece.
    void write_vectors(const ::iovec* vectors, std::size_t count) override {
        std::size_t i = 0;
        while (i < count) {
            const int pieces = static_cast<int>(std::min<std::size_t>(count - i, IOV_MAX));
            const ssize_t n = ::writev(fd_, vectors + i, pieces);
            if (n < 0) {
                if (errno == EINTR) continue;
                throw FileWriteError(path_, "write failed: " + reason(errno), errno);
            }
            std::size_t left = static_cast<std::size_t>(n);
            const std::size_t end = i + static_cast<std::size_t>(pieces);
            bool progress = false;
            while (i < end && left >= vectors[i].iov_len) {
                progress = progress || vectors[i].iov_len > 0;
                left -= vectors[i].iov_len;
                ++i;
            }
            if (left > 0) {
                const char* piece = static_cast<const char*>(vectors[i].iov_base);
                write(piece + left, vectors[i].iov_len - left);
                ++i;
            } else if (!progress && i < end) {
                // Nothing written although bytes were due: never loop on it.
                throw FileWriteError(path_, "write failed: nothing was written", EIO);
            }
        }
    }

    void close() override {
        // Not retried on EINTR: the descriptor is gone either way, and a
        // second close could hit another thread's newly opened file.
        const int fd = std::exchange(fd_, -1);
        if (fd >= 0 && ::close(fd) != 0) throw FileWriteError(path_, "close failed: " + reason(errno), errno);
    }

private:
    int fd_;
    std::string path_;
};

class SystemFiles final : public FileAccess {
public:
    SystemFiles() = default;
    explicit SystemFiles(std::function<std::string()> next_name) : next_name_(std::move(next_name)) {}

    std::unique_ptr<InputFile> open_input(const std::string& path) override {
        // Looked at before opening, so that opening a device has no effect;
        // opened without blocking, so that a FIFO put there meanwhile cannot
        // hold us; looked at again through the descriptor.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) throw FileOpenError(path + ": cannot be opened: " + reason(errno));
        if (!S_ISREG(st.st_mode)) throw FileOpenError(path + ": cannot be opened: it is not a regular file");
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) throw FileOpenError(path + ": cannot be opened: " + reason(errno));
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw FileOpenError(path + ": cannot be opened: it is not a regular file");
        }
        return std::make_unique<SystemInput>(fd, static_cast<std::int64_t>(st.st_size), path);
    }

    std::unique_ptr<OutputFile> create_temporary(const std::string& final_path) override {
        static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        // One generator a thread: temporary files are made on the frames thread too.
        static thread_local std::mt19937_64 random{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
        int code = EEXIST;
        for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
            std::string name = final_path + ".";
            if (next_name_) {
                name += next_name_();
            } else {
                std::uint64_t r = random();
                for (int i = 0; i < 6; ++i, r /= 62) name += kLetters[r % 62];
            }
            name += ".part";
            // O_EXCL with O_CREAT never opens an existing file, nor follows a
            // link, even a dangling one.
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0) return std::make_unique<SystemOutput>(fd, name);
            code = errno;
        }
        throw FileWriteError(final_path, "cannot create a temporary file beside it: " + reason(code), code);
    }

    void rename(const std::string& from, const std::string& to) override {
        if (std::rename(from.c_str(), to.c_str()) != 0)
            throw FileWriteError(to, "cannot be put in place: " + reason(errno), errno);
    }

    void remove(const std::string& path) override { ::unlink(path.c_str()); }

private:
    std::function<std::string()> next_name_;
};

// The temporary file of the grid being written, for the interrupt handler:
// a fixed buffer, since a handler may not allocate.
char g_temporary[4096];
std::atomic<bool> g_temporary_set{false};

extern "C" void remove_temporary_and_stop(int sig) {
    if (g_temporary_set.load()) ::unlink(g_temporary);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

}  // namespace

bool FileWriteError::disk_full() const { return code_ == ENOSPC || code_ == EDQUOT; }

void FileAccess::create_folders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
}

FileAccess& system_files() {
    static SystemFiles files;
    return files;
}

std::unique_ptr<FileAccess> system_files_named_by(std::function<std::string()> next_name) {
    return std::make_unique<SystemFiles>(std::move(next_name));
}

ReplacingFile::ReplacingFile(std::string path, FileAccess& files)
    : path_(std::move(path)), files_(files), out_(files.create_temporary(path_)), temporary_(out_->path()) {}

ReplacingFile::~ReplacingFile() { abandon(); }

void ReplacingFile::release_output() {
    if (!out_) return;
    const std::unique_ptr<OutputFile> out = std::move(out_);
    out->close();
}

void ReplacingFile::write(std::string_view bytes) {
    try {
        out_->write(bytes.data(), bytes.size());
    } catch (const FileWriteError& e) {
        // The user knows the file by its own name, not by its temporary one.
        throw FileWriteError(path_, e.reason(), e.code());
    }
}

void ReplacingFile::commit() {
    if (done_) return;
    try {
        release_output();
        files_.rename(temporary_, path_);
    } catch (const FileWriteError& e) {
        abandon();
        throw FileWriteError(path_, e.reason(), e.code());
    } catch (...) {
        abandon();
        throw;
    }
    done_ = true;
}

void ReplacingFile::abandon() noexcept {
    if (done_) return;
    done_ = true;
    if (out_) {
        try {
            out_->close();
        } catch (const FileWriteError&) {
            // The file is removed anyway.
        }
        out_.reset();
    }
    files_.remove(temporary_);
}

void replace_file(const std::string& path, std::string_view bytes, FileAccess& files) {
    ReplacingFile file(path, files);
    file.write(bytes);
    file.commit();
}

std::string read_text_file(const std::string& path, FileAccess& files, std::int64_t max_bytes) {
    const std::unique_ptr<InputFile> in = files.open_input(path);
    const std::int64_t size = in->size();
    if (size > max_bytes)
        throw ModelFileError(path + ": the file holds " + std::to_string(size) + " bytes, more than the " +
                             std::to_string(max_bytes) + " such a file can hold");
    std::string text(static_cast<std::size_t>(size), '\0');
    text.resize(in->read_at(0, text.data(), text.size()));
    return text;
}

TextBuffer read_text_buffer(const std::string& path, FileAccess& files, std::int64_t max_bytes) {
    const std::unique_ptr<InputFile> in = files.open_input(path);
    const std::int64_t size = in->size();
    if (size > max_bytes)
        throw ModelFileError(path + ": the file holds " + std::to_string(size) + " bytes, more than the " +
                             std::to_string(max_bytes) + " such a file can hold");
    const std::size_t room = static_cast<std::size_t>(std::max<std::int64_t>(size, 0));
    auto data = std::make_unique_for_overwrite<char[]>(room);
    const std::size_t got = in->read_at(0, data.get(), room);
    return TextBuffer(std::move(data), got);
}

std::string read_first_line(const std::string& path, std::size_t max_bytes, FileAccess& files) {
    const std::unique_ptr<InputFile> in = files.open_input(path);
    std::string text(std::min<std::size_t>(max_bytes, static_cast<std::size_t>(std::max<std::int64_t>(in->size(), 0))), '\0');
    text.resize(in->read_at(0, text.data(), text.size()));
    text.resize(std::min(text.find('\n'), text.size()));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return text;
}

void register_temporary_file(const std::string& path) {
    g_temporary_set.store(false);
    if (path.size() >= sizeof g_temporary) return;
    std::memcpy(g_temporary, path.c_str(), path.size() + 1);
    g_temporary_set.store(true);
}

void clear_temporary_file() { g_temporary_set.store(false); }

void install_interrupt_cleanup() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, remove_temporary_and_stop);
    // A file-size limit then makes a write fail with EFBIG, reported like a
    // full disk, instead of killing the run and its unwritten console lines.
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace veldra::files
