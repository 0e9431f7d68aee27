#include "serve/query.h"

#include <algorithm>

namespace veldra::serve {

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool url_decode(std::string_view text, bool plus, std::string& out) {
    out.clear();
    out.reserve(text.size());
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return false;
            const int h = hex(text[i + 1]), l = hex(text[i + 2]);
            if (h < 0 || l < 0) return false;
            out.push_back(static_cast<char>(h * 16 + l));
            i += 2;
        } else if (c == '+' && plus) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return true;
}

Query Query::from_pairs(std::vector<std::pair<std::string, std::string>> pairs, const QueryLimits& limits) {
    if (pairs.size() > limits.max_parameters)
        throw RequestError(400, "", "too many parameters: " + std::to_string(pairs.size()) + ", at most " +
                                        std::to_string(limits.max_parameters));
    std::size_t bytes = 0;
    for (const auto& [k, v] : pairs) bytes += k.size() + v.size() + 2;
    if (bytes > limits.max_bytes)
        throw RequestError(413, "", "the query is too long: at most " + std::to_string(limits.max_bytes) + " bytes");
    Query q;
    q.pairs_ = std::move(pairs);
    for (auto& [k, v] : q.pairs_) k = lower_ascii(k);
    return q;
}

const std::string* Query::find(std::string_view key) const {
    const std::string lower = lower_ascii(key);
    for (const auto& [k, v] : pairs_)
        if (k == lower) return &v;
    return nullptr;
}

const std::string& Query::require(std::string_view key) const {
    if (const std::string* v = find(key)) return *v;
    throw RequestError(400, "MissingParameterValue", "the parameter " + std::string(key) + " is missing");
}

std::string Query::get(std::string_view key, std::string_view fallback) const {
    const std::string* v = find(key);
    return v ? *v : std::string(fallback);
}

Query parse_query_string(std::string_view text, const QueryLimits& limits) {
    if (text.size() > limits.max_bytes)
        throw RequestError(413, "", "the query is too long: at most " + std::to_string(limits.max_bytes) + " bytes");
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view part = text.substr(start, end - start);
        if (!part.empty()) {
            if (pairs.size() >= limits.max_parameters)
                throw RequestError(400, "", "too many parameters: at most " + std::to_string(limits.max_parameters));
            const std::size_t eq = part.find('=');
            std::string key, value;
            if (!url_decode(part.substr(0, eq), true, key) ||
                !url_decode(eq == std::string_view::npos ? std::string_view{} : part.substr(eq + 1), true, value))
                throw RequestError(400, "", "a parameter holds a bad %-escape");
            pairs.emplace_back(std::move(key), std::move(value));
        }
        start = end + 1;
    }
    return Query::from_pairs(std::move(pairs), limits);
}

}  // namespace veldra::serve
