#include "modelfiles/free_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace veldra {
namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes exactly `count` decimal digits of `value` (zero-padded on the left).
void write_fixed_digits(char* out, std::uint32_t value, int count) {
    char* p = out + count;
    while (count >= 2) {
        const std::uint32_t pair = (value % 100) * 2;
        value /= 100;
        p -= 2;
        p[0] = kDigitPairs[pair];
        p[1] = kDigitPairs[pair + 1];
        count -= 2;
    }
    if (count == 1) *--p = static_cast<char>('0' + value % 10);
}

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

using u128 = unsigned __int128;

constexpr u128 pow10_u128(int n) {
    u128 r = 1;
    for (int i = 0; i < n; ++i) r *= 10;
    return r;
}

// Rounds num / den to the nearest whole number, halves to the even neighbour.
u128 divide_round_even(u128 num, u128 den) {
    const u128 q = num / den;
    const u128 rem = num - q * den;
    const u128 twice = rem * 2;
    if (twice > den || (twice == den && (q & 1) != 0)) return q + 1;
    return q;
}

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
    int e = static_cast<int>(std::floor(std::log10(static_cast<double>(a))));
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int s = 6 - e;  // scale: digits = a * 10^s
        u128 num = mant, den = 1;
        if (s >= 0) {
            if (s > 31) return 0;
            num *= pow10_u128(s);
        } else {
            if (-s > 33) return 0;
            den = pow10_u128(-s);
        }
        if (exp2 >= 0) {
            if (exp2 > 100) return 0;
            num <<= exp2;
        } else {
            if (-exp2 > 126 || den > (~u128{0} >> -exp2)) return 0;
            den <<= -exp2;
        }
        const u128 floor_q = num / den;
        if (floor_q < 1000000) { --e; continue; }
        if (floor_q >= 10000000) { ++e; continue; }
        u128 r = divide_round_even(num, den);
        if (r == 10000000) { r = 1000000; ++e; }
        exponent = e;
        return static_cast<std::uint32_t>(r);
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

char* write_real_digits(char* out, float magnitude) {
    if (std::isnan(magnitude)) { std::memcpy(out, "NaN", 3); return out + 3; }
    if (std::isinf(magnitude)) { std::memcpy(out, "Infinity", 8); return out + 8; }
    if (magnitude == 0.0f) { std::memcpy(out, "0.000000", 8); return out + 8; }

    const double a = magnitude;
    // Fixed-point candidates: six significant digits, rounded exactly. With
    // 10^k for k <= 7 the product a * 10^k needs at most 41 significant bits,
    // so it is exact in double precision and nearbyint rounds halves to even.
    if (a >= 0.09 && a < 1e6) {
        int e = 5;  // decimal exponent: 10^e <= a < 10^(e+1)
        while (e > -2 && a < kPow10[e + 2] / 100.0) --e;
        double m = a * kPow10[5 - e];
        if (m < 100000.0) { --e; m = a * kPow10[5 - e]; }
        auto r = static_cast<std::uint32_t>(std::nearbyint(m));
        if (r == 1000000) { r = 100000; ++e; }
        if (e >= -1 && e <= 5) {
            char d[6];
            write_fixed_digits(d, r, 6);
            if (e == -1) {
                out[0] = '0';
                out[1] = '.';
                std::memcpy(out + 2, d, 6);
                return out + 8;
            }
            const int before = e + 1;
            std::memcpy(out, d, before);
            out[before] = '.';
            std::memcpy(out + before + 1, d + before, 6 - before);
            return out + 7;
        }
    }
    return write_exponent_form(out, magnitude);
}

char* write_real_item(char* out, float value) {
    if (std::signbit(value) && value != 0.0f && !std::isnan(value)) {
        out[0] = ' ';
        out[1] = '-';
        return write_real_digits(out + 2, -value);
    }
    out[0] = ' ';
    out[1] = ' ';
    return write_real_digits(out + 2, std::isnan(value) ? value : std::fabs(value));
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

}  // namespace veldra
