// Reads the values of the model's text files the way the model writes them:
// values separated by blanks, tabs or commas, one read taking values across
// line ends as needed. A "\r" before a line end is a blank.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veldra::files {

class ListReader {
public:
    ListReader(std::string_view text, std::string file_name);

    // The next value as a 32-bit whole number or as a single-precision real.
    // `what` names the value in the error raised for a malformed number or
    // for the end of the file.
    std::int32_t read_whole(std::string_view what);
    float read_real(std::string_view what);
    // The next value as a number in double precision.
    double read_number(std::string_view what);

    // Reads `count` whole numbers that all stand on the current line in their
    // plain form: an optional sign and at most ten digits, each ended by a
    // separator or the line end. Returns false, having read nothing, when the
    // next `count` values are not all such numbers on this line; read_whole
    // then reads them (or reports what is wrong) as usual.
    bool read_plain_wholes(std::int32_t* out, int count);

    // Moves past blanks and line ends to the next value, counting the lines
    // as reading it would; false at the end of the text.
    bool skip_to_value();

    // Skips whatever is left of the current line.
    void skip_rest_of_line();

    // The 1-based number of the line the next value is looked for in.
    int line() const { return line_; }

    // Lines from the current position to the end of the text (a last line
    // without a line end counts).
    std::size_t remaining_lines() const;
    // Characters from the current position to the end of the text.
    std::size_t remaining_bytes() const { return text_.size() - pos_; }

    const std::string& file_name() const { return file_name_; }

    // Raises ModelFileError "<file>: line <n>: <message>".
    [[noreturn]] void fail(std::string_view message) const;

private:
    std::string_view next_value(std::string_view what);

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::string file_name_;
};

// Parses a whole number written as the model writes it (an optional sign and
// digits). Nothing for any other text or a value beyond 32 bits.
std::optional<std::int32_t> parse_whole(std::string_view text);

// Parses a real: an optional sign, digits with an optional point, and an
// optional exponent introduced by E, e, D or d. Rounded to single precision.
std::optional<float> parse_real(std::string_view text);
// The same shapes in double precision.
std::optional<double> parse_number(std::string_view text);

}  // namespace veldra::files
