// PNG of an RGBA picture, through libspng.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace veldra::serve {

// The PNG file of `rgba` (width x height pixels, 8 bits a channel, rows from
// the top). Raises std::runtime_error when libspng fails.
std::string encode_png(std::span<const std::uint8_t> rgba, int width, int height);

}  // namespace veldra::serve
