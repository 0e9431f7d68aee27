// The text of a value in the export's grids: a fixed number of decimal places
// chosen by the user, or whole numbers in print style. "." is the decimal
// point whatever the locale.
#pragma once

#include <cstddef>

namespace veldra::out {

// The most decimal places the export writes. A single-precision value has at
// most 149 significant decimal places; far fewer serve any grid.
inline constexpr int kMaxGridDecimals = 100;

class GridValueText {
public:
    // 0 .. kMaxGridDecimals places.
    explicit GridValueText(int decimals);

    int decimals() const { return decimals_; }

    // Room that write() may use for one value: its text is never longer.
    std::size_t max_length() const { return static_cast<std::size_t>(44 + decimals_); }

    // Writes the value and the blank that separates it from the next one.
    //
    // With decimal places d above 0 the value is rounded to d places, halves
    // away from zero, and written with exactly d digits after ".", a minus
    // sign before a negative value and no digit before the point when the
    // rounded value lies strictly between -1 and 1: with d = 3, 0.5 is
    // ".500 ", -0.25 "-.250 " and -255 "-255.000 ".
    //
    // With d = 0 the value is rounded to n = floor(value + 0.5) and written in
    // print style: a blank or a minus sign, the digits, a blank; then the
    // separating blank: 2.5 is " 3  ", -0.5 " 0  ", -255 "-255  ".
    //
    // The value is the exact single-precision number (0.125 is ".13" with two
    // places). NaN is written "NaN", an infinity "Infinity" with its sign.
    char* write(char* out, float value) const { return write_(out, value, decimals_); }

private:
    using Writer = char* (*)(char*, float, int);
    Writer write_;
    int decimals_;
};

}  // namespace veldra::out
