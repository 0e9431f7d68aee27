// A zlib stream for data made mostly of long runs of one byte, as the
// shuffled chunks of a grid that is mostly fill are. The data comes as runs
// (a byte and how many times it repeats), block by block: a run is one
// literal and matches at distance 1 of up to 258 bytes, a short run is
// literals, and each block has a Huffman code of its own. Nothing is searched
// and the bytes need never be laid out: the checksum too is summed run by
// run. Any inflater reads the stream (the deflate filter of HDF5 and NetCDF
// among them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veldra::out {

// `length` copies of `byte`.
struct ByteRun {
    unsigned char byte;
    std::uint32_t length;
};

// Appends `length` copies of `byte` to `runs`, lengthening the last run when
// it is of the same byte.
inline void append_run(std::vector<ByteRun>& runs, unsigned char byte, std::size_t length) {
    constexpr std::size_t kMost = UINT32_MAX;
    if (length == 0) return;
    if (!runs.empty() && runs.back().byte == byte && length <= kMost - runs.back().length) {
        runs.back().length += static_cast<std::uint32_t>(length);
        return;
    }
    for (; length > kMost; length -= kMost) runs.push_back({byte, static_cast<std::uint32_t>(kMost)});
    runs.push_back({byte, static_cast<std::uint32_t>(length)});
}

// Appends the runs of data[0, size) to `runs`.
void append_byte_runs(const unsigned char* data, std::size_t size, std::vector<ByteRun>& runs);

class RunDeflater {
public:
    // The bytes of a block that a caller should give at most: blocks of this
    // size follow the changes of a grid (land and ocean) closely enough to
    // make the stream smaller than one searched for matches, for little more
    // than their headers.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 18;

    // Starts a zlib stream in `out`, emptied.
    void start(std::vector<unsigned char>& out);
    // A deflate block of the bytes `runs` spell, after those before.
    void block(const std::vector<ByteRun>& runs);
    // Ends the stream (an empty last block and the Adler-32 checksum); `out`
    // holds it exactly.
    void finish();

private:
    std::vector<unsigned char>* out_ = nullptr;
    std::size_t at_ = 0;
    std::uint64_t bits_ = 0;
    unsigned count_ = 0;
    std::uint32_t sum1_ = 1, sum2_ = 0;  // Adler-32
    int previous_ = -1;                  // the last byte, -1 before the first
};

// `size` bytes at `data` as a zlib stream, in blocks of `block` bytes (0: one).
void deflate_runs(const unsigned char* data, std::size_t size, std::size_t block, std::vector<unsigned char>& out);

}  // namespace veldra::out
