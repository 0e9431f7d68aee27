#include "modelfiles/ascii_grid.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "modelfiles/free_format.h"

namespace veldra {
namespace {

struct HeaderBand {
    float low;
    float high;
    GridHeader lines;
};

// The bounds are single-precision constants and both comparisons are strict.
const HeaderBand kBands[] = {
    {0.99f, 1.01f,
     {"ncols         360", "nrows         180", "xllcorner     -180", "yllcorner     -90",
      "cellsize      1.0", "NODATA_value  -9999"}},
    {0.49f, 0.51f,
     {"ncols         720", "nrows         360", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.5", "NODATA_value  -9999"}},
    {0.24f, 0.26f,
     {"ncols         1440", "nrows         720", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.25", "NODATA_value  -9999"}},
    {0.16f, 0.173f,
     {"ncols         2160", "nrows         1080", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.166666666667", "NODATA_value  -9999"}},
    {0.09f, 0.11f,
     {"ncols         3600", "nrows         1800", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.1", "NODATA_value  -9999"}},
    {0.08f, 0.086f,
     {"ncols         4320", "nrows         2160", "xllcorner     -180", "yllcorner     -90",
      "cellsize      0.083333333334", "NODATA_value  -9999"}},
};

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;

}  // namespace

const GridHeader* grid_header_for(float cellSize) {
    for (const HeaderBand& band : kBands)
        if (cellSize > band.low && cellSize < band.high) return &band.lines;
    return nullptr;
}

std::string grid_file_name(std::string_view root, std::int32_t year, std::int32_t month, std::int32_t layer) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "_%4d_%02d_%d.asc", static_cast<int>(year), static_cast<int>(month),
                  static_cast<int>(layer));
    std::string name(root);
    name += buf;
    return name;
}

void append_grid_row(std::string& out, const float* values, std::size_t count) {
    // Per value: the number item, then the text item " " with its separating blank.
    constexpr std::size_t kPerValue = kMaxNumberItem + 2;
    const std::size_t start = out.size();
    out.resize(start + 1 + count * kPerValue + 2);
    char* p = out.data() + start;
    *p++ = ' ';

    // Grids are mostly runs of the same value (water, land without cells), so
    // the text of the previous value is kept and copied when it repeats.
    std::uint32_t cached_bits = 0;
    char cached[kPerValue];
    std::size_t cached_len = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(values[i]);
        if (cached_len == 0 || bits != cached_bits) {
            char* end = write_real_item(cached, values[i]);
            end[0] = ' ';
            end[1] = ' ';
            cached_len = static_cast<std::size_t>(end + 2 - cached);
            cached_bits = bits;
        }
        std::memcpy(p, cached, cached_len);
        p += cached_len;
    }
    *p++ = '\r';
    *p++ = '\n';
    out.resize(static_cast<std::size_t>(p - out.data()));
}

GridFileWriter::~GridFileWriter() {
    if (fd_ >= 0) abandon();
}

bool GridFileWriter::create(const std::string& path) {
    if (fd_ >= 0) abandon();
    path_ = path;
    temp_path_ = path + ".part";
    failed_ = false;
    error_.clear();
    buffer_.clear();
    buffer_.reserve(kWriteChunk + (kWriteChunk >> 2));
    fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    return true;
}

void GridFileWriter::fail(const char* what) {
    failed_ = true;
    error_ = std::string(what) + ": " + std::strerror(errno);
}

bool GridFileWriter::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("write failed");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return true;
}

bool GridFileWriter::write(std::string_view bytes) {
    if (failed_ || fd_ < 0) return false;
    if (buffer_.size() + bytes.size() > kWriteChunk && !buffer_.empty() && !flush()) return false;
    if (bytes.size() >= kWriteChunk) {
        buffer_.assign(bytes);
        return flush();
    }
    buffer_.append(bytes);
    return true;
}

bool GridFileWriter::commit() {
    if (fd_ < 0) return false;
    if (!failed_) flush();
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && !failed_) fail("close failed");
    if (!failed_ && std::rename(temp_path_.c_str(), path_.c_str()) != 0) fail("rename failed");
    if (failed_) {
        std::remove(temp_path_.c_str());
        std::remove(path_.c_str());
        return false;
    }
    return true;
}

void GridFileWriter::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    std::remove(temp_path_.c_str());
    std::remove(path_.c_str());
}

}  // namespace veldra
