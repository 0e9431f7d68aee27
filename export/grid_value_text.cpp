#include "export/grid_value_text.h"

#include "modelfiles/free_format.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace veldra::out {
namespace {

using u128 = unsigned __int128;

constexpr std::uint64_t kPow10[] = {1,          10,          100,          1000,          10000,
                                    100000,     1000000,     10000000,     100000000,     1000000000,
                                    10000000000ull};

char* write_u64(char* out, std::uint64_t v) { return std::to_chars(out, out + 20, v).ptr; }

// A whole number of up to 39 digits.
char* write_u128(char* out, u128 v) {
    constexpr std::uint64_t kChunk = 10000000000000000000ull;  // 10^19
    if (v <= UINT64_MAX) return write_u64(out, static_cast<std::uint64_t>(v));
    out = write_u128(out, v / kChunk);
    files::write_fixed_digits(out, static_cast<std::uint64_t>(v % kChunk), 19);
    return out + 19;
}

// A float split into sign, 24-bit mantissa and binary exponent: the
// magnitude is mant * 2^exp2 exactly.
struct Parts {
    bool negative;  // a minus sign is written: the sign bit of a non-zero value
    bool special;   // NaN or infinite
    std::uint64_t mant;
    int exp2;
};

Parts parts_of(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    Parts p{};
    p.mant = bits & 0x7FFFFF;
    p.special = biased == 0xFF;
    if (biased == 0) {
        p.exp2 = -149;
    } else {
        p.mant |= 0x800000;
        p.exp2 = biased - 150;
    }
    p.negative = (bits >> 31) != 0 && (p.mant != 0 || p.special) && !std::isnan(value);
    return p;
}

char* write_special(char* out, float value) {
    if (std::isnan(value)) {
        std::memcpy(out, "NaN", 3);
        return out + 3;
    }
    if (value < 0) *out++ = '-';
    std::memcpy(out, "Infinity", 8);
    return out + 8;
}

// Up to 9 places: the value times 10^D fits 64 bits before the shift.
template <int D>
char* write_places(char* out, float value, int) {
    const Parts p = parts_of(value);
    if (p.special) {
        out = write_special(out, value);
        *out++ = ' ';
        return out;
    }
    if (p.negative) *out++ = '-';
    constexpr std::uint64_t scale = kPow10[D];
    if (p.exp2 >= 0) {  // a whole number of 2^23 or more
        out = write_u128(out, u128{p.mant} << p.exp2);
        *out++ = '.';
        std::memset(out, '0', D);
        out += D;
        *out++ = ' ';
        return out;
    }
    const int shift = -p.exp2;
    // mant * 10^D < 2^54: beyond a shift of 55 it rounds to 0.
    std::uint64_t q = 0;
    if (shift <= 55) {
        const std::uint64_t scaled = p.mant * scale;
        q = ((scaled >> (shift - 1)) + 1) >> 1;  // halves away from zero
    }
    const std::uint64_t whole = q / scale;
    if (whole != 0) out = write_u64(out, whole);
    *out++ = '.';
    files::write_fixed_digits(out, q - whole * scale, D);
    out += D;
    *out++ = ' ';
    return out;
}

// Any number of places, from the exact binary fraction: at most 149
// fraction bits, held in five 32-bit limbs with room for a factor of 10.
char* write_places_exact(char* out, float value, int places) {
    const Parts p = parts_of(value);
    if (p.special) {
        out = write_special(out, value);
        *out++ = ' ';
        return out;
    }
    u128 whole = 0;
    std::uint32_t frac[5] = {};
    int shift = 0;
    if (p.exp2 >= 0) {
        whole = u128{p.mant} << p.exp2;
    } else {
        shift = -p.exp2;
        whole = shift >= 64 ? 0 : p.mant >> shift;
        const std::uint64_t low = shift >= 64 ? p.mant : p.mant & ((std::uint64_t{1} << shift) - 1);
        frac[0] = static_cast<std::uint32_t>(low);
        frac[1] = static_cast<std::uint32_t>(low >> 32);
    }
    char digits[kMaxGridDecimals + 1] = {};
    for (int i = 0; i <= places; ++i) {
        if (shift == 0) {
            digits[i] = '0';
            continue;
        }
        std::uint64_t carry = 0;
        for (std::uint32_t& limb : frac) {
            const std::uint64_t v = std::uint64_t{limb} * 10 + carry;
            limb = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
        // The digit is what stands at bit `shift` and above; clear it.
        const int limb = shift / 32, bit = shift % 32;
        std::uint64_t above = frac[limb] >> bit;
        if (bit != 0 && limb + 1 < 5) above |= std::uint64_t{frac[limb + 1]} << (32 - bit);
        digits[i] = static_cast<char>('0' + (above & 0xF));
        frac[limb] &= bit == 0 ? 0u : (std::uint32_t{1} << bit) - 1;
        for (int j = limb + 1; j < 5; ++j) frac[j] = 0;
    }
    if (digits[places] >= '5') {  // halves away from zero
        int i = places - 1;
        for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
        if (i >= 0) ++digits[i];
        else ++whole;
    }
    if (p.negative) *out++ = '-';
    if (whole != 0) out = write_u128(out, whole);
    *out++ = '.';
    std::memcpy(out, digits, static_cast<std::size_t>(places));
    out += places;
    *out++ = ' ';
    return out;
}

// Print style: floor(value + 0.5), a blank or minus sign before it and a
// blank after it, then the separating blank.
char* write_whole(char* out, float value, int) {
    const Parts p = parts_of(value);
    if (p.special) {
        if (!(value < 0)) *out++ = ' ';
        out = write_special(out, value);
    } else if (p.exp2 >= 0) {  // already whole
        *out++ = p.negative ? '-' : ' ';
        out = write_u128(out, u128{p.mant} << p.exp2);
    } else {
        // floor(value + 0.5) on the exact binary value: halves go up, so a
        // magnitude rounds half up when positive and half down when negative.
        const int shift = -p.exp2;
        std::uint64_t n = 0;
        if (shift <= 60) {
            const std::uint64_t half = std::uint64_t{1} << (shift - 1);
            n = (p.mant + half - (p.negative ? 1 : 0)) >> shift;
        }
        *out++ = p.negative && n != 0 ? '-' : ' ';
        out = write_u64(out, n);
    }
    out[0] = ' ';
    out[1] = ' ';
    return out + 2;
}

}  // namespace

GridValueText::GridValueText(int decimals) : decimals_(decimals) {
    if (decimals < 0 || decimals > kMaxGridDecimals)
        throw std::invalid_argument("decimal places outside 0 .. kMaxGridDecimals");
    switch (decimals) {
        case 0: write_ = write_whole; break;
        case 1: write_ = write_places<1>; break;
        case 2: write_ = write_places<2>; break;
        case 3: write_ = write_places<3>; break;
        case 4: write_ = write_places<4>; break;
        case 5: write_ = write_places<5>; break;
        case 6: write_ = write_places<6>; break;
        case 7: write_ = write_places<7>; break;
        case 8: write_ = write_places<8>; break;
        case 9: write_ = write_places<9>; break;
        default: write_ = write_places_exact; break;
    }
}

}  // namespace veldra::out
