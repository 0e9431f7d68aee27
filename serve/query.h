// The parameters of a request: a query string read with limits on its size
// and its number of parameters, keys compared without regard to case (as the
// WMS keys are), and the errors a request can be answered with.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veldra::serve {

// A request that is answered with a 4xx: the HTTP status, the WMS exception
// code (empty for requests that are not WMS) and a message for the user.
class RequestError : public std::runtime_error {
public:
    RequestError(int status, std::string code, const std::string& message)
        : std::runtime_error(message), status_(status), code_(std::move(code)) {}
    int status() const { return status_; }
    const std::string& code() const { return code_; }

private:
    int status_;
    std::string code_;
};

struct QueryLimits {
    std::size_t max_bytes = 8192;    // of the whole query string
    std::size_t max_parameters = 64;
};

class Query {
public:
    // From decoded pairs (raises RequestError 400 past the limits; 413 for
    // too many bytes).
    static Query from_pairs(std::vector<std::pair<std::string, std::string>> pairs, const QueryLimits& limits);
    // The value of `key` (any case), or nullptr. The first of repeated keys.
    const std::string* find(std::string_view key) const;
    // The value of `key`, or raises RequestError 400 MissingParameterValue.
    const std::string& require(std::string_view key) const;
    // The value of `key`, or `fallback`.
    std::string get(std::string_view key, std::string_view fallback = {}) const;
    std::size_t size() const { return pairs_.size(); }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;  // keys lower case
};

// "a=1&B=x%20y" into its pairs, percent- and plus-decoded; a bad escape or
// a query past the limits raises RequestError 400.
Query parse_query_string(std::string_view text, const QueryLimits& limits = {});

// Percent-decoding (with '+' for a blank when `plus` is set); nothing for a
// bad escape.
bool url_decode(std::string_view text, bool plus, std::string& out);

std::string lower_ascii(std::string_view text);
bool equals_ignoring_case(std::string_view a, std::string_view b);

}  // namespace veldra::serve
