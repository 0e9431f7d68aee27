// The request parsers of veldra_serve: any text is a tile's address within
// its bounds or refused with 400 or 404; any query string is either read into
// its parameters (keys in lower case, within the limits) or refused with a
// 4xx; each value then goes through the parsers of the WMS keys, which
// answer a box with its minimum below its maximum, a size within its
// bound, a month 1 to 12, or a 4xx.
#include <cmath>

#include "serve/geometry.h"
#include "serve/query.h"
#include "serve/render.h"
#include "tests/fuzz/fuzz_check.h"

using namespace veldra::serve;
using veldra::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = veldra::fuzz::text_of(data, size);
    const QueryLimits limits{2048, 32};
    // The same text as the path of a tile.
    try {
        const TileAddress t = parse_tile_path(text);
        check(t.layer >= 1 && t.z >= 0 && t.z <= 22 && t.month.month >= 1 && t.month.month <= 12,
              "a tile address out of its bounds");
        check(t.box.min_x < t.box.max_x && t.box.min_y < t.box.max_y, "a tile of no area");
    } catch (const RequestError& e) {
        check(e.status() == 400 || e.status() == 404, "a tile path refused without 400 or 404");
    }
    try {
        const Query q = parse_query_string(text, limits);
        check(q.size() <= limits.max_parameters, "more parameters than the limit");
        for (const char* key : {"bbox", "width", "time", "crs", "styles", "colorscalerange", "BBOX"}) {
            const std::string* v = q.find(key);
            if (!v) continue;
            for (const Crs crs : {Crs::epsg4326, Crs::crs84, Crs::epsg3857}) {
                try {
                    const Box b = parse_bbox(*v, crs);
                    check(b.min_x < b.max_x && b.min_y < b.max_y, "a box of no area");
                    check(std::isfinite(b.min_x) && std::isfinite(b.max_y), "a box that is not finite");
                } catch (const RequestError& e) {
                    check(e.status() >= 400 && e.status() < 500, "a box refused without a 4xx");
                }
            }
            try {
                const int w = parse_size(*v, "WIDTH", 4096);
                check(w >= 1 && w <= 4096, "a size out of its bound");
            } catch (const RequestError& e) {
                check(e.status() == 400, "a size refused without 400");
            }
            if (const auto m = parse_month(*v)) check(m->month >= 1 && m->month <= 12, "a month out of 1-12");
            (void)parse_crs(*v);
            (void)style_ramp(*v);
            try {
                const auto [lo, hi] = parse_range(*v, v->size() % 2 == 0);
                check(lo < hi, "a range that does not rise");
            } catch (const RequestError& e) {
                check(e.status() == 400, "a range refused without 400");
            }
        }
    } catch (const RequestError& e) {
        check(e.status() >= 400 && e.status() < 500, "a query refused without a 4xx");
    }
    return 0;
}
