// Numbers as the viewer writes and reads them in its labels, text boxes and
// messages. Every helper works on "." as the decimal point whatever the
// locale: Qt sets LC_NUMERIC from the environment, so nothing here goes
// through the C library's locale-dependent formatting or parsing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veldra::files {

// Rounds to the nearest whole number, halves to the even neighbour.
double round_half_even(double v);

// A number with the pattern "#########.00": two decimals, no leading zero
// (0.5 is ".50", -3.2 is "-3.20", 1234.567 is "1234.57").
std::string format_two_decimals(double value);

// A number as plain decimal text: a whole double below 1e15 in full
// ("5000"), any other in at most 15 significant digits ("2000.5",
// "3.6E+32"); a single-precision value in its shortest form ("4999.5",
// "1E+13").
std::string plain_number(double value);
std::string plain_number(float value);

// A whole number in plain digits with a leading "-" when negative ("-9900").
std::string integer_text(std::int64_t value);

// A number with `decimals` places after the point (0 to 17), e.g. "-62.25".
std::string fixed_number(double value, int decimals);

// A single-precision value in at most seven significant digits, without
// trailing zeros: "4.83", "-9999", "1.234568E+12".
std::string short_number(float value);

// A number with at most `digits` significant digits, in fixed or exponent
// form, whichever is shorter ("1.5E+07"). short_number is this with 7.
std::string significant_number(double value, int digits);

// The whole number at the start of a text box's text: leading blanks
// skipped, an optional sign and digits, anything after them ignored; 0 when
// there are none. Beyond the 32-bit range, the nearest 32-bit value.
std::int32_t text_value(std::string_view text);

}  // namespace veldra::files
