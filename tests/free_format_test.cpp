#include "modelfiles/free_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace veldra {
namespace {

std::string real_item(float v) {
    char buf[files::kMaxNumberItem];
    return std::string(buf, files::write_real_item(buf, v));
}

std::string whole_item(std::int32_t v) {
    char buf[files::kMaxNumberItem];
    return std::string(buf, files::write_whole_item(buf, v));
}

struct RealCase {
    float value;
    const char* text;
};

TEST(FreeFormatReal, WorkedExamples) {
    const RealCase cases[] = {
        {0.0f, "  0.000000"},         {0.5f, "  0.500000"},        {12.5f, "  12.5000"},
        {-255.0f, " -255.000"},       {-9999.0f, " -9999.00"},     {123456.0f, "  123456."},
        {0.25f, "  0.250000"},        {1234.5f, "  1234.50"},      {0.05f, "  5.000000E-02"},
        {1000000.0f, "  1.000000E+06"}, {-0.5f, " -0.500000"},     {4999.0f, "  4999.00"},
        {2000.0f, "  2000.00"},       {1.0f, "  1.00000"},         {0.1f, "  0.100000"},
        {999999.0f, "  999999."},     {-0.05f, " -5.000000E-02"},  {1e-10f, "  1.000000E-10"},
        {3.0e38f, "  3.000000E+38"},  {-0.0f, "  0.000000"},
    };
    for (const RealCase& c : cases) EXPECT_EQ(real_item(c.value), c.text) << "value " << c.value;
}

TEST(FreeFormatReal, RoundingAcrossTheFormBoundaries) {
    // Six significant digits decide the form: a value that rounds up to
    // 1000000 is written in exponent form, one that rounds up to 0.1 in fixed.
    EXPECT_EQ(real_item(999999.5f), "  9.999995E+05");
    EXPECT_EQ(real_item(999999.4f), "  999999.");
    EXPECT_EQ(real_item(0.09999999f), "  0.100000");
    EXPECT_EQ(real_item(9.9999995f), "  10.0000");
    // Halves go to the even neighbour on the exact binary value.
    EXPECT_EQ(real_item(0.1234565f), "  0.123457");  // stored above the half
    EXPECT_EQ(real_item(1048576.5f), "  1.048576E+06");
    EXPECT_EQ(real_item(1048577.5f), "  1.048578E+06");
}

TEST(FreeFormatReal, NotANumberAndInfinity) {
    EXPECT_EQ(real_item(std::numeric_limits<float>::quiet_NaN()), "  NaN");
    EXPECT_EQ(real_item(std::numeric_limits<float>::infinity()), "  Infinity");
    EXPECT_EQ(real_item(-std::numeric_limits<float>::infinity()), " -Infinity");
}

// The text the rules give, computed independently from the C library's exact
// decimal conversion.
std::string reference_digits(float a) {
    char six[32];
    std::snprintf(six, sizeof six, "%.5e", static_cast<double>(a));
    const double rounded = std::strtod(six, nullptr);
    char out[32];
    if (rounded >= 0.1 && rounded < 1e6) {
        const int e = static_cast<int>(std::floor(std::log10(rounded) + 1e-9));
        const int decimals = e < 0 ? 6 : 5 - e;
        if (decimals == 0) std::snprintf(out, sizeof out, "%.0f.", rounded);
        else std::snprintf(out, sizeof out, "%.*f", decimals, rounded);
        return out;
    }
    std::snprintf(out, sizeof out, "%.6E", static_cast<double>(a));
    return out;
}

TEST(FreeFormatReal, AgreesWithExactDecimalConversionAcrossTheRange) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<std::uint32_t> bits_dist(0, 0x7F7FFFFF);  // finite, positive
    std::uniform_real_distribution<float> near_one(0.0f, 2000.0f);
    for (int i = 0; i < 400000; ++i) {
        const float a = i % 2 ? std::bit_cast<float>(bits_dist(rng)) : near_one(rng);
        if (a == 0.0f) continue;
        char buf[32];
        const std::string got(buf, files::write_real_digits(buf, a));
        ASSERT_EQ(got, reference_digits(a)) << "bits " << std::bit_cast<std::uint32_t>(a);
    }
}

TEST(FreeFormatWhole, SignAndSpacing) {
    EXPECT_EQ(whole_item(5), "  5");
    EXPECT_EQ(whole_item(-5), " -5");
    EXPECT_EQ(whole_item(0), "  0");
    EXPECT_EQ(whole_item(2000), "  2000");
    EXPECT_EQ(whole_item(std::numeric_limits<std::int32_t>::min()), " -2147483648");
}

TEST(FreeFormatLine, ItemsAndSeparators) {
    EXPECT_EQ(files::FreeFormatLine().text(" ").str(), "  ");
    EXPECT_EQ(files::FreeFormatLine()
                  .text("Exporting layer").whole(1).text("of month").whole(1).text("of year").whole(2000)
                  .str(),
              " Exporting layer  1 of month  1 of year  2000");
    EXPECT_EQ(files::FreeFormatLine().real(-9999.0f).text(" ").real(-255.0f).text(" ").real(12.5f).text(" ").str(),
              "  -9999.00   -255.000    12.5000  ");
    EXPECT_EQ(files::FreeFormatLine().text("ab").text("cd").whole(-5).text("x").str(), " abcd -5 x");
    EXPECT_EQ(files::FreeFormatLine()
                  .text("Something is out of sync. Expected  was").whole(5000)
                  .text("and read-in was").real(4999.0f)
                  .str(),
              " Something is out of sync. Expected  was  5000 and read-in was  4999.00");
}

TEST(FreeFormatLine, Announcement) {
    EXPECT_EQ(files::FreeFormatLine()
                  .text("Exporting data from ").text("C:\\run\\Output\\Precip.vrd")
                  .text(" to files named like ").text("C:\\maps\\precip")
                  .text(" starting with year").whole(2000)
                  .text("and ending with year").whole(2005)
                  .text("and including").whole(1).text(" layer(s).")
                  .str(),
              " Exporting data from C:\\run\\Output\\Precip.vrd to files named like C:\\maps\\precip "
              "starting with year  2000 and ending with year  2005 and including  1  layer(s).");
}

}  // namespace
}  // namespace veldra
