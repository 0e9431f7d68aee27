#include "modelfiles/ascii_grid.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
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
// Grids of at least this many values are formatted on several threads.
constexpr std::size_t kParallelValues = std::size_t{1} << 20;
// Per value: the number item, then the text item " " with its separating blank.
constexpr std::size_t kPerValue = kMaxNumberItem + 2;

}  // namespace

const GridHeader* grid_header_for(float cellSize) {
    for (const HeaderBand& band : kBands)
        if (cellSize > band.low && cellSize < band.high) return &band.lines;
    return nullptr;
}

std::string grid_file_name(std::string_view root, std::int32_t year, std::int32_t month, std::int32_t layer) {
    // "_%4d_%02d_%d.asc", without the locale-dependent C formatting.
    auto number = [](std::int32_t v, std::size_t width, char pad) {
        char buf[16];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        std::string text(buf, r.ptr);
        if (text.size() < width) text.insert(0, width - text.size(), pad);
        return text;
    };
    std::string name(root);
    name += '_';
    name += number(year, 4, ' ');
    name += '_';
    name += number(month, 2, '0');
    name += '_';
    name += number(layer, 1, ' ');
    name += ".asc";
    return name;
}

std::size_t grid_row_capacity(std::size_t count) { return 1 + count * kPerValue + 2 + kPerValue; }

char* format_grid_row(char* out, const float* values, std::size_t count) {
    char* p = out;
    *p++ = ' ';
    // Grids are mostly runs of the same value (water, land without cells), so
    // the text of the previous value is kept and copied when it repeats. The
    // copy is always kPerValue bytes, which the capacity allows for; only the
    // item's own length counts.
    std::uint32_t cached_bits = 0;
    char cached[kPerValue + 8];
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
        std::memcpy(p, cached, kPerValue);
        p += cached_len;
    }
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

void append_grid_row(std::string& out, const float* values, std::size_t count) {
    const std::size_t start = out.size();
    out.resize(start + grid_row_capacity(count));
    char* end = format_grid_row(out.data() + start, values, count);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

GridFileWriter::GridFileWriter(FileAccess& files) : files_(files) {}
GridFileWriter::GridFileWriter() : GridFileWriter(system_files()) {}

GridFileWriter::~GridFileWriter() { abandon(); }

void GridFileWriter::create(const std::string& path) {
    abandon();
    path_ = path;
    used_ = 0;
    if (buffer_.size() < kWriteChunk) buffer_.resize(kWriteChunk);
    try {
        out_ = files_.create_temporary(path);
    } catch (const FileWriteError& e) {
        throw FileWriteError(path_, e.reason(), e.code());
    }
    register_temporary_file(out_->path());
}

void GridFileWriter::fail(const FileWriteError& e) {
    abandon();
    throw FileWriteError(path_, e.reason(), e.code());
}

void GridFileWriter::write_all(const char* data, std::size_t size) {
    if (!out_) throw FileWriteError(path_, "write failed: the grid is not open", EBADF);
    try {
        out_->write(data, size);
    } catch (const FileWriteError& e) {
        fail(e);
    }
}

void GridFileWriter::flush() {
    write_all(buffer_.data(), used_);
    used_ = 0;
}

void GridFileWriter::make_room(std::size_t bytes) {
    if (used_ + bytes > buffer_.size()) {
        if (used_ > 0) flush();
        if (bytes > buffer_.size()) buffer_.resize(bytes);
    }
}

void GridFileWriter::write(std::string_view bytes) {
    make_room(std::min(bytes.size(), kWriteChunk));
    if (bytes.size() > buffer_.size() - used_) return write_all(bytes.data(), bytes.size());
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

void GridFileWriter::write_row(const float* values, std::size_t count) {
    make_room(grid_row_capacity(count));
    char* end = format_grid_row(buffer_.data() + used_, values, count);
    used_ = static_cast<std::size_t>(end - buffer_.data());
}

void GridFileWriter::write_rows(const float* grid, std::size_t rows, std::size_t cols) {
    const unsigned threads = std::min(4u, std::thread::hardware_concurrency());
    if (threads < 2 || rows * cols < kParallelValues || rows < 2) {
        for (std::size_t r = 0; r < rows; ++r) write_row(grid + r * cols, cols);
        return;
    }
    flush();

    // Formatting costs several times what writing does, so the rows are
    // formatted in blocks by `threads` workers while this thread writes the
    // finished blocks in order. A worker takes the next block number and waits
    // until the slot it maps to has been written.
    const std::size_t row_room = grid_row_capacity(cols);
    const std::size_t rows_per_block = std::max<std::size_t>(1, kWriteChunk / row_room);
    const std::size_t blocks = (rows + rows_per_block - 1) / rows_per_block;
    const std::size_t slots = 2 * std::size_t{threads};
    if (slot_buffers_.size() < slots) slot_buffers_.resize(slots);
    for (std::size_t i = 0; i < slots; ++i)
        if (slot_buffers_[i].size() < rows_per_block * row_room) slot_buffers_[i].resize(rows_per_block * row_room);

    std::vector<std::size_t> slot_block(slots, SIZE_MAX);
    std::vector<std::size_t> slot_length(slots, 0);
    std::mutex mutex;
    std::condition_variable block_ready, slot_free;
    std::size_t written = 0;
    bool stop = false;
    std::atomic<std::size_t> next_block{0};

    auto worker = [&] {
        for (;;) {
            const std::size_t b = next_block.fetch_add(1);
            if (b >= blocks) return;
            const std::size_t slot = b % slots;
            {
                std::unique_lock lock(mutex);
                slot_free.wait(lock, [&] { return stop || written + slots > b; });
                if (stop) return;
            }
            char* const start = slot_buffers_[slot].data();
            char* p = start;
            const std::size_t last = std::min(rows, (b + 1) * rows_per_block);
            for (std::size_t r = b * rows_per_block; r < last; ++r) p = format_grid_row(p, grid + r * cols, cols);
            {
                std::lock_guard lock(mutex);
                slot_length[slot] = static_cast<std::size_t>(p - start);
                slot_block[slot] = b;
            }
            block_ready.notify_all();
        }
    };

    std::optional<FileWriteError> failure;
    {
        std::vector<std::jthread> pool;
        for (unsigned t = 0; t < threads; ++t) pool.emplace_back(worker);
        for (std::size_t b = 0; b < blocks && !failure; ++b) {
            const std::size_t slot = b % slots;
            std::size_t length = 0;
            {
                std::unique_lock lock(mutex);
                block_ready.wait(lock, [&] { return slot_block[slot] == b; });
                length = slot_length[slot];
            }
            try {
                out_->write(slot_buffers_[slot].data(), length);
            } catch (const FileWriteError& e) {
                failure = e;
            }
            {
                std::lock_guard lock(mutex);
                ++written;
                stop = failure.has_value();
            }
            slot_free.notify_all();
        }
    }
    if (failure) fail(*failure);
}

void GridFileWriter::commit() {
    flush();
    try {
        out_->close();
        files_.rename(out_->path(), path_);
    } catch (const FileWriteError& e) {
        fail(e);
    }
    out_.reset();
    clear_temporary_file();
}

void GridFileWriter::abandon() {
    if (!out_) return;
    try {
        out_->close();
    } catch (const FileWriteError&) {
        // The file is removed anyway.
    }
    files_.remove(out_->path());
    out_.reset();
    clear_temporary_file();
}

}  // namespace veldra
