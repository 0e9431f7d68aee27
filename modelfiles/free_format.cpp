#include "modelfiles/free_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace veldra::files {
namespace {

static_assert(std::endian::native == std::endian::little, "the digit packing below assumes little-endian");

using u128 = unsigned __int128;

constexpr auto kPow10U128 = [] {
    std::array<u128, 39> t{};
    t[0] = 1;
    for (std::size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
    return t;
}();

// Seven significant digits of `a` (a > 0, finite), exactly rounded, halves to
// even: returns the digits as 1000000..9999999 and sets `exponent` so that the
// value is digits * 10^(exponent - 6). Returns 0 if `a` lies outside the range
// the 128-bit arithmetic covers.
std::uint32_t seven_digits(float a, int& exponent) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(a);
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    std::uint64_t mant = bits & 0x7FFFFF;
    int exp2;
    if (biased == 0) {
        exp2 = -149;  // subnormal
    } else {
        mant |= 0x800000;
        exp2 = biased - 150;
    }
    // Decade estimate from the binary exponent; the loop below corrects it.
    const int bit_length = biased == 0 ? 64 - __builtin_clzll(mant) : 24;
    int e = ((exp2 + bit_length - 1) * 1233) >> 12;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int s = 6 - e;  // scale: digits = a * 10^s
        if (s > 31 || -s > 33) return 0;
        u128 num = mant;
        if (s >= 0) num *= kPow10U128[s];
        u128 q, rem, den;
        if (s >= 0 && exp2 < 0) {
            // Small values divide by a power of two only: shifts, no division.
            const int shift = -exp2;
            if (shift > 126) return 0;
            den = u128{1} << shift;
            q = num >> shift;
            rem = num & (den - 1);
        } else {
            den = s < 0 ? kPow10U128[-s] : 1;
            if (exp2 >= 0) {
                if (exp2 > 100) return 0;
                num <<= exp2;
            } else {
                if (den > (~u128{0} >> -exp2)) return 0;
                den <<= -exp2;
            }
            q = num / den;
            rem = num - q * den;
        }
        if (q < 1000000) { --e; continue; }
        if (q >= 10000000) { ++e; continue; }
        // Round to nearest, halves to the even neighbour.
        const u128 twice = rem * 2;
        if (twice > den || (twice == den && (q & 1) != 0)) ++q;
        if (q == 10000000) { q = 1000000; ++e; }
        exponent = e;
        return static_cast<std::uint32_t>(q);
    }
    return 0;
}

char* write_exponent_form(char* out, float a) {
    int e = 0;
    std::uint32_t digits = seven_digits(a, e);
    if (digits == 0) {
        // Outside the exact fast range (far below 1e-25 or near the top of
        // single precision): the standard library formats it exactly.
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 6);
        const char* epos = static_cast<const char*>(std::memchr(buf, 'e', res.ptr - buf));
        const std::size_t mantissa_len = epos - buf;
        std::memcpy(out, buf, mantissa_len);
        out += mantissa_len;
        *out++ = 'E';
        int ev = 0;
        std::from_chars(epos + 1 + (epos[1] == '+'), res.ptr, ev);
        e = ev;
        *out++ = e < 0 ? '-' : '+';
        const int ae = e < 0 ? -e : e;
        if (ae >= 100) out = std::to_chars(out, out + 3, ae).ptr;
        else { write_fixed_digits(out, static_cast<std::uint32_t>(ae), 2); out += 2; }
        return out;
    }
    char d[7];
    write_fixed_digits(d, digits, 7);
    *out++ = d[0];
    *out++ = '.';
    std::memcpy(out, d + 1, 6);
    out += 6;
    *out++ = 'E';
    *out++ = e < 0 ? '-' : '+';
    const int ae = e < 0 ? -e : e;
    write_fixed_digits(out, static_cast<std::uint32_t>(ae), 2);
    return out + 2;
}

}  // namespace

namespace {

constexpr std::uint64_t kPow10U64[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
// 10^e for e = -3 .. 7 in single precision, used only to compare against.
constexpr float kDecadeF[] = {1e-3f, 1e-2f, 1e-1f, 1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};

// The six decimal digits of 100000 <= r <= 999999 as characters in memory
// order, in the low six bytes of the result.
std::uint64_t six_digit_chars(std::uint32_t r) {
    std::uint16_t pair[3];
    std::memcpy(&pair[0], kDigitPairs + (r / 10000) * 2, 2);
    std::memcpy(&pair[1], kDigitPairs + (r / 100 % 100) * 2, 2);
    std::memcpy(&pair[2], kDigitPairs + (r % 100) * 2, 2);
    std::uint64_t v = 0;
    std::memcpy(&v, pair, 6);
    return v;
}

// Fixed-point form for 0.09 <= a < 1000000. Returns nullptr when the value,
// rounded to six significant digits, falls outside 0.1 .. 999999.5, where the
// exponent form applies.
char* write_fixed_form(char* out, float magnitude) {
    // magnitude = mant * 2^-shift exactly, with 4 <= shift <= 27 in this range.
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(magnitude);
    const int biased = static_cast<int>(bits >> 23);
    const std::uint64_t mant = (bits & 0x7FFFFF) | 0x800000;
    const int shift = 150 - biased;
    // The decade from the binary exponent: floor(exp2 * log10(2)) is at most
    // one below the true one.
    int e = ((biased - 127) * 1233) >> 12;
    if (magnitude >= kDecadeF[e + 4]) ++e;
    // Six digits: mant * 10^(5 - e) / 2^shift, rounded to nearest, halves to
    // even. The product stays below 2^48, so all of it is exact.
    std::uint64_t scaled = mant * kPow10U64[5 - e];
    std::uint64_t r = scaled >> shift;
    if (r < 100000) {  // 0.01 and 0.1 are not exact in binary; the digits settle it
        --e;
        if (e < -2) return nullptr;
        scaled = mant * kPow10U64[5 - e];
        r = scaled >> shift;
    }
    const std::uint64_t rem = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    r += static_cast<std::uint64_t>(rem + (r & 1) > half);  // branch-free: the digits are random
    if (r == 1000000) {
        r = 100000;
        ++e;
    }
    if (e < -1 || e > 5) return nullptr;

    const std::uint64_t digits = six_digit_chars(static_cast<std::uint32_t>(r));
    if (e == -1) {  // "0." and six decimals
        std::memcpy(out, "0.", 2);
        std::memcpy(out + 2, &digits, 8);
        return out + 8;
    }
    // Insert the point after e + 1 digits.
    const int before = (e + 1) * 8;
    const std::uint64_t low = before == 48 ? digits : digits & ((std::uint64_t{1} << before) - 1);
    const std::uint64_t high = before == 48 ? 0 : (digits >> before) << (before + 8);
    const std::uint64_t text = low | (std::uint64_t{'.'} << before) | high;
    std::memcpy(out, &text, 8);
    return out + 7;
}

}  // namespace

char* write_real_digits(char* out, float magnitude) {
    if (magnitude == 0.0f) { std::memcpy(out, "0.000000", 8); return out + 8; }
    if (std::isnan(magnitude)) { std::memcpy(out, "NaN", 3); return out + 3; }
    if (std::isinf(magnitude)) { std::memcpy(out, "Infinity", 8); return out + 8; }
    if (magnitude >= 0.09f && magnitude < 1e6f)
        if (char* end = write_fixed_form(out, magnitude)) return end;
    return write_exponent_form(out, magnitude);
}

char* write_real_item(char* out, float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const float magnitude = std::bit_cast<float>(bits & 0x7FFFFFFFu);
    // A negative zero counts as zero; NaN has no sign.
    const bool negative = (bits >> 31) != 0 && magnitude != 0.0f && !std::isnan(magnitude);
    out[0] = ' ';
    out[1] = negative ? '-' : ' ';
    if (magnitude >= 0.09f && magnitude < 1e6f)
        if (char* end = write_fixed_form(out + 2, magnitude)) return end;
    return write_real_digits(out + 2, magnitude);
}

char* write_whole_item(char* out, std::int32_t value) {
    out[0] = ' ';
    out[1] = value < 0 ? '-' : ' ';
    const std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    return std::to_chars(out + 2, out + kMaxNumberItem, magnitude).ptr;
}

FreeFormatLine& FreeFormatLine::text(std::string_view item) {
    if (!empty_ && !previous_was_text_) line_ += ' ';
    line_ += item;
    previous_was_text_ = true;
    empty_ = false;
    return *this;
}

FreeFormatLine& FreeFormatLine::whole(std::int32_t item) {
    char buf[kMaxNumberItem];
    line_.append(buf, write_whole_item(buf, item));
    previous_was_text_ = false;
    empty_ = false;
    return *this;
}

FreeFormatLine& FreeFormatLine::real(float item) {
    char buf[kMaxNumberItem];
    line_.append(buf, write_real_item(buf, item));
    previous_was_text_ = false;
    empty_ = false;
    return *this;
}

}  // namespace veldra::files
