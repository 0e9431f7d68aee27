// File access for every file the tools touch, behind one narrow interface so
// that tests can make any open, read, write, close or rename fail, and the
// errors every reader and writer raises: their messages name the file and,
// where there is one, the line or record.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace veldra::files {

// The root of every error the tools raise: its message is the whole text a
// user sees.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A model file that cannot be read as expected.
class ModelFileError : public Error {
public:
    using Error::Error;
};

// An input that cannot be opened: missing, unreadable, or not a regular file.
class FileOpenError : public ModelFileError {
public:
    using ModelFileError::ModelFileError;
};

// A file that cannot be created, written, closed or put in place. `code` is
// the errno value behind it (ENOSPC and EDQUOT mean a full disk or quota).
class FileWriteError : public ModelFileError {
public:
    // The message is "<path>: <reason>", e.g. "a.asc: write failed: No space left on device".
    FileWriteError(const std::string& path, const std::string& reason, int code)
        : ModelFileError(path + ": " + reason), reason_(reason), code_(code) {}
    const std::string& reason() const { return reason_; }
    int code() const { return code_; }
    bool disk_full() const;

private:
    std::string reason_;
    int code_;
};

// A regular file open for reading.
class InputFile {
public:
    virtual ~InputFile() = default;
    virtual std::int64_t size() const = 0;
    // Reads up to `count` bytes from `offset` into `dest`; fewer only at the
    // end of the file. Raises ModelFileError when the read fails.
    virtual std::size_t read_at(std::int64_t offset, void* dest, std::size_t count) = 0;
    virtual const std::string& path() const = 0;
};

// A new file being written under a temporary name.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all `count` bytes or raises FileWriteError.
    virtual void write(const char* data, std::size_t count) = 0;
    // Writes the `count` pieces one after the other, all of their bytes, or
    // raises FileWriteError. Files that can gather pieces in one call do so;
    // by default each piece is a write of its own.
    virtual void write_vectors(const ::iovec* vectors, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            if (vectors[i].iov_len > 0) write(static_cast<const char*>(vectors[i].iov_base), vectors[i].iov_len);
    }
    // Closes the file; raises FileWriteError when the bytes may not all be kept.
    virtual void close() = 0;
    virtual const std::string& path() const = 0;
};

class FileAccess {
public:
    virtual ~FileAccess() = default;

    // Opens a regular file for reading without ever blocking: a FIFO, device
    // or folder is refused. Raises FileOpenError naming the file.
    virtual std::unique_ptr<InputFile> open_input(const std::string& path) = 0;

    // Creates a new, empty file of a unique name in the folder of
    // `final_path`, never an existing file or link. Raises FileWriteError.
    virtual std::unique_ptr<OutputFile> create_temporary(const std::string& final_path) = 0;

    // Moves `from` onto `to`, replacing it in one step. Raises FileWriteError.
    virtual void rename(const std::string& from, const std::string& to) = 0;

    // Removes a file; quietly does nothing when that fails.
    virtual void remove(const std::string& path) = 0;

    // Creates the folder `path` and the folders above it that are missing;
    // quietly does nothing when that fails (the files written there then
    // fail with their own messages).
    virtual void create_folders(const std::string& path);
};

// The machine's own files.
FileAccess& system_files();

// The machine's own files, the six characters of each temporary name (after
// the final name and ".", before ".part") taken from `next_name` instead of
// chance, so that a test can plant a file or a link where a name will fall.
std::unique_ptr<FileAccess> system_files_named_by(std::function<std::string()> next_name);

// A file written as a whole: its bytes go to a new file of a unique name
// beside `path`, which takes the place of `path` in one step on commit().
// Until then, and whenever a step fails, `path` keeps its old content (or
// stays absent) and the temporary file is removed. Writers that write by name
// (a library that opens the file itself) write to temporary_path() after
// release_output().
class ReplacingFile {
public:
    explicit ReplacingFile(std::string path, FileAccess& files = system_files());
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    OutputFile& out() { return *out_; }
    // Raises FileWriteError naming `path`, never the temporary file.
    void write(std::string_view bytes);
    // Closes the temporary file but keeps it, for a writer that opens it by name.
    void release_output();
    const std::string& temporary_path() const { return temporary_; }
    const std::string& path() const { return path_; }

    // Closes the temporary file and moves it onto `path`; raises FileWriteError
    // naming `path` (the temporary file removed, the old file kept).
    void commit();
    // Removes the temporary file; `path` is left as it was.
    void abandon() noexcept;

private:
    std::string path_;
    FileAccess& files_;
    std::unique_ptr<OutputFile> out_;
    std::string temporary_;
    bool done_ = false;
};

// Writes `bytes` as the whole content of `path` through a ReplacingFile.
void replace_file(const std::string& path, std::string_view bytes, FileAccess& files = system_files());

// Largest model text file read whole: far beyond the cell file of a
// 1/120-degree globe with every position a cell.
inline constexpr std::int64_t kMaxTextFileBytes = std::int64_t{1} << 36;

// The whole content of a regular file of at most `max_bytes` bytes. Raises
// FileOpenError when it cannot be opened, ModelFileError when it is larger or
// its read fails.
std::string read_text_file(const std::string& path, FileAccess& files = system_files(),
                           std::int64_t max_bytes = kMaxTextFileBytes);

// The whole content of a file as read_text_file reads it, in a buffer of the
// file's size that is not filled beforehand: large model files are read in
// one pass, without clearing or growing the buffer.
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(std::unique_ptr<char[]> data, std::size_t size) : data_(std::move(data)), size_(size) {}
    std::string_view view() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

TextBuffer read_text_buffer(const std::string& path, FileAccess& files = system_files(),
                            std::int64_t max_bytes = kMaxTextFileBytes);

// The first line of a regular file (without its line end), of which at most
// `max_bytes` are read. Raises as read_text_file.
std::string read_first_line(const std::string& path, std::size_t max_bytes, FileAccess& files = system_files());

// Names the temporary file being written, so that an interrupted run can
// remove it; install_interrupt_cleanup arms that for SIGINT, SIGTERM and SIGHUP.
void register_temporary_file(const std::string& path);
void clear_temporary_file();
void install_interrupt_cleanup();

}  // namespace veldra::files
