// Chunks of a float variable made ready for HDF5's direct chunk write, on
// several threads: each chunk is laid out as the shuffle filter leaves it and
// compressed as one zlib stream, as the deflate filter would, so that the
// variable's own filters read it back. The caller fills one chunk at a time
// and gets the finished chunks back in the order it gave them, on its own
// thread; a bounded number of chunks is in flight, so memory does not grow
// with the number of chunks.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct libdeflate_compressor;

namespace veldra::out {

// The values of one chunk. Shuffled, byte k of every value lies in plane k
// (the first bytes of all values, then the second bytes, ...); otherwise the
// values lie one after the other. Both in the machine's (little-endian) order.
class FloatChunk {
public:
    FloatChunk(std::size_t values, bool shuffled) : bytes_(values * 4), values_(values), shuffled_(shuffled) {}

    void put(std::size_t at, float value) {
        unsigned char b[4];
        std::memcpy(b, &value, 4);
        if (!shuffled_) {
            std::memcpy(bytes_.data() + at * 4, b, 4);
            return;
        }
        unsigned char* p = bytes_.data() + at;
        p[0] = b[0];
        p[values_] = b[1];
        p[2 * values_] = b[2];
        p[3 * values_] = b[3];
    }
    void fill(float value);

    const unsigned char* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

    // What the chunk holds beyond its fill: set by the caller, so that a
    // chunk given back with the same mark need not be filled again.
    std::int64_t mark = -1;

private:
    std::vector<unsigned char> bytes_;
    std::size_t values_;
    bool shuffled_;
};

// Compresses chunks as the deflate filter at `level` (1..9) stores them: a
// zlib stream each. One per thread.
class ChunkDeflater {
public:
    explicit ChunkDeflater(int level);
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    std::vector<unsigned char> operator()(const FloatChunk& chunk);

private:
    libdeflate_compressor* compressor_;
    std::vector<unsigned char> scratch_;  // grows to the largest size a chunk needed
};

class ChunkCompressor {
public:
    // Called on the caller's thread with each finished chunk, in order.
    using Write = std::function<void(std::size_t index, const unsigned char* data, std::size_t size)>;

    // Chunks of `values` floats. Level 0 keeps them as they are (not
    // shuffled); 1 to 9 shuffles and deflates them. `threads` compress at once;
    // with 1 (or level 0) every chunk is done on the caller's thread.
    ChunkCompressor(std::size_t values, int level, int threads, Write write);
    // Stops the threads; chunks not yet written are dropped.
    ~ChunkCompressor();
    ChunkCompressor(const ChunkCompressor&) = delete;
    ChunkCompressor& operator=(const ChunkCompressor&) = delete;

    // A chunk to fill: one of the few in use, filled with `fill` unless it
    // carries `mark`. Waits, writing finished chunks meanwhile, until one is
    // free. Whatever the write raises comes out here.
    FloatChunk& next(std::int64_t mark, float fill);
    // The chunk from next() is complete.
    void submit();
    // Waits for every submitted chunk and writes it.
    void finish();

private:
    struct Job {
        std::size_t index;
        FloatChunk* chunk;
    };
    void work();
    void stop();
    void write_ready(std::unique_lock<std::mutex>& lock);

    int level_;
    Write write_;
    std::vector<std::unique_ptr<FloatChunk>> chunks_;
    std::vector<FloatChunk*> free_;
    FloatChunk* filling_ = nullptr;
    std::unique_ptr<ChunkDeflater> deflater_;  // the caller's, when it compresses

    std::mutex mutex_;
    std::condition_variable to_workers_, to_caller_;
    std::deque<Job> jobs_;
    std::map<std::size_t, std::vector<unsigned char>> done_;
    std::exception_ptr failure_;
    std::size_t submitted_ = 0, written_ = 0, window_ = 1;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace veldra::out
