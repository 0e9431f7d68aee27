#include "serve/png_encode.h"

#include <spng.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace veldra::serve {

std::string encode_png(std::span<const std::uint8_t> rgba, int width, int height) {
    std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
    if (!ctx) throw std::runtime_error("libspng: no encoder");
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    // Fast compression, as a tile is made on each request: a map repeats the
    // row above (the "up" filter makes that zeros) and runs of one colour
    // along a row, which run-length deflate finds at little cost.
    spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, 1);
    spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_STRATEGY, 3);  // Z_RLE
    spng_set_option(ctx.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_UP);
    spng_ihdr ihdr{};
    ihdr.width = static_cast<std::uint32_t>(width);
    ihdr.height = static_cast<std::uint32_t>(height);
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    if (int e = spng_set_ihdr(ctx.get(), &ihdr)) throw std::runtime_error(std::string("libspng: ") + spng_strerror(e));
    if (int e = spng_encode_image(ctx.get(), rgba.data(), rgba.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE))
        throw std::runtime_error(std::string("libspng: ") + spng_strerror(e));
    std::size_t size = 0;
    int error = 0;
    void* buffer = spng_get_png_buffer(ctx.get(), &size, &error);
    if (!buffer) throw std::runtime_error(std::string("libspng: ") + spng_strerror(error));
    std::string png(static_cast<const char*>(buffer), size);
    std::free(buffer);
    return png;
}

}  // namespace veldra::serve
