#include "serve/geometry.h"

#include <proj.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <numbers>

#include "serve/query.h"

namespace veldra::serve {
namespace {

bool parse_double(std::string_view text, double& out) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size() && std::isfinite(out);
}

bool parse_int(std::string_view text, int& out) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
}

double mercator_lat(double y) {
    return (2 * std::atan(std::exp(y / 6378137.0)) - std::numbers::pi / 2) * 180 / std::numbers::pi;
}

std::int32_t column_of(double lon, const GridGeometry& g) {
    if (!std::isfinite(lon)) return -1;
    const double c = std::floor((lon - g.west) / g.cell);
    return c >= 0 && c < g.cols ? static_cast<std::int32_t>(c) : -1;
}
std::int32_t row_of(double lat, const GridGeometry& g) {
    if (!std::isfinite(lat)) return -1;
    const double r = std::floor((g.north - lat) / g.cell);
    return r >= 0 && r < g.rows ? static_cast<std::int32_t>(r) : -1;
}

struct ProjDeleter {
    void operator()(PJ* p) const { proj_destroy(p); }
};
struct ContextDeleter {
    void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};

// From a world projection to longitude and latitude, in that order.
class Inverse {
public:
    explicit Inverse(Crs crs) : context_(proj_context_create()) {
        PJ* raw = proj_create_crs_to_crs(context_.get(), crs_info(crs).proj_crs, "EPSG:4326", nullptr);
        if (raw) {
            transform_.reset(proj_normalize_for_visualization(context_.get(), raw));
            proj_destroy(raw);
        }
        if (!transform_) throw RequestError(500, "", "PROJ cannot make the transformation");
    }
    // x, y in metres in; longitude, latitude out (HUGE_VAL where there is none).
    void apply(std::vector<double>& x, std::vector<double>& y) {
        proj_trans_generic(transform_.get(), PJ_FWD, x.data(), sizeof(double), x.size(), y.data(), sizeof(double),
                           y.size(), nullptr, 0, 0, nullptr, 0, 0);
    }

private:
    std::unique_ptr<PJ_CONTEXT, ContextDeleter> context_;
    std::unique_ptr<PJ, ProjDeleter> transform_;
};

// A projected point is kept only when the forward projection of its
// longitude and latitude comes back to it: outside the world's outline the
// inverse of some projections still answers.
bool geographic(Crs crs) { return crs == Crs::epsg4326 || crs == Crs::crs84; }

}  // namespace

std::optional<Crs> parse_crs(std::string_view name) {
    for (const CrsInfo& info : kCrsTable)
        if (equals_ignoring_case(name, info.name)) return info.crs;
    if (equals_ignoring_case(name, "EPSG:900913") || equals_ignoring_case(name, "EPSG:102100"))
        return Crs::epsg3857;
    if (equals_ignoring_case(name, "OGC:CRS84")) return Crs::crs84;
    return std::nullopt;
}

const CrsInfo& crs_info(Crs crs) {
    for (const CrsInfo& info : kCrsTable)
        if (info.crs == crs) return info;
    return kCrsTable[0];
}

Box parse_bbox(std::string_view text, Crs crs) {
    double v[4];
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        std::size_t end = text.find(',', start);
        if (k == 3) end = text.size();
        if (end == std::string_view::npos || !parse_double(text.substr(start, end - start), v[k]))
            throw RequestError(400, "InvalidParameterValue", "BBOX must be four numbers: minx,miny,maxx,maxy");
        start = end + 1;
    }
    Box b = crs == Crs::epsg4326 ? Box{v[1], v[0], v[3], v[2]} : Box{v[0], v[1], v[2], v[3]};
    if (!(b.min_x < b.max_x) || !(b.min_y < b.max_y))
        throw RequestError(400, "InvalidParameterValue", "BBOX must have its minimum below its maximum on both axes");
    return b;
}

Box tile_box(int z, int x, int y) {
    if (z < 0 || z > 22) throw RequestError(400, "", "the zoom must be 0 to 22");
    const long long n = 1LL << z;
    if (x < 0 || y < 0 || x >= n || y >= n) throw RequestError(400, "", "no such tile at this zoom");
    const double size = 2 * kMercatorHalf / static_cast<double>(n);
    return {-kMercatorHalf + x * size, kMercatorHalf - (y + 1) * size, -kMercatorHalf + (x + 1) * size,
            kMercatorHalf - y * size};
}

TileAddress parse_tile_path(std::string_view path) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start < path.size() && parts.size() <= 8;) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    if (parts.size() != 7 || parts[0] != "tiles" || !parts[6].ends_with(".png"))
        throw RequestError(404, "", "a tile is /tiles/VARIABLE/LAYER/YYYY-MM/Z/X/Y.png");
    TileAddress t;
    auto whole = [](std::string_view text, int& out) { return text.size() <= 9 && parse_int(text, out) && out >= 0; };
    if (!whole(parts[2], t.layer) || !whole(parts[4], t.z) || !whole(parts[5], t.x) ||
        !whole(parts[6].substr(0, parts[6].size() - 4), t.y) || t.layer < 1)
        throw RequestError(400, "", "the layer, zoom, column and row of a tile are whole numbers");
    const auto month = parse_month(parts[3]);
    if (!month || month_text(*month) != parts[3]) throw RequestError(400, "", "the time of a tile is YYYY-MM");
    t.variable = std::string(parts[1]);
    t.month = *month;
    t.box = tile_box(t.z, t.x, t.y);
    return t;
}

int parse_size(std::string_view text, const char* name, int most) {
    int v = 0;
    if (!parse_int(text, v) || v < 1 || v > most)
        throw RequestError(400, "InvalidParameterValue",
                           std::string(name) + " must be a whole number from 1 to " + std::to_string(most));
    return v;
}

std::optional<fields::Period> parse_month(std::string_view text) {
    // YYYY-MM, then nothing or "-DD..." / "T...".
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string_view::npos || dash > 6) return std::nullopt;
    int year = 0, month = 0;
    if (!parse_int(text.substr(0, dash), year)) return std::nullopt;
    if (text.size() < dash + 3 || !parse_int(text.substr(dash + 1, 2), month) || month < 1 || month > 12)
        return std::nullopt;
    // The rest of a date and time within the month: "-16", "-01T00:00:00.000Z".
    const std::string_view rest = text.substr(dash + 3);
    if (!rest.empty() && rest.front() != '-' && rest.front() != 'T') return std::nullopt;
    if (rest.size() > 30 || rest.find_first_not_of("0123456789-:T.Z+") != std::string_view::npos) return std::nullopt;
    return fields::Period{year, month};
}

std::string month_text(const fields::Period& p) {
    std::string m = std::to_string(p.month);
    return std::to_string(p.year) + "-" + (m.size() < 2 ? "0" + m : m);
}

void pixel_positions(const Box& box, Crs crs, int width, int height, const GridGeometry& grid,
                     std::vector<std::int32_t>& out) {
    out.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), -1);
    const double dx = (box.max_x - box.min_x) / width, dy = (box.max_y - box.min_y) / height;
    if (geographic(crs) || crs == Crs::epsg3857) {
        // Longitude follows the column of pixels, latitude the row.
        std::vector<std::int32_t> cols(static_cast<std::size_t>(width));
        for (int i = 0; i < width; ++i) {
            double lon = box.min_x + (i + 0.5) * dx;
            if (crs == Crs::epsg3857) lon = lon / kMercatorHalf * 180;
            cols[static_cast<std::size_t>(i)] = column_of(lon, grid);
        }
        for (int j = 0; j < height; ++j) {
            double lat = box.max_y - (j + 0.5) * dy;
            if (crs == Crs::epsg3857) lat = std::fabs(lat) > kMercatorHalf ? NAN : mercator_lat(lat);
            const std::int32_t r = row_of(lat, grid);
            if (r < 0) continue;
            std::int32_t* line = out.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(width);
            const std::int32_t base = r * grid.cols;
            for (int i = 0; i < width; ++i) {
                const std::int32_t c = cols[static_cast<std::size_t>(i)];
                line[i] = c < 0 ? -1 : base + c;
            }
        }
        return;
    }
    Inverse inverse(crs);
    std::vector<double> x(static_cast<std::size_t>(width)), y(static_cast<std::size_t>(width));
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            x[static_cast<std::size_t>(i)] = box.min_x + (i + 0.5) * dx;
            y[static_cast<std::size_t>(i)] = box.max_y - (j + 0.5) * dy;
        }
        inverse.apply(x, y);
        std::int32_t* line = out.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(width);
        for (int i = 0; i < width; ++i) {
            const double lon = x[static_cast<std::size_t>(i)], lat = y[static_cast<std::size_t>(i)];
            if (!(std::fabs(lon) <= 180) || !(std::fabs(lat) <= 90)) continue;
            const std::int32_t c = column_of(lon, grid), r = row_of(lat, grid);
            if (c >= 0 && r >= 0) line[i] = r * grid.cols + c;
        }
    }
}

std::int32_t pixel_position(const Box& box, Crs crs, int width, int height, int i, int j, const GridGeometry& grid) {
    if (i < 0 || j < 0 || i >= width || j >= height) return -1;
    // The picture of one pixel at the asked pixel's place.
    const double dx = (box.max_x - box.min_x) / width, dy = (box.max_y - box.min_y) / height;
    const Box one{box.min_x + i * dx, box.max_y - (j + 1) * dy, box.min_x + (i + 1) * dx, box.max_y - j * dy};
    std::vector<std::int32_t> out;
    pixel_positions(one, crs, 1, 1, grid, out);
    return out[0];
}

}  // namespace veldra::serve
