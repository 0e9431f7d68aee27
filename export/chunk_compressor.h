// Chunks of a float variable made ready for HDF5's direct chunk write, on
// several threads: each chunk is laid out as the shuffle filter leaves it and
// compressed as one zlib stream, as the deflate filter would, so that the
// variable's own filters read it back. The caller gives the values of one
// chunk's cells at a time (every other position holds the fill) and gets the
// finished chunks back in the order it gave them, on its own thread; a
// bounded number of chunks is in flight, so memory does not grow with the
// number of chunks. A chunk that is mostly fill is coded from its cells as
// runs (RunDeflater) without being laid out; any other is laid out and
// compressed with libdeflate.
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

#include "export/run_deflate.h"

struct libdeflate_compressor;

namespace veldra::out {

// The cells of a chunk: their positions in it (ascending, each once) and
// their values; every other position holds the fill.
struct ChunkCells {
    const std::vector<std::uint32_t>* positions = nullptr;
    std::vector<float> values;
};

// The values of one chunk laid out. Shuffled, byte k of every value lies in plane k
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
    // Lays out `cells` over the fill; the fill is laid anew only when the
    // chunk last held cells at other positions.
    void place(const ChunkCells& cells, float fill);

    const unsigned char* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<unsigned char> bytes_;
    std::size_t values_;
    bool shuffled_;
    const std::vector<std::uint32_t>* placed_ = nullptr;  // the positions of the cells laid out
};

// Compresses chunks of `values` floats as the shuffle and deflate filters
// at `level` (1..9) store them: a zlib stream each. One per thread.
class ChunkDeflater {
public:
    ChunkDeflater(std::size_t values, float fill, int level);
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    std::vector<unsigned char> operator()(const ChunkCells& cells);

    // The least share of fill in a chunk for it to be coded as runs, at
    // `level`: where runs make it about as small as libdeflate at that level,
    // in a fraction of the time (at 81 % fill within 1 % of level 4; at 98 %
    // smaller than level 9).
    static double run_share(int level) { return level <= 4 ? 0.8 : 0.95; }

private:
    std::vector<unsigned char> as_runs(const ChunkCells& cells);
    std::vector<unsigned char> laid_out(const ChunkCells& cells);

    std::size_t values_;
    float fill_;
    double run_share_;
    libdeflate_compressor* compressor_;
    std::unique_ptr<FloatChunk> chunk_;   // made for the first chunk laid out
    std::vector<unsigned char> scratch_;  // grows to the largest size a chunk needed
    RunDeflater runs_;
    std::vector<ByteRun> block_runs_;
};

class ChunkCompressor {
public:
    // Called on the caller's thread with each finished chunk, in order.
    using Write = std::function<void(std::size_t index, const unsigned char* data, std::size_t size)>;

    // Chunks of `values` floats, `fill` where no cell lies. Level 0 keeps
    // them as they are (not shuffled); 1 to 9 shuffles and deflates them.
    // `threads` compress at once; with 1 (or level 0) every chunk is done on
    // the caller's thread.
    ChunkCompressor(std::size_t values, float fill, int level, int threads, Write write);
    // Stops the threads; chunks not yet written are dropped.
    ~ChunkCompressor();
    ChunkCompressor(const ChunkCompressor&) = delete;
    ChunkCompressor& operator=(const ChunkCompressor&) = delete;

    // The values of the next chunk's cells at `positions` (ascending, each
    // once; kept by the caller until finish()), to be set: one of the few in
    // use. Waits, writing finished chunks meanwhile, until one is free.
    // Whatever the write raises comes out here.
    std::vector<float>& next(const std::vector<std::uint32_t>& positions);
    // The chunk from next() is complete.
    void submit();
    // Waits for every submitted chunk and writes it.
    void finish();

private:
    struct Job {
        std::size_t index;
        ChunkCells* cells;
    };
    void work();
    void stop();
    void write_ready(std::unique_lock<std::mutex>& lock);

    std::size_t values_;
    float fill_;
    int level_;
    Write write_;
    std::vector<std::unique_ptr<ChunkCells>> chunks_;
    std::vector<ChunkCells*> free_;
    ChunkCells* filling_ = nullptr;
    std::unique_ptr<ChunkDeflater> deflater_;  // the caller's, when it compresses
    std::unique_ptr<FloatChunk> plain_;        // the caller's, at level 0

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
