// The free-format line: the one text form of every console line and every
// body row of a grid file that layer_exporter writes.
//
// A line starts with one blank. A text item is written as it stands, preceded
// by one blank unless it is the first item or follows another text item. A
// number is preceded by two blanks, or by a blank and the minus sign when it
// is negative. Reals take six significant digits in fixed-point form for 0 and
// for magnitudes from 0.1 up to below 1000000 ("12.5000", "-9999.00",
// "123456."), and one digit, six decimals and a two-digit exponent otherwise
// ("5.000000E-02"). The caller adds the line end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veldra::files {

// The two digits of 0 .. 99, in pairs: "00", "01", ..., "99".
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes exactly `count` decimal digits of `value`, zero-padded on the left.
template <typename Unsigned>
inline void write_fixed_digits(char* out, Unsigned value, int count) {
    char* p = out + count;
    while (count >= 2) {
        const auto pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        p -= 2;
        p[0] = kDigitPairs[pair];
        p[1] = kDigitPairs[pair + 1];
        count -= 2;
    }
    if (count == 1) *--p = static_cast<char>('0' + value % 10);
}

// Longest text that write_real_item / write_whole_item produce.
inline constexpr std::size_t kMaxNumberItem = 16;

// Writes the digits of a real in free-format form, without sign or blanks:
// "12.5000", "0.000000", "5.000000E-02". NaN is written "NaN", an infinity
// "Infinity". `magnitude` must not be negative. Returns the end of the text.
char* write_real_digits(char* out, float magnitude);

// Writes a real as a number item: two blanks or " -", then its digits.
// A negative zero counts as zero.
char* write_real_item(char* out, float value);

// Writes a 32-bit whole number as a number item ("  5", " -5").
char* write_whole_item(char* out, std::int32_t value);

class FreeFormatLine {
public:
    FreeFormatLine& text(std::string_view item);
    FreeFormatLine& whole(std::int32_t item);
    FreeFormatLine& real(float item);

    // The line so far, without a line end.
    const std::string& str() const { return line_; }

private:
    std::string line_ = " ";
    bool previous_was_text_ = false;
    bool empty_ = true;
};

}  // namespace veldra::files
