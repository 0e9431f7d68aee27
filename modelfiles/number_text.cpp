#include "modelfiles/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace veldra::files {

double round_half_even(double v) { return std::nearbyint(v); }

std::string format_two_decimals(double value) {
    // Fixed notation of a double takes up to 309 digits before the point.
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    std::string s(buf, r.ptr);
    // No leading zero: "0.50" is ".50", "-0.50" is "-.50".
    const std::size_t digits = !s.empty() && s[0] == '-' ? 1 : 0;
    if (s.compare(digits, 2, "0.") == 0) s.erase(digits, 1);
    return s;
}

std::string integer_text(std::int64_t value) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

std::string plain_number(double value) {
    if (value == 0) return "0";
    char buf[64];
    std::to_chars_result r;
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        r = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(value));
    else
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');  // "1E+20", "INF"
    return s;
}

std::string plain_number(float value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c == 'e') c = 'E';
    return s;
}

std::string fixed_number(double value, int decimals) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                                 decimals < 0 ? 0 : decimals > 17 ? 17 : decimals);
    std::string s(buf, r.ptr);
    if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);  // no "-0.00"
    return s;
}

std::string significant_number(double value, int digits) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    std::string s(buf, r.ptr);
    for (char& c : s)
        if (c == 'e') c = 'E';
    return s;
}

// A float widens to double exactly, so its digits are the same either way.
std::string short_number(float value) { return significant_number(value, 7); }

std::int32_t text_value(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    while (i + 1 < text.size() && text[i] == '0' && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
    std::size_t end = i;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    // Beyond 18 digits (leading zeros aside) every value is out of range anyway.
    if (end - i > 18) return negative ? std::numeric_limits<std::int32_t>::min() : std::numeric_limits<std::int32_t>::max();
    std::int64_t v = 0;
    std::from_chars(text.data() + i, text.data() + end, v);  // no digits leave it 0
    if (negative) v = -v;
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

}  // namespace veldra::files
