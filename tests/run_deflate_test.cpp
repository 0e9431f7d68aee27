// The run coder of the NetCDF chunks: every stream inflates to its bytes, with
// libdeflate and with zlib (as HDF5's own deflate filter does), over a table
// of data that probe the edges of its runs, blocks and codes; and which
// chunks the chunk deflater codes as runs, and how small.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "export/chunk_compressor.h"
#include "export/run_deflate.h"

namespace veldra::out {
namespace {

using Bytes = std::vector<unsigned char>;

// The bytes of a zlib stream as libdeflate and as zlib inflate them; empty
// with a note on failure.
Bytes inflate_libdeflate(const Bytes& stream, std::size_t size) {
    Bytes out(size + 16);
    std::size_t got = 0;
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    const libdeflate_result r = libdeflate_zlib_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &got);
    libdeflate_free_decompressor(d);
    EXPECT_EQ(r, LIBDEFLATE_SUCCESS);
    out.resize(r == LIBDEFLATE_SUCCESS ? got : 0);
    return out;
}

Bytes inflate_zlib(const Bytes& stream, std::size_t size) {
    Bytes out(size + 16);
    uLongf got = static_cast<uLongf>(out.size());
    const int r = uncompress(out.data(), &got, stream.data(), static_cast<uLong>(stream.size()));
    EXPECT_EQ(r, Z_OK);
    out.resize(r == Z_OK ? got : 0);
    return out;
}

Bytes shuffled_chunk(const std::vector<float>& values, float fill) {
    FloatChunk chunk(values.size(), true);
    chunk.fill(fill);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i] != fill) chunk.put(i, values[i]);
    return Bytes(chunk.data(), chunk.data() + chunk.size());
}

// Of n values, those at every `every`-th place from `from` model values, the rest fill.
std::vector<float> sparse_values(std::size_t n, std::size_t from, std::size_t every, float fill = -9999.0f) {
    std::vector<float> v(n, fill);
    for (std::size_t i = from; i < n; i += every) v[i] = 0.37f * static_cast<float>(i % 997) + 1.0f;
    return v;
}

Bytes runs_of(std::initializer_list<std::pair<std::size_t, unsigned char>> runs) {
    Bytes b;
    for (const auto& [length, byte] : runs) b.insert(b.end(), length, byte);
    return b;
}

struct Case {
    std::string name;
    Bytes bytes;
    std::size_t block;  // 0: one block
};

std::vector<Case> table() {
    std::mt19937 random(7);
    Bytes noise(65537), alternating(1001), short_runs, fibonacci;
    for (unsigned char& b : noise) b = static_cast<unsigned char>(random());
    for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = i % 2 ? 0xC6 : 0x1C;
    for (std::size_t length = 1; length <= 5; ++length)
        for (unsigned char b = 0; b < 6; ++b) short_runs.insert(short_runs.end(), length, b);
    // Literal frequencies 1, 1, 2, 3, 5, ...: a code deeper than 15 bits
    // unless limited; interleaved, so that no byte repeats.
    std::vector<std::size_t> left(26);
    for (std::size_t k = 0, a = 1, b = 1; k < left.size(); ++k, b = a + b, a = b - a) left[k] = a;
    for (bool any = true; any;) {
        any = false;
        for (std::size_t k = 0; k < left.size(); ++k) {
            if (left[k] == 0) continue;
            --left[k];
            fibonacci.push_back(static_cast<unsigned char>(k));
            any = true;
        }
    }
    std::vector<Case> cases = {
        {"empty", {}, 0},
        {"one byte", {7}, 0},
        {"all fill", shuffled_chunk(std::vector<float>(4000, -9999.0f), -9999.0f), 4000},
        {"no fill", shuffled_chunk(sparse_values(4000, 0, 1), -9999.0f), 4000},
        {"noise of odd size", noise, 10007},
        {"alternating", alternating, 0},
        {"runs of 1 to 5 bytes", short_runs, 0},
        {"literal code limited to 15 bits", fibonacci, 0},
        {"sparse values, odd count", shuffled_chunk(sparse_values(12347, 5, 97), -9999.0f), 12347},
        {"zero fill: runs across every plane", shuffled_chunk(sparse_values(3001, 1000, 1000, 0.0f), 0.0f), 3001},
    };
    for (std::size_t length : {257, 258, 259, 260, 261, 262, 515, 516, 517, 518, 519, 100000})
        cases.push_back({"run of " + std::to_string(length), runs_of({{1, 1}, {length, 4}, {1, 2}}), 0});
    // Block boundary at 100: a run goes on into the next block for 1 to 4
    // bytes (below, at and above the least match), or starts right at it.
    for (std::size_t after : {1, 2, 3, 4, 300})
        cases.push_back({"run going on " + std::to_string(after) + " past a block's end",
                         runs_of({{90, 9}, {10 + after, 5}, {7, 6}}), 100});
    cases.push_back({"run starting at a block", runs_of({{100, 9}, {50, 5}, {1, 6}}), 100});
    return cases;
}

TEST(RunDeflate, EveryStreamInflatesToItsBytesWithLibdeflateAndZlib) {
    for (const Case& c : table()) {
        SCOPED_TRACE(c.name);
        Bytes stream;
        deflate_runs(c.bytes.data(), c.bytes.size(), c.block, stream);
        EXPECT_EQ(inflate_libdeflate(stream, c.bytes.size()), c.bytes);
        EXPECT_EQ(inflate_zlib(stream, c.bytes.size()), c.bytes);
    }
    // Runs past 2^32 bytes are split, the same byte carried on.
    std::vector<ByteRun> runs = {{7, 1}};
    append_run(runs, 7, (std::size_t{1} << 32) + 5);
    append_run(runs, 8, 0);
    append_run(runs, 9, 2);
    std::vector<std::uint32_t> lengths;
    for (const ByteRun& r : runs) lengths.push_back(r.length);
    EXPECT_EQ(lengths, std::vector<std::uint32_t>({1, UINT32_MAX, 6, 2}));
}

// The chunk of `values` positions with `cells` at `positions`, laid out
// (shuffled) and as the chunk deflater gives it at `level`.
struct DeflatedChunk {
    Bytes laid_out, stream;
};

DeflatedChunk deflated(std::size_t values, const std::vector<std::uint32_t>& positions, int level) {
    ChunkCells cells;
    cells.positions = &positions;
    // A field that varies slowly, with noise in its last digits.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(0.0f, 1.0f);
    for (const std::uint32_t p : positions)
        cells.values.push_back(200.0f + 150.0f * std::sin(static_cast<float>(p) / 5000.0f) + noise(random));
    FloatChunk chunk(values, true);
    chunk.place(cells, -9999.0f);
    ChunkDeflater deflate(values, -9999.0f, level);
    return {Bytes(chunk.data(), chunk.data() + chunk.size()), deflate(cells)};
}

Bytes libdeflate_stream(const Bytes& bytes, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Bytes stream(libdeflate_zlib_compress_bound(c, bytes.size()));
    stream.resize(libdeflate_zlib_compress(c, bytes.data(), bytes.size(), stream.data(), stream.size()));
    libdeflate_free_compressor(c);
    return stream;
}

// Of a chunk of 1,000,000 positions, stretches of `land` every 400.
std::vector<std::uint32_t> land_positions(std::uint32_t land) {
    std::vector<std::uint32_t> p;
    for (std::uint32_t i = 0; i < 1000000; ++i)
        if (i % 400 < land) p.push_back(i);
    return p;
}

TEST(RunDeflate, AChunkMostlyOfFillIsCodedAsRunsFromItsCellsAnyOtherByLibdeflate) {
    // 97 % fill, at every level: runs, as small as libdeflate's stream (or
    // smaller), read back as laid out.
    for (const int level : {1, 4, 9}) {
        SCOPED_TRACE(level);
        const DeflatedChunk sparse = deflated(1000000, land_positions(12), level);
        const Bytes general = libdeflate_stream(sparse.laid_out, level);
        EXPECT_NE(sparse.stream, general);
        EXPECT_LT(sparse.stream.size(), general.size() * 21 / 20);
        EXPECT_EQ(inflate_libdeflate(sparse.stream, sparse.laid_out.size()), sparse.laid_out);
        EXPECT_EQ(inflate_zlib(sparse.stream, sparse.laid_out.size()), sparse.laid_out);
    }
    // 85 % fill: runs up to level 4, libdeflate's own stream above.
    for (const int level : {4, 5}) {
        SCOPED_TRACE(level);
        const DeflatedChunk some = deflated(1000000, land_positions(60), level);
        const Bytes general = libdeflate_stream(some.laid_out, level);
        EXPECT_EQ(some.stream == general, level == 5);
        EXPECT_LT(some.stream.size(), general.size() * 21 / 20);
        EXPECT_EQ(inflate_zlib(some.stream, some.laid_out.size()), some.laid_out);
    }
    const DeflatedChunk dense = deflated(1000000, land_positions(400), 4);
    EXPECT_EQ(dense.stream, libdeflate_stream(dense.laid_out, 4));
    // No cells, and a chunk of no values.
    for (const std::size_t values : {std::size_t{300000}, std::size_t{0}}) {
        const DeflatedChunk empty = deflated(values, {}, 4);
        EXPECT_EQ(inflate_zlib(empty.stream, empty.laid_out.size()), empty.laid_out);
    }
}

}  // namespace
}  // namespace veldra::out
