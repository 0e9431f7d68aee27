#include "modelfiles/variable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include "modelfiles/file_io.h"

namespace veldra {

std::int64_t block_index(const BlockAddress& a) {
    return ((std::int64_t{a.year} - a.firstYear) * 12 + (std::int64_t{a.month} - 1)) * a.layers +
           (std::int64_t{a.layer} - 1);
}

std::int64_t block_first_record(const BlockAddress& a) {
    return block_index(a) * (a.cellCount + 3) + 1;
}

std::optional<VariableFile> VariableFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    return VariableFile(fd, static_cast<std::int64_t>(st.st_size) / 4, path);
}

VariableFile::VariableFile(int fd, std::int64_t records, std::string path)
    : fd_(fd), records_(records), path_(std::move(path)) {}

VariableFile::VariableFile(VariableFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), records_(other.records_), path_(std::move(other.path_)) {}

VariableFile& VariableFile::operator=(VariableFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        records_ = other.records_;
        path_ = std::move(other.path_);
    }
    return *this;
}

VariableFile::~VariableFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t VariableFile::read_records(std::int64_t first, std::size_t count, float* dest) const {
    if (first < 1 || first > records_) return 0;
    const std::int64_t available = records_ - (first - 1);
    if (static_cast<std::int64_t>(count) > available) count = static_cast<std::size_t>(available);

    auto* bytes = reinterpret_cast<char*>(dest);
    const std::size_t want = count * 4;
    std::size_t got = 0;
    off_t offset = static_cast<off_t>((first - 1) * 4);
    while (got < want) {
        const ssize_t n = ::pread(fd_, bytes + got, want - got, offset + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ModelFileError(path_ + ": record " + std::to_string(first + static_cast<std::int64_t>(got / 4)) +
                                 ": read failed: " + std::strerror(errno));
        }
        if (n == 0) break;  // the file shrank under us
        got += static_cast<std::size_t>(n);
    }
    const std::size_t records = got / 4;
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < records; ++i) {
            std::uint32_t v;
            std::memcpy(&v, dest + i, 4);
            v = __builtin_bswap32(v);
            std::memcpy(dest + i, &v, 4);
        }
    }
    return records;
}

}  // namespace veldra
