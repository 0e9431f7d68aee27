#include "modelfiles/list_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "modelfiles/file_io.h"

namespace veldra::files {
namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; }

}  // namespace

std::optional<std::int32_t> parse_whole(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

namespace {

// The text of a real as from_chars takes it: the shape checked first (from_chars
// also accepts "inf", "nan" and hex forms, which the model never writes), a
// leading "+" dropped and a D exponent written as "e".
std::optional<std::string> normalized_real(std::string_view text) {
    std::string buf(text);
    std::size_t i = 0;
    if (i < buf.size() && (buf[i] == '+' || buf[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < buf.size() && buf[i] >= '0' && buf[i] <= '9') { ++i; ++digits; }
    if (i < buf.size() && buf[i] == '.') {
        ++i;
        while (i < buf.size() && buf[i] >= '0' && buf[i] <= '9') { ++i; ++digits; }
    }
    if (digits == 0) return std::nullopt;
    if (i < buf.size() && (buf[i] == 'E' || buf[i] == 'e' || buf[i] == 'D' || buf[i] == 'd')) {
        buf[i] = 'e';
        ++i;
        if (i < buf.size() && (buf[i] == '+' || buf[i] == '-')) ++i;
        const std::size_t exp_start = i;
        while (i < buf.size() && buf[i] >= '0' && buf[i] <= '9') ++i;
        if (i == exp_start) return std::nullopt;
    }
    if (i != buf.size()) return std::nullopt;
    if (buf[0] == '+') buf.erase(0, 1);
    return buf;
}

// Parses straight into the target type, so a float is rounded once.
template <typename Real>
std::optional<Real> parse_as(std::string_view text) {
    const auto buf = normalized_real(text);
    if (!buf) return std::nullopt;
    Real value = 0;
    const auto [end, ec] = std::from_chars(buf->data(), buf->data() + buf->size(), value);
    if (end != buf->data() + buf->size() || ec == std::errc::result_out_of_range) return std::nullopt;
    return value;
}

}  // namespace

std::optional<float> parse_real(std::string_view text) { return parse_as<float>(text); }

std::optional<double> parse_number(std::string_view text) { return parse_as<double>(text); }

ListReader::ListReader(std::string_view text, std::string file_name)
    : text_(text), file_name_(std::move(file_name)) {}

void ListReader::fail(std::string_view message) const {
    throw ModelFileError(file_name_ + ": line " + std::to_string(line_) + ": " + std::string(message));
}

bool ListReader::skip_to_value() {
    for (;;) {
        while (pos_ < text_.size() && is_separator(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return false;
        if (text_[pos_] != '\n') return true;
        ++pos_;
        // The end of the file after the last line end is reported on that last line.
        if (pos_ < text_.size()) ++line_;
    }
}

std::string_view ListReader::next_value(std::string_view what) {
    if (!skip_to_value()) fail("expected " + std::string(what) + ", found the end of the file");
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !is_separator(text_[pos_]) && text_[pos_] != '\n') ++pos_;
    return text_.substr(start, pos_ - start);
}

std::int32_t ListReader::read_whole(std::string_view what) {
    const std::string_view token = next_value(what);
    if (auto v = parse_whole(token)) return *v;
    fail("expected a whole number for " + std::string(what) + ", found \"" + std::string(token) + "\"");
}

float ListReader::read_real(std::string_view what) {
    const std::string_view token = next_value(what);
    if (auto v = parse_real(token)) return *v;
    fail("expected a real number for " + std::string(what) + ", found \"" + std::string(token) + "\"");
}

double ListReader::read_number(std::string_view what) {
    const std::string_view token = next_value(what);
    if (auto v = parse_number(token)) return *v;
    fail("expected " + std::string(what) + ", found \"" + std::string(token) + "\"");
}

bool ListReader::read_plain_wholes(std::int32_t* out, int count) {
    const char* p = text_.data() + pos_;
    const char* const end = text_.data() + text_.size();
    for (int k = 0; k < count; ++k) {
        while (p < end && is_separator(*p)) ++p;
        if (p == end) return false;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        const char* const digits = p;
        std::uint64_t value = 0;
        while (p < end && static_cast<unsigned char>(*p - '0') < 10 && p - digits < 10)
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
        if (p == digits || (p < end && !is_separator(*p) && *p != '\n')) return false;
        if (value > (negative ? std::uint64_t{2147483648u} : std::uint64_t{2147483647u})) return false;
        out[k] = static_cast<std::int32_t>(negative ? 0 - value : value);
    }
    pos_ = static_cast<std::size_t>(p - text_.data());
    return true;
}

void ListReader::skip_rest_of_line() {
    // Most lines end right after their last value.
    std::size_t nl = pos_;
    if (nl < text_.size() && text_[nl] == '\r') ++nl;
    if (nl >= text_.size() || text_[nl] != '\n') nl = text_.find('\n', pos_);
    if (nl == std::string_view::npos) {
        pos_ = text_.size();
    } else {
        pos_ = nl + 1;
        ++line_;
    }
}

std::size_t ListReader::remaining_lines() const {
    if (pos_ >= text_.size()) return 0;
    const std::size_t newlines =
        static_cast<std::size_t>(std::count(text_.begin() + pos_, text_.end(), '\n'));
    return newlines + (text_.back() == '\n' ? 0 : 1);
}

}  // namespace veldra::files
