#include "export/lookup_maker/lookup_grid_maker.h"

#include <proj.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "export/lookup_grids.h"
#include "modelfiles/ascii_grid.h"
#include "modelfiles/number_text.h"
#include "modelfiles/paths.h"
#include "modelfiles/resolutions.h"

namespace veldra::lookup {
namespace {

std::string_view crs_of(int projection) { return out::projection_names(projection).crs; }

// Grids of at least this many cells are made on several threads.
constexpr std::int64_t kParallelCells = std::int64_t{1} << 18;

std::string proj_failure(pj_ctx* context, std::string_view what) {
    const int code = proj_context_errno(context);
    return std::string(what) + ": " + (code ? proj_context_errno_string(context, code) : "PROJ gave no reason");
}

void check_projection(int projection, int lowest) {
    if (projection < lowest || projection >= out::kProjectionCount)
        throw ProjectionError("no projection " + std::to_string(projection) + " (projections are 0 to 3)");
}

std::string number_text(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

std::string number_text(std::int64_t v) { return files::integer_text(v); }

// One row after another, rows from the south, each value followed by a blank,
// every line ended by CR LF.
template <typename Value>
void write_grid(const std::string& path, const GridGeometry& g, const std::vector<Value>& values, files::FileAccess& files) {
    files::GridFileWriter out(files);
    out.create(files::path_to_open(path));
    for (const std::string& line : grid_header(g)) {
        out.write(line);
        out.write("\r\n");
    }
    std::string row;
    for (std::int64_t r = 0; r < g.rows; ++r) {
        row.clear();
        const Value* v = values.data() + r * g.cols;
        for (std::int64_t c = 0; c < g.cols; ++c) {
            char buf[16];
            char* end = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(v[c])).ptr;
            *end++ = ' ';
            row.append(buf, end);
        }
        row += "\r\n";
        out.write(row);
    }
    out.commit();
}

void write_text(const std::string& path, const std::string& text, files::FileAccess& files) {
    files::GridFileWriter out(files);
    out.create(files::path_to_open(path));
    out.write(text);
    out.commit();
}

}  // namespace

std::string_view projection_crs(int projection) {
    check_projection(projection, 0);
    return crs_of(projection);
}

std::string esri_wkt(int projection) {
    check_projection(projection, 0);
    pj_ctx* context = proj_context_create();
    PJ* crs = proj_create(context, std::string(crs_of(projection)).c_str());
    const char* wkt = crs ? proj_as_wkt(context, crs, PJ_WKT1_ESRI, nullptr) : nullptr;
    std::string text = wkt ? wkt : "";
    const std::string failure = proj_failure(context, "PROJ cannot give the ESRI WKT of " + std::string(crs_of(projection)));
    if (crs) proj_destroy(crs);
    proj_context_destroy(context);
    if (text.empty()) throw ProjectionError(failure);
    return text;
}

WorldProjection::WorldProjection(int projection) {
    check_projection(projection, 1);
    context_ = proj_context_create();
    // Points outside the outline fail by design; PROJ would log each one.
    proj_log_level(context_, PJ_LOG_NONE);
    PJ* raw = proj_create_crs_to_crs(context_, "EPSG:4326", std::string(crs_of(projection)).c_str(), nullptr);
    if (raw) {
        // Longitude first, in degrees, whatever the axis order of EPSG:4326.
        operation_ = proj_normalize_for_visualization(context_, raw);
        proj_destroy(raw);
    }
    if (!operation_) {
        const std::string failure = proj_failure(context_, "PROJ cannot project to " + std::string(crs_of(projection)));
        proj_context_destroy(context_);
        throw ProjectionError(failure);
    }
}

WorldProjection::~WorldProjection() {
    proj_destroy(operation_);
    proj_context_destroy(context_);
}

void WorldProjection::forward(double* x, double* y, std::size_t count) const {
    proj_trans_generic(operation_, PJ_FWD, x, sizeof(double), count, y, sizeof(double), count, nullptr, 0, 0,
                       nullptr, 0, 0);
    proj_errno_reset(operation_);
}

void WorldProjection::inverse(double* x, double* y, std::size_t count) const {
    proj_trans_generic(operation_, PJ_INV, x, sizeof(double), count, y, sizeof(double), count, nullptr, 0, 0,
                       nullptr, 0, 0);
    proj_errno_reset(operation_);
}

std::optional<GridGeometry> geographic_geometry(std::string_view suffix) {
    const files::Resolution* r = files::resolution_named(suffix);
    if (!r) return std::nullopt;
    return GridGeometry{r->cols, r->rows, -180.0, -90.0, r->cell()};
}

Outline world_outline(const WorldProjection& projection) {
    // The two edge meridians and the two poles, every hundredth of a degree.
    constexpr int kSteps = 36000;
    std::vector<double> x, y;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps;
        for (const double side : {-1.0, 1.0}) {
            x.push_back(180.0 * side);
            y.push_back(-90.0 + 180.0 * t);
            x.push_back(-180.0 + 360.0 * t);
            y.push_back(90.0 * side);
        }
    }
    projection.forward(x.data(), y.data(), x.size());
    Outline o;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]) || std::fabs(x[i]) > 1e12 || std::fabs(y[i]) > 1e12)
            throw ProjectionError("PROJ cannot project the edges of the world");
        o.half_width = std::max(o.half_width, std::fabs(x[i]));
        o.half_height = std::max(o.half_height, std::fabs(y[i]));
    }
    return o;
}

GridGeometry projected_geometry(const Outline& outline, std::int64_t cols) {
    GridGeometry g;
    g.cols = cols;
    g.cell = std::ceil(2 * outline.half_width / static_cast<double>(cols));
    g.rows = static_cast<std::int64_t>(std::ceil(2 * outline.half_height / g.cell));
    g.west = -static_cast<double>(g.cols) * g.cell / 2;
    g.south = -static_cast<double>(g.rows) * g.cell / 2;
    return g;
}

std::array<std::string, 6> grid_header(const GridGeometry& g) {
    auto line = [](std::string_view key, const std::string& value) {
        std::string text(key);
        text.resize(14, ' ');
        return text + value;
    };
    return {line("ncols", number_text(g.cols)),     line("nrows", number_text(g.rows)),
            line("xllcorner", number_text(g.west)), line("yllcorner", number_text(g.south)),
            line("cellsize", number_text(g.cell)),  line("NODATA_value", "-9999")};
}

ProjectedLookup projected_lookup(int projection, const GridGeometry& projected, const GridGeometry& geographic) {
    check_projection(projection, 1);
    WorldProjection first(projection);  // fails here, on this thread, when PROJ cannot
    ProjectedLookup out;
    const std::size_t cells = static_cast<std::size_t>(projected.cols * projected.rows);
    out.ids.assign(cells, -9999);
    out.mask.assign(cells, 0);
    // A centre inside the outline comes back from the round trip to within
    // far less than a cell; one outside comes back elsewhere or not at all.
    const double tolerance = 1e-3 * projected.cell;

    std::atomic<std::int64_t> next_row{0};
    auto work = [&](const WorldProjection& p) {
        const auto n = static_cast<std::size_t>(projected.cols);
        std::vector<double> lon(n), lat(n), x(n), y(n);
        for (std::int64_t r = next_row++; r < projected.rows; r = next_row++) {
            const double cy = projected.south + (static_cast<double>(r) + 0.5) * projected.cell;
            for (std::size_t c = 0; c < n; ++c) {
                lon[c] = projected.west + (static_cast<double>(c) + 0.5) * projected.cell;
                lat[c] = cy;
            }
            p.inverse(lon.data(), lat.data(), n);
            x = lon;
            y = lat;
            p.forward(x.data(), y.data(), n);
            for (std::size_t c = 0; c < n; ++c) {
                const double cx = projected.west + (static_cast<double>(c) + 0.5) * projected.cell;
                const bool inside = std::isfinite(lon[c]) && std::isfinite(lat[c]) && std::fabs(lon[c]) <= 180 &&
                                    std::fabs(lat[c]) <= 90 && std::fabs(x[c] - cx) <= tolerance &&
                                    std::fabs(y[c] - cy) <= tolerance;
                if (!inside) continue;
                const auto gc = std::clamp<std::int64_t>(
                    static_cast<std::int64_t>(std::floor((lon[c] - geographic.west) / geographic.cell)), 0,
                    geographic.cols - 1);
                const auto gr = std::clamp<std::int64_t>(
                    static_cast<std::int64_t>(std::floor((lat[c] - geographic.south) / geographic.cell)), 0,
                    geographic.rows - 1);
                const std::size_t k = static_cast<std::size_t>(r * projected.cols) + c;
                out.ids[k] = static_cast<std::int32_t>(gr * geographic.cols + gc);
                out.mask[k] = 1;
            }
        }
    };

    const unsigned threads =
        projected.cols * projected.rows < kParallelCells ? 1u : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> failures(threads);  // outlives the threads
    std::vector<std::jthread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back([&, t] {
            try {
                const WorldProjection own(projection);
                work(own);
            } catch (const std::exception& e) {
                failures[t] = e.what();
            }
        });
    work(first);
    pool.clear();
    for (const std::string& f : failures)
        if (!f.empty()) throw ProjectionError(f);
    return out;
}

void make_lookup_grids(const std::string& folder, std::string_view suffix, std::span<const int> projections,
                       files::FileAccess& files) {
    const std::optional<GridGeometry> geographic = geographic_geometry(suffix);
    if (!geographic) throw ProjectionError("no lookup grids are made for the suffix \"" + std::string(suffix) + "\"");
    for (const int p : projections) check_projection(p, 0);
    const auto cells = static_cast<std::size_t>(geographic->cols * geographic->rows);

    const out::LookupFiles geo = out::lookup_files(folder, suffix, 0);
    {
        std::vector<std::int32_t> ids(cells);
        for (std::size_t k = 0; k < cells; ++k) ids[k] = static_cast<std::int32_t>(k);
        write_grid(geo.ids, *geographic, ids, files);
    }
    write_grid(geo.mask, *geographic, std::vector<std::uint8_t>(cells, 1), files);
    write_text(geo.prj, esri_wkt(0) + "\r\n", files);

    for (const int p : projections) {
        if (p == 0) continue;
        const WorldProjection projection(p);
        const GridGeometry g = projected_geometry(world_outline(projection), geographic->cols);
        const ProjectedLookup lookup = projected_lookup(p, g, *geographic);
        const out::LookupFiles f = out::lookup_files(folder, suffix, p);
        write_grid(f.ids, g, lookup.ids, files);
        write_grid(f.mask, g, lookup.mask, files);
        write_text(f.prj, esri_wkt(p) + "\r\n", files);
    }
}

std::string lookup_cache_folder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache) return files::with_trailing_separator(cache) + "veldra/Projection_Layers";
    const char* home = std::getenv("HOME");
    if (home && *home) return files::with_trailing_separator(home) + ".cache/veldra/Projection_Layers";
    return {};
}

out::LookupPlaces standard_lookup_places(const std::string& program_folder) {
    out::LookupPlaces places;
    places.folders.push_back(files::with_trailing_separator(program_folder) + "Projection_Layers");
    places.cache_folder = lookup_cache_folder();
    places.make = [](const std::string& folder, std::string_view suffix, int projection) {
        std::filesystem::create_directories(files::path_to_open(folder));
        const int projections[] = {projection};
        make_lookup_grids(folder, suffix, projections, files::system_files());
    };
    return places;
}

}  // namespace veldra::lookup
