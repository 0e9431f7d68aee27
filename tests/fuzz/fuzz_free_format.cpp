// The free-format writer over every single-precision value (4-byte inputs).
// Its text is the exactly rounded decimal of the value: six significant
// digits in fixed-point form when those lie from 0.1 to below 1000000, else
// seven in exponent form. Six or seven digits cannot tell every float apart,
// so reading back gives the float nearest that decimal, which writes the
// same text again. The item carries the sign of the value.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "modelfiles/free_format.h"
#include "modelfiles/list_reader.h"
#include "tests/fuzz/fuzz_check.h"

using namespace veldra;
using namespace veldra::files;
using fuzz::check;

namespace {

struct Decimal {
    std::string digits;  // significant digits
    int exponent = 0;    // of the first digit
};

// The value rounded to `significant` digits by the standard library.
Decimal reference(float magnitude, int significant) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, significant - 1);
    const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
    const std::size_t e = text.find('e');
    Decimal d;
    for (char c : text.substr(0, e))
        if (c != '.') d.digits += c;
    const std::string_view exp = text.substr(e + 1 + (text[e + 1] == '+'));
    std::from_chars(exp.data(), exp.data() + exp.size(), d.exponent);
    return d;
}

std::string expected_text(float magnitude) {
    if (magnitude == 0) return "0.000000";
    if (std::isnan(magnitude)) return "NaN";
    if (std::isinf(magnitude)) return "Infinity";
    const Decimal six = reference(magnitude, 6);
    if (six.exponent >= -1 && six.exponent <= 5) {
        if (six.exponent == -1) return "0." + six.digits;
        const std::size_t point = static_cast<std::size_t>(six.exponent) + 1;
        return six.digits.substr(0, point) + "." + six.digits.substr(point);
    }
    const Decimal seven = reference(magnitude, 7);
    const int ae = std::abs(seven.exponent);
    return seven.digits.substr(0, 1) + "." + seven.digits.substr(1) + "E" + (seven.exponent < 0 ? "-" : "+") +
           (ae < 10 ? "0" : "") + fuzz::number(ae);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size != 4) return -1;
    std::uint32_t bits;
    std::memcpy(&bits, data, 4);
    const float value = std::bit_cast<float>(bits);
    const float magnitude = std::fabs(value);

    char item[veldra::files::kMaxNumberItem + 16];
    const std::size_t length = static_cast<std::size_t>(veldra::files::write_real_item(item, value) - item);
    check(length <= veldra::files::kMaxNumberItem, "an item longer than kMaxNumberItem");
    const std::string_view text(item, length);
    const bool negative = value < 0;
    check(text.starts_with(negative ? " -" : "  "), "the item does not start with the sign of the value");
    const std::string_view digits = text.substr(2);

    char alone[veldra::files::kMaxNumberItem + 16];
    const std::string_view written(alone, static_cast<std::size_t>(veldra::files::write_real_digits(alone, magnitude) - alone));
    check(written == digits, "write_real_digits and write_real_item differ");

    const std::string expected = expected_text(magnitude);
    check(digits == expected, "wrote \"" + std::string(digits) + "\", expected \"" + expected + "\"");
    if (!std::isfinite(magnitude)) return 0;

    // Read back as the model's own reader reads it, and written again.
    const std::optional<float> back = veldra::files::parse_real(negative ? text.substr(1) : digits);
    check(back.has_value(), "the model's reader refuses \"" + std::string(text) + "\"");
    check(*back == 0 || std::signbit(*back) == negative, "reads back with another sign");
    char again[veldra::files::kMaxNumberItem + 16];
    const std::string_view rewritten(again, static_cast<std::size_t>(veldra::files::write_real_item(again, *back) - again));
    check(rewritten == text, "\"" + std::string(text) + "\" reads back to a float written \"" +
                                 std::string(rewritten) + "\"");
    return 0;
}
