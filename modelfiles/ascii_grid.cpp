#include "modelfiles/ascii_grid.h"

#include <sys/uio.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "modelfiles/free_format.h"

namespace veldra::files {
namespace {

constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
// Per value: the number item, then the text item " " with its separating blank.
constexpr std::size_t kPerValue = kMaxNumberItem + 2;
// Grids with this many cell positions are formatted on two threads: from a
// typical 1/12-degree run on, formatting ahead of the write hides most of it
// behind the kernel's copy (12 grids of 200,000 cells: 0.85 of a plain
// fwrite of the same bytes on two threads, 0.94 on one).
constexpr std::size_t kTwoThreadCells = 100'000;
// Batches formatted ahead of the one being written, and that one.
constexpr std::size_t kSlots = 4;

// One batch of a grid's body: the formatted cells and the pieces to write.
struct PieceSlot {
    std::vector<char> text;
    std::vector<::iovec> pieces;  // pieces[0] is kept for the bytes buffered before the body
};

// Formats `count` values, the cells `index` of `values`, each followed by
// two blanks; a value equal to the one before is copied, not formatted again.
char* format_cells(char* p, const float* values, const std::uint32_t* index, std::size_t count) {
    const char* previous = nullptr;
    std::size_t previous_length = 0;
    std::uint32_t previous_bits = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const float value = values[index[j]];
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
        if (previous && bits == previous_bits) {
            std::memcpy(p, previous, previous_length);
        } else {
            char* end = write_real_item(p, value);
            end[0] = ' ';
            end[1] = ' ';
            previous = p;
            previous_length = static_cast<std::size_t>(end + 2 - p);
            previous_bits = bits;
        }
        p += previous_length;
    }
    return p;
}

void add_piece(std::vector<::iovec>& pieces, const char* data, std::size_t size) {
    ::iovec& last = pieces.back();
    if (pieces.size() > 1 && static_cast<const char*>(last.iov_base) + last.iov_len == data) {
        last.iov_len += size;
        return;
    }
    pieces.push_back({const_cast<char*>(data), size});
}

// Makes the pieces of batch `b` in `slot`: runs of water and land point into
// the fillers, runs of cells into the slot's text, where they are formatted.
void format_batch(const GridRuns& runs, std::size_t b, const float* values, PieceSlot& slot) {
    static const char kLineStart[] = " ";
    slot.pieces.resize(1);
    if (b == 0 && runs.rows() > 0) add_piece(slot.pieces, kLineStart, 1);
    char* p = slot.text.data();
    const std::uint32_t* cell = runs.cell_order().data() + runs.batch_first_cell(b);
    const std::vector<GridRun>& all = runs.runs();
    const std::size_t width = runs.filler_width();
    for (std::size_t i = runs.batch_first_run(b), last = runs.batch_first_run(b + 1); i < last; ++i) {
        const GridRun& run = all[i];
        // The line end, and the blank that opens the next line unless this is the last.
        const std::size_t line_end = !run.ends_row ? 0 : i + 1 == all.size() ? 2 : 3;
        if (run.kind == RunKind::cells) {
            char* const start = p;
            p = format_cells(p, values, cell, run.length);
            cell += run.length;
            std::memcpy(p, "\r\n ", 3);
            p += line_end;
            add_piece(slot.pieces, start, static_cast<std::size_t>(p - start));
        } else {
            const std::string_view filler = runs.filler(run.kind);
            const std::size_t bytes = std::size_t{run.length} * width;
            const char* start = run.ends_row ? filler.data() + filler.size() - 3 - bytes : filler.data();
            add_piece(slot.pieces, start, bytes + line_end);
        }
    }
}

// Sizes a slot for any batch within `limits`.
void prepare_slot(PieceSlot& slot, const BatchLimits& limits) {
    const std::size_t room = limits.cells * kPerValue + limits.runs * 3 + 2 * kPerValue;
    if (slot.text.size() < room) slot.text.resize(room);
    slot.pieces.reserve(limits.runs + 2);
}

// A second thread that formats batches ahead of the one being written. The
// writing thread formats too whenever the batch it needs next is not ready
// and a slot is free, so both threads format and one of them writes.
class BatchHelper {
public:
    BatchHelper() : thread_([this] { run(); }) {}
    ~BatchHelper() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    BatchHelper(const BatchHelper&) = delete;
    BatchHelper& operator=(const BatchHelper&) = delete;

    // Calls write(b, slot) for every batch b of `runs`, in order, on this
    // thread; returns once the helper has left the grid, also when write raises.
    template <typename Write>
    void write_all(const GridRuns& runs, const float* values, std::vector<PieceSlot>& slots, Write write) {
        {
            std::lock_guard lock(mutex_);
            runs_ = &runs;
            values_ = values;
            slots_ = &slots;
            batches_ = runs.batch_count();
            next_ = 0;
            written_ = 0;
            ready_.assign(slots.size(), SIZE_MAX);
            open_ = true;
        }
        wake_.notify_one();
        struct Close {
            BatchHelper& h;
            ~Close() {
                std::unique_lock lock(h.mutex_);
                h.open_ = false;
                h.ready_cv_.wait(lock, [&] { return !h.busy_; });
            }
        } close{*this};

        const std::size_t count = slots.size();
        for (std::size_t b = 0; b < batches_; ++b) {
            const std::size_t slot = b % count;
            {
                std::unique_lock lock(mutex_);
                while (ready_[slot] != b) {
                    if (claimable()) {
                        const std::size_t mine = next_++;
                        lock.unlock();
                        format_batch(runs, mine, values, slots[mine % count]);
                        lock.lock();
                        ready_[mine % count] = mine;
                    } else {
                        ready_cv_.wait(lock);
                    }
                }
            }
            write(b, slots[slot]);
            {
                std::lock_guard lock(mutex_);
                written_ = b + 1;
            }
            wake_.notify_one();
        }
    }

private:
    // A batch is left to format and its slot has been written.
    bool claimable() const { return open_ && next_ < batches_ && next_ < written_ + slots_->size(); }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return quit_ || claimable(); });
            if (quit_) return;
            const std::size_t b = next_++;
            const std::size_t slot = b % slots_->size();
            busy_ = true;
            const GridRuns& runs = *runs_;
            const float* values = values_;
            PieceSlot& target = (*slots_)[slot];
            lock.unlock();
            format_batch(runs, b, values, target);
            lock.lock();
            busy_ = false;
            ready_[slot] = b;
            ready_cv_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;      // to the helper: a batch may be claimed, or quit
    std::condition_variable ready_cv_;  // to the writer: a batch is ready, or the helper is idle
    const GridRuns* runs_ = nullptr;
    const float* values_ = nullptr;
    std::vector<PieceSlot>* slots_ = nullptr;
    std::size_t batches_ = 0;
    std::size_t next_ = 0;     // the next batch to claim
    std::size_t written_ = 0;  // batches written
    std::vector<std::size_t> ready_;  // per slot, the batch formatted in it
    bool open_ = false;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;  // last: it starts once the rest is in place
};

}  // namespace

struct GridFileWriter::Body {
    std::vector<PieceSlot> slots;
    std::unique_ptr<BatchHelper> helper;
};

const GridHeader* grid_header_for(float cellSize) {
    const Resolution* r = resolution_of(cellSize);
    return r && r->has_exporter_header() ? &r->exporter_header : nullptr;
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

GridFileWriter::GridFileWriter(FileAccess& files) : files_(files), two_threads_from_(kTwoThreadCells) {}
GridFileWriter::GridFileWriter() : GridFileWriter(system_files()) {}

GridFileWriter::~GridFileWriter() { abandon(); }

void GridFileWriter::create(const std::string& path) {
    abandon();
    path_ = path;
    used_ = 0;
    if (buffer_.size() < kWriteChunk) buffer_.resize(kWriteChunk);
    try {
        file_ = std::make_unique<ReplacingFile>(path, files_);
    } catch (const FileWriteError& e) {
        throw FileWriteError(path_, e.reason(), e.code());
    }
    register_temporary_file(file_->temporary_path());
}

void GridFileWriter::fail(const FileWriteError& e) {
    abandon();
    throw FileWriteError(path_, e.reason(), e.code());
}

void GridFileWriter::write_all(const char* data, std::size_t size) {
    if (!file_) throw FileWriteError(path_, "write failed: the grid is not open", EBADF);
    try {
        file_->out().write(data, size);
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

void GridFileWriter::write_body(const GridRuns& runs, const float* values, std::size_t value_count) {
    if (!file_) throw FileWriteError(path_, "write failed: the grid is not open", EBADF);
    if (value_count < runs.cell_count())
        throw ModelFileError(path_ + ": the grid shows " + std::to_string(runs.cell_count()) +
                             " cells, but only " + std::to_string(value_count) + " values were given");
    if (!body_) body_ = std::make_unique<Body>();
    static const bool one_core = std::thread::hardware_concurrency() == 1;
    const bool two_threads = runs.cell_order().size() >= two_threads_from_ && !one_core;
    const std::size_t slots = two_threads ? kSlots : 1;
    if (body_->slots.size() < slots) body_->slots.resize(slots);
    for (std::size_t i = 0; i < slots; ++i) prepare_slot(body_->slots[i], runs.limits());

    // The bytes buffered so far (the header) go with the first batch.
    auto write = [&](std::size_t b, PieceSlot& slot) {
        const bool with_buffer = b == 0 && used_ > 0;
        if (with_buffer) slot.pieces[0] = {buffer_.data(), used_};
        try {
            file_->out().write_vectors(slot.pieces.data() + (with_buffer ? 0 : 1), slot.pieces.size() - (with_buffer ? 0 : 1));
        } catch (const FileWriteError& e) {
            fail(e);
        }
        if (with_buffer) used_ = 0;
    };
    if (two_threads) {
        if (!body_->helper) body_->helper = std::make_unique<BatchHelper>();
        body_->helper->write_all(runs, values, body_->slots, write);
    } else {
        for (std::size_t b = 0; b < runs.batch_count(); ++b) {
            format_batch(runs, b, values, body_->slots[0]);
            write(b, body_->slots[0]);
        }
    }
}

void GridFileWriter::commit() {
    flush();
    try {
        file_->commit();
    } catch (const FileWriteError& e) {
        fail(e);
    }
    file_.reset();
    clear_temporary_file();
}

void GridFileWriter::abandon() {
    if (!file_) return;
    file_->abandon();
    file_.reset();
    clear_temporary_file();
}

}  // namespace veldra::files
