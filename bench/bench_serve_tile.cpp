// The tile path of veldra_serve in one process, without a network: the
// grid positions of a tile's pixels, drawing them and the PNG, each timed
// over the same random tiles (zooms 1-3, 12 months) as bench_serve.py asks.
// Usage: bench_serve_tile MODEL_DIR YEAR
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "serve/png_encode.h"
#include "serve/service.h"

using namespace veldra::serve;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_serve_tile MODEL_DIR YEAR\n");
        return 2;
    }
    Service service({{"", argv[1]}}, {});
    const std::string year = argv[2];
    std::mt19937 random(1);
    std::vector<std::string> paths;
    std::vector<Box> boxes;
    for (int i = 0; i < 600; ++i) {
        const int z = std::uniform_int_distribution<int>(1, 3)(random), n = 1 << z;
        const int x = std::uniform_int_distribution<int>(0, n - 1)(random), y = std::uniform_int_distribution<int>(0, n - 1)(random);
        const int m = std::uniform_int_distribution<int>(1, 12)(random);
        char path[128];
        std::snprintf(path, sizeof path, "/tiles/Precip/1/%s-%02d/%d/%d/%d.png", year.c_str(), m, z, x, y);
        paths.push_back(path);
        boxes.push_back(tile_box(z, x, y));
    }
    const Query none = parse_query_string("");
    for (int m = 1; m <= 12; ++m) service.handle(paths[static_cast<std::size_t>(m)], none, "http://x");  // warm
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::vector<double> whole, positions, drawing, png;
    const ServedModel& model = *service.models()[0];
    const auto field = std::make_shared<MonthField>();
    field->values.assign(model.model.CellTable.size(), 5.f);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        auto t0 = Clock::now();
        const Response r = service.handle(paths[i], none, "http://x");
        if (r.status != 200) return 1;
        whole.push_back(ms(Clock::now() - t0));
        std::vector<std::int32_t> pos;
        t0 = Clock::now();
        pixel_positions(boxes[i], Crs::epsg3857, 256, 256, model.index.grid, pos);
        auto t1 = Clock::now();
        std::vector<std::uint8_t> rgba;
        Painting p;
        p.lo = 0;
        p.hi = 10;
        render(pos, model.index, field->values, p, rgba);
        auto t2 = Clock::now();
        const std::string bytes = encode_png(rgba, 256, 256);
        auto t3 = Clock::now();
        positions.push_back(ms(t1 - t0));
        drawing.push_back(ms(t2 - t1));
        png.push_back(ms(t3 - t2));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("%s: %zu tiles in one process: whole %.3f ms, positions %.3f ms, drawing %.3f ms, PNG %.3f ms "
                "(medians)\n",
                argv[1], paths.size(), median(whole), median(positions), median(drawing), median(png));
    return 0;
}
