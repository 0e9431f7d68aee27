#include "export/chunk_compressor.h"

#include <libdeflate.h>

#include <algorithm>
#include <new>
#include <utility>

namespace veldra::out {

void FloatChunk::fill(float value) {
    unsigned char b[4];
    std::memcpy(b, &value, 4);
    if (values_ == 0) return;  // nothing to fill (and no buffer to pass on)
    if (shuffled_) {
        for (std::size_t k = 0; k < 4; ++k) std::memset(bytes_.data() + k * values_, b[k], values_);
        return;
    }
    for (std::size_t i = 0; i < values_; ++i) std::memcpy(bytes_.data() + i * 4, b, 4);
}

void FloatChunk::place(const ChunkCells& cells, float fill) {
    if (placed_ != cells.positions) {
        this->fill(fill);
        placed_ = cells.positions;
    }
    const std::vector<std::uint32_t>& at = *cells.positions;
    for (std::size_t j = 0; j < at.size(); ++j) put(at[j], cells.values[j]);
}

ChunkDeflater::ChunkDeflater(std::size_t values, float fill, int level)
    : values_(values), fill_(fill), run_share_(run_share(level)), compressor_(libdeflate_alloc_compressor(level)) {
    if (!compressor_) throw std::bad_alloc();
}

ChunkDeflater::~ChunkDeflater() { libdeflate_free_compressor(compressor_); }

std::vector<unsigned char> ChunkDeflater::operator()(const ChunkCells& cells) {
    const double cell_share = static_cast<double>(cells.values.size()) / static_cast<double>(std::max<std::size_t>(values_, 1));
    return 1.0 - cell_share >= run_share_ ? as_runs(cells) : laid_out(cells);
}

// Plane by plane (byte k of every value), in blocks: byte k of the fill
// between the cells, and of each cell's value.
std::vector<unsigned char> ChunkDeflater::as_runs(const ChunkCells& cells) {
    const std::vector<std::uint32_t>& at = *cells.positions;
    const auto* value_bytes = reinterpret_cast<const unsigned char*>(cells.values.data());
    unsigned char fill[4];
    std::memcpy(fill, &fill_, 4);
    runs_.start(scratch_);
    for (std::size_t plane = 0; plane < 4; ++plane) {
        std::size_t j = 0;
        for (std::size_t from = 0; from < values_; from += RunDeflater::kBlockBytes) {
            const std::size_t to = std::min(values_, from + RunDeflater::kBlockBytes);
            block_runs_.clear();
            std::size_t next = from;
            for (; j < at.size() && at[j] < to; next = at[j++] + std::size_t{1}) {
                append_run(block_runs_, fill[plane], at[j] - next);
                append_run(block_runs_, value_bytes[4 * j + plane], 1);
            }
            append_run(block_runs_, fill[plane], to - next);
            runs_.block(block_runs_);
        }
    }
    runs_.finish();
    return scratch_;
}

std::vector<unsigned char> ChunkDeflater::laid_out(const ChunkCells& cells) {
    if (!chunk_) chunk_ = std::make_unique<FloatChunk>(values_, true);
    chunk_->place(cells, fill_);
    const FloatChunk& chunk = *chunk_;
    // Most chunks are largely fill and shrink far below their size: first
    // tried in what the largest chunk so far needed, then in the most any
    // chunk can need.
    scratch_.resize(std::max<std::size_t>({scratch_.size(), chunk.size() / 8, 4096}));
    std::size_t size = libdeflate_zlib_compress(compressor_, chunk.data(), chunk.size(), scratch_.data(), scratch_.size());
    if (size == 0) {
        scratch_.resize(libdeflate_zlib_compress_bound(compressor_, chunk.size()));
        size = libdeflate_zlib_compress(compressor_, chunk.data(), chunk.size(), scratch_.data(), scratch_.size());
    }
    return std::vector<unsigned char>(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(size));
}

ChunkCompressor::ChunkCompressor(std::size_t values, float fill, int level, int threads, Write write)
    : values_(values), fill_(fill), level_(level), write_(std::move(write)) {
    const int workers = level > 0 && threads > 1 ? threads : 0;
    // One chunk being filled while each thread compresses one; finished
    // chunks wait for those before them within a window of twice that.
    const std::size_t count = static_cast<std::size_t>(workers) + 1;
    for (std::size_t i = 0; i < count; ++i) {
        chunks_.push_back(std::make_unique<ChunkCells>());
        free_.push_back(chunks_.back().get());
    }
    window_ = 2 * count;
    if (workers == 0) {
        if (level > 0)
            deflater_ = std::make_unique<ChunkDeflater>(values, fill, level);
        else
            plain_ = std::make_unique<FloatChunk>(values, false);
        return;
    }
    try {
        for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
    } catch (...) {
        stop();
        throw;
    }
}

ChunkCompressor::~ChunkCompressor() { stop(); }

void ChunkCompressor::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    to_workers_.notify_all();
    for (std::thread& t : workers_)
        if (t.joinable()) t.join();
    workers_.clear();
}

void ChunkCompressor::work() {
    std::unique_ptr<ChunkDeflater> deflate;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        to_workers_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
        if (stopping_) return;
        const Job job = jobs_.front();
        jobs_.pop_front();
        lock.unlock();
        std::vector<unsigned char> bytes;
        std::exception_ptr failure;
        try {
            if (!deflate) deflate = std::make_unique<ChunkDeflater>(values_, fill_, level_);
            bytes = (*deflate)(*job.cells);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure && !failure_) failure_ = failure;
        if (!failure) done_.emplace(job.index, std::move(bytes));
        free_.push_back(job.cells);
        to_caller_.notify_one();
    }
}

void ChunkCompressor::write_ready(std::unique_lock<std::mutex>& lock) {
    for (auto it = done_.find(written_); it != done_.end(); it = done_.find(written_)) {
        const std::vector<unsigned char> bytes = std::move(it->second);
        done_.erase(it);
        lock.unlock();
        write_(written_, bytes.data(), bytes.size());
        lock.lock();
        ++written_;
    }
}

std::vector<float>& ChunkCompressor::next(const std::vector<std::uint32_t>& positions) {
    if (workers_.empty()) {
        filling_ = chunks_.front().get();
    } else {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            write_ready(lock);
            if (failure_) std::rethrow_exception(failure_);
            if (!free_.empty() && submitted_ - written_ < window_) break;
            to_caller_.wait(lock);
        }
        filling_ = free_.back();
        free_.pop_back();
    }
    filling_->positions = &positions;
    filling_->values.resize(positions.size());
    return filling_->values;
}

void ChunkCompressor::submit() {
    ChunkCells* cells = std::exchange(filling_, nullptr);
    const std::size_t index = submitted_++;
    if (workers_.empty()) {
        if (plain_) {
            plain_->place(*cells, fill_);
            write_(index, plain_->data(), plain_->size());
        } else {
            const std::vector<unsigned char> bytes = (*deflater_)(*cells);
            write_(index, bytes.data(), bytes.size());
        }
        written_ = submitted_;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({index, cells});
    }
    to_workers_.notify_one();
}

void ChunkCompressor::finish() {
    if (workers_.empty()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        write_ready(lock);
        if (failure_) std::rethrow_exception(failure_);
        if (written_ == submitted_) return;
        to_caller_.wait(lock);
    }
}

}  // namespace veldra::out
