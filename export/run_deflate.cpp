#include "export/run_deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace veldra::out {
namespace {

constexpr std::size_t kMinMatch = 3, kMaxMatch = 258;
constexpr std::size_t kLitLenSymbols = 286, kEndOfBlock = 256, kCodeLengthSymbols = 19;
constexpr unsigned kMaxCodeLength = 15, kMaxCodeLengthCodeLength = 7;

// The symbol of each match length (3 to 258) and its extra bits.
struct LengthCode {
    std::uint16_t symbol = 0;
    std::uint8_t bits = 0, extra = 0;
};

constexpr std::array<LengthCode, kMaxMatch + 1> make_length_codes() {
    constexpr std::uint16_t base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr std::uint8_t bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthCode, kMaxMatch + 1> codes{};
    for (int s = 0; s < 29; ++s)
        for (int e = 0; e < (1 << bits[s]); ++e) {
            const int length = base[s] + e;
            // 258 has a symbol of its own.
            if (length < 258 || s == 28)
                codes[static_cast<std::size_t>(length)] = {static_cast<std::uint16_t>(257 + s), bits[s],
                                                           static_cast<std::uint8_t>(e)};
        }
    return codes;
}
constexpr std::array<LengthCode, kMaxMatch + 1> kLengthCodes = make_length_codes();

// The order in which a dynamic block gives the lengths of its code-length code.
constexpr std::uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

// Calls f with each piece (3 to 258 bytes) of a match of `match` >= 3 bytes.
template <class F>
void for_each_piece(std::size_t match, F&& f) {
    while (match > 0) {
        std::size_t piece = match;
        if (match > kMaxMatch) piece = match - kMaxMatch < kMinMatch ? match - kMinMatch : kMaxMatch;
        f(static_cast<unsigned>(piece));
        match -= piece;
    }
}

// Where the run of data[i] that starts at i ends, before `end`.
std::size_t run_end(const unsigned char* data, std::size_t i, std::size_t end) {
    const std::uint64_t pattern = 0x0101010101010101ull * data[i];
    for (++i; i + 8 <= end; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if (const std::uint64_t differs = word ^ pattern; differs != 0) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(differs)
                                                                       : std::countl_zero(differs);
            return i + static_cast<std::size_t>(bit / 8);
        }
    }
    while (i < end && data[i] == static_cast<unsigned char>(pattern)) ++i;
    return i;
}

// How many bytes of a run are a match at distance 1, the rest literals: a
// run that goes on from the byte before all of it, another all but its first
// byte; none when that is under the least match.
std::size_t matched(const ByteRun& run, int previous) {
    const std::size_t m = previous == run.byte ? run.length : run.length - std::size_t{1};
    return m >= kMinMatch ? m : 0;
}

// The Adler-32 checksum of the bytes of runs, its sums reduced only when
// they might come near their limit.
class Adler32 {
public:
    Adler32(std::uint32_t sum1, std::uint32_t sum2) : sum1_(sum1), sum2_(sum2) {}
    void add(unsigned char byte) {
        sum2_ += sum1_ += byte;
        if (++unreduced_ >= kReduceAfter) reduce();
    }
    void add(unsigned char byte, std::uint32_t length) {
        if (length < 16) {
            for (std::uint32_t k = 0; k < length; ++k) sum2_ += sum1_ += byte;
            if ((unreduced_ += length) >= kReduceAfter) reduce();
            return;
        }
        reduce();
        // Each of n bytes adds the byte to sum1, and sum1 to sum2.
        const std::uint64_t n = length, triangle = n * (n + 1) / 2 % kBase;
        sum2_ = (sum2_ + n % kBase * sum1_ + byte * triangle) % kBase;
        sum1_ = (sum1_ + byte * (n % kBase)) % kBase;
    }
    std::uint32_t value() {
        reduce();
        return static_cast<std::uint32_t>(sum2_ << 16 | sum1_);
    }

private:
    static constexpr std::uint64_t kBase = 65521, kReduceAfter = 1u << 20;
    void reduce() {
        sum1_ %= kBase;
        sum2_ %= kBase;
        unreduced_ = 0;
    }
    std::uint64_t sum1_, sum2_, unreduced_ = 0;
};

// A canonical Huffman code, its codes bit-reversed to be written first bit first.
template <std::size_t N>
struct Code {
    std::array<std::uint8_t, N> lengths{};
    std::array<std::uint16_t, N> codes{};
};

// The lengths of a minimum-redundancy code, in place: `a` holds frequencies in
// ascending order and ends with their lengths (Moffat and Katajainen).
void minimum_redundancy(std::vector<std::uint32_t>& a) {
    const int n = static_cast<int>(a.size());
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = static_cast<std::uint32_t>(next);
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = static_cast<std::uint32_t>(next);
        } else {
            a[next] += a[leaf++];
        }
    }
    a[n - 2] = 0;
    for (int next = n - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
    int available = 1, used = 0, depth = 0;
    root = n - 2;
    for (int next = n - 1; available > 0; ++depth) {
        for (; root >= 0 && a[root] == static_cast<std::uint32_t>(depth); --root) ++used;
        for (; available > used; --available) a[next--] = static_cast<std::uint32_t>(depth);
        available = 2 * used;
        used = 0;
    }
}

// How many codes of each length up to `limit`, from the unlimited lengths:
// the longer ones made `limit` and shorter ones lengthened until the code is
// complete again.
std::array<int, kMaxCodeLength + 1> limited_counts(const std::vector<std::uint32_t>& lengths, unsigned limit) {
    std::array<int, kMaxCodeLength + 1> count{};
    for (const std::uint32_t l : lengths) ++count[std::min<std::uint32_t>(l, limit)];
    std::uint32_t kraft = 0;
    for (unsigned l = 1; l <= limit; ++l) kraft += static_cast<std::uint32_t>(count[l]) << (limit - l);
    for (; kraft > (1u << limit); --kraft) {
        --count[limit];
        for (unsigned l = limit - 1; l > 0; --l)
            if (count[l] > 0) {
                --count[l];
                count[l + 1] += 2;
                break;
            }
    }
    return count;
}

template <std::size_t N>
void assign_codes(Code<N>& code) {
    std::array<std::uint16_t, kMaxCodeLength + 2> next{};
    std::array<int, kMaxCodeLength + 1> count{};
    for (const std::uint8_t l : code.lengths) ++count[l];
    count[0] = 0;
    for (unsigned l = 1; l <= kMaxCodeLength; ++l)
        next[l] = static_cast<std::uint16_t>((next[l - 1] + count[l - 1]) << 1);
    for (std::size_t s = 0; s < N; ++s) {
        const unsigned l = code.lengths[s];
        if (l == 0) continue;
        unsigned c = next[l]++, reversed = 0;
        for (unsigned b = 0; b < l; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
        code.codes[s] = static_cast<std::uint16_t>(reversed);
    }
}

// The Huffman code of `freq`, no code longer than `limit`. Fewer than two
// symbols in use get two codes of one bit, so that the code is complete.
template <std::size_t N>
Code<N> make_code(const std::array<std::uint32_t, N>& freq, unsigned limit) {
    Code<N> code;
    std::vector<std::pair<std::uint32_t, std::size_t>> used;
    for (std::size_t s = 0; s < N; ++s)
        if (freq[s] > 0) used.push_back({freq[s], s});
    if (used.size() < 2) {
        const std::size_t first = used.empty() ? 0 : used[0].second;
        code.lengths[first] = 1;
        code.lengths[first == 0 ? 1 : 0] = 1;
    } else {
        std::sort(used.begin(), used.end());
        std::vector<std::uint32_t> lengths;
        for (const auto& u : used) lengths.push_back(u.first);
        minimum_redundancy(lengths);
        const std::array<int, kMaxCodeLength + 1> count = limited_counts(lengths, limit);
        // The most frequent symbols take the shortest codes.
        std::size_t j = used.size();
        for (unsigned l = 1; l <= limit; ++l)
            for (int k = 0; k < count[l]; ++k)
                code.lengths[used[--j].second] = static_cast<std::uint8_t>(l);
    }
    assign_codes(code);
    return code;
}

// Bits written first bit first into a growing byte vector, from where a
// stream left off; its state goes back to the stream when done.
class BitWriter {
public:
    BitWriter(std::vector<unsigned char>& out, std::size_t at, std::uint64_t bits, unsigned count)
        : out_(out), at_(at), bits_(bits), count_(count) {}
    void put(std::uint32_t bits, unsigned count) {
        bits_ |= std::uint64_t{bits} << count_;
        count_ += count;
        if (count_ >= 32) spill();
    }
    // Pads the bits to a whole byte.
    void pad() {
        for (; count_ > 0; count_ = count_ > 8 ? count_ - 8 : 0, bits_ >>= 8) {
            if (at_ >= out_.size()) out_.resize(out_.size() * 2 + 64);
            out_[at_++] = static_cast<unsigned char>(bits_);
        }
    }
    void save(std::size_t& at, std::uint64_t& bits, unsigned& count) const {
        at = at_;
        bits = bits_;
        count = count_;
    }

private:
    void spill() {
        if (at_ + 4 > out_.size()) out_.resize(out_.size() * 2 + 64);
        for (int k = 0; k < 4; ++k, bits_ >>= 8) out_[at_++] = static_cast<unsigned char>(bits_);
        count_ -= 32;
    }

    std::vector<unsigned char>& out_;
    std::size_t at_;
    std::uint64_t bits_;
    unsigned count_;
};

using LitLenCode = Code<kLitLenSymbols>;

// A code length or a repeat (16: the last length 3-6 times, 17: zero 3-10
// times, 18: zero 11-138 times) with its extra bits.
struct LengthItem {
    std::uint8_t symbol, extra;
};
constexpr unsigned kRepeatBits[3] = {2, 3, 7};

std::vector<LengthItem> repeat_coded(const std::vector<std::uint8_t>& lengths) {
    std::vector<LengthItem> items;
    for (std::size_t i = 0; i < lengths.size();) {
        const std::uint8_t l = lengths[i];
        std::size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == l) ++run;
        i += run;
        if (l == 0) {
            for (; run >= 11; run -= std::min<std::size_t>(run, 138))
                items.push_back({18, static_cast<std::uint8_t>(std::min<std::size_t>(run, 138) - 11)});
            if (run >= 3) {
                items.push_back({17, static_cast<std::uint8_t>(run - 3)});
                run = 0;
            }
        } else {
            items.push_back({l, 0});
            for (--run; run >= 3; run -= std::min<std::size_t>(run, 6))
                items.push_back({16, static_cast<std::uint8_t>(std::min<std::size_t>(run, 6) - 3)});
        }
        for (; run > 0; --run) items.push_back({l, 0});
    }
    return items;
}

// The header of a dynamic block: its litlen code, and a distance code of two
// one-bit codes of which only distance 1 is used.
void write_header(BitWriter& w, const LitLenCode& litlen) {
    std::size_t hlit = kLitLenSymbols;
    while (hlit > 257 && litlen.lengths[hlit - 1] == 0) --hlit;
    std::vector<std::uint8_t> lengths(litlen.lengths.begin(), litlen.lengths.begin() + static_cast<std::ptrdiff_t>(hlit));
    lengths.insert(lengths.end(), {1, 1});
    const std::vector<LengthItem> items = repeat_coded(lengths);
    std::array<std::uint32_t, kCodeLengthSymbols> freq{};
    for (const LengthItem& item : items) ++freq[item.symbol];
    const Code<kCodeLengthSymbols> cl = make_code(freq, kMaxCodeLengthCodeLength);
    std::size_t hclen = kCodeLengthSymbols;
    while (hclen > 4 && cl.lengths[kCodeLengthOrder[hclen - 1]] == 0) --hclen;
    w.put(0, 1);  // not the last block
    w.put(2, 2);  // dynamic codes
    w.put(static_cast<std::uint32_t>(hlit - 257), 5);
    w.put(1, 5);
    w.put(static_cast<std::uint32_t>(hclen - 4), 4);
    for (std::size_t i = 0; i < hclen; ++i) w.put(cl.lengths[kCodeLengthOrder[i]], 3);
    for (const LengthItem& item : items) {
        w.put(cl.codes[item.symbol], cl.lengths[item.symbol]);
        if (item.symbol >= 16) w.put(item.extra, kRepeatBits[item.symbol - 16]);
    }
}

// The symbols of a block's runs, after the byte `previous` (-1: none).
std::array<std::uint32_t, kLitLenSymbols> block_symbols(const std::vector<ByteRun>& runs, int previous) {
    std::array<std::uint32_t, kLitLenSymbols> freq{};
    for (const ByteRun& r : runs) {
        if (r.length == 1 && r.byte != previous) {  // most runs among the cells: one literal
            ++freq[r.byte];
            previous = r.byte;
            continue;
        }
        if (r.length == 0) continue;
        const std::size_t m = matched(r, previous);
        freq[r.byte] += static_cast<std::uint32_t>(r.length - m);
        for_each_piece(m, [&](unsigned piece) { ++freq[kLengthCodes[piece].symbol]; });
        previous = r.byte;
    }
    freq[kEndOfBlock] = 1;
    return freq;
}

// Writes the runs and adds them to the checksum.
void write_runs(BitWriter& w, const LitLenCode& code, const std::vector<ByteRun>& runs, int previous, Adler32& sum) {
    for (const ByteRun& r : runs) {
        if (r.length == 1 && r.byte != previous) {
            w.put(code.codes[r.byte], code.lengths[r.byte]);
            sum.add(r.byte);
            previous = r.byte;
            continue;
        }
        if (r.length == 0) continue;
        sum.add(r.byte, r.length);
        const std::size_t m = matched(r, previous);
        for (std::size_t k = m; k < r.length; ++k) w.put(code.codes[r.byte], code.lengths[r.byte]);
        for_each_piece(m, [&](unsigned piece) {
            const LengthCode& l = kLengthCodes[piece];
            w.put(code.codes[l.symbol], code.lengths[l.symbol]);
            // The extra bits, then distance 1: code 0 of one bit.
            w.put(l.extra, l.bits + 1u);
        });
        previous = r.byte;
    }
    w.put(code.codes[kEndOfBlock], code.lengths[kEndOfBlock]);
}

}  // namespace

void append_byte_runs(const unsigned char* data, std::size_t size, std::vector<ByteRun>& runs) {
    for (std::size_t i = 0, j; i < size; i = j) {
        j = run_end(data, i, size);
        append_run(runs, data[i], j - i);
    }
}

void RunDeflater::start(std::vector<unsigned char>& out) {
    out_ = &out;
    out.resize(std::max<std::size_t>(out.capacity(), 4096));
    // CMF: deflate with a window of 32 KiB; FLG: "fast", no dictionary, check bits.
    out[0] = 0x78;
    out[1] = 0x5e;
    at_ = 2;
    bits_ = 0;
    count_ = 0;
    sum1_ = 1;
    sum2_ = 0;
    previous_ = -1;
}

void RunDeflater::block(const std::vector<ByteRun>& runs) {
    const LitLenCode code = make_code(block_symbols(runs, previous_), kMaxCodeLength);
    BitWriter w(*out_, at_, bits_, count_);
    write_header(w, code);
    Adler32 sum(sum1_, sum2_);
    write_runs(w, code, runs, previous_, sum);
    w.save(at_, bits_, count_);
    const std::uint32_t adler = sum.value();
    sum1_ = adler & 0xffff;
    sum2_ = adler >> 16;
    if (!runs.empty()) previous_ = runs.back().byte;
}

void RunDeflater::finish() {
    BitWriter w(*out_, at_, bits_, count_);
    // The last block: fixed codes, only its end (seven 0 bits).
    w.put(1, 1);
    w.put(1, 2);
    w.put(0, 7);
    w.pad();
    w.save(at_, bits_, count_);
    const std::uint32_t adler = sum2_ << 16 | sum1_;
    out_->resize(at_ + 4);
    for (int k = 3; k >= 0; --k) (*out_)[at_++] = static_cast<unsigned char>(adler >> (8 * k));
}

void deflate_runs(const unsigned char* data, std::size_t size, std::size_t block, std::vector<unsigned char>& out) {
    if (block == 0) block = std::max<std::size_t>(size, 1);
    RunDeflater deflate;
    deflate.start(out);
    std::vector<ByteRun> runs;
    for (std::size_t from = 0; from < size; from += block) {
        runs.clear();
        append_byte_runs(data + from, std::min(block, size - from), runs);
        deflate.block(runs);
    }
    deflate.finish();
}

}  // namespace veldra::out
