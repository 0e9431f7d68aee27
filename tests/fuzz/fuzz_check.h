// What the fuzz targets share: a broken expectation aborts with its reason,
// so that libFuzzer reports it and keeps the input.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace veldra::fuzz {

[[noreturn]] inline void fail(std::string_view what) {
    std::fputs("fuzz check failed: ", stderr);
    std::fwrite(what.data(), 1, what.size(), stderr);
    std::fputc('\n', stderr);
    std::abort();
}

inline void check(bool ok, std::string_view what) {
    if (!ok) fail(what);
}

inline std::string_view text_of(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

template <typename Int>
std::string number(Int value) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

// Lines as a reader that stops at the end of the text counts them: a last
// line without a line end counts.
inline std::size_t line_count(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n';
    return n + (!text.empty() && text.back() != '\n');
}

}  // namespace veldra::fuzz
