// The lookup grids made with PROJ: the geographic pair, and each projection's
// outline and ids checked against PROJ's forward projection of the world's
// edges and of the geographic cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "export/lookup_grids.h"
#include "tests/support/memory_files.h"
#include "export/lookup_maker/lookup_grid_maker.h"

namespace veldra::lookup {
namespace {

using out::LookupGrid;
using out::LookupValues;

struct Made {
    testing::MemoryFiles files;
    Made() {
        const int all[] = {0, 1, 2, 3};
        make_lookup_grids("/grids", "1p0", all, files);
    }
    out::LookupGrid grid(const std::string& name, out::LookupValues kind) {
        return out::parse_lookup_grid(files.files.at("/grids/" + name), name, kind);
    }
};

Made& made() {
    static Made m;
    return m;
}

TEST(LookupGridMaker, GeographicGridsNumberTheCellsFromTheSouthWest) {
    const out::LookupGrid ids = made().grid("zone_ids_1p0.asc", out::LookupValues::zone_ids);
    const out::LookupGrid mask = made().grid("zone01_1p0.asc", out::LookupValues::mask);
    EXPECT_EQ(ids.header, (std::array<std::string, 6>{"ncols         360", "nrows         180",
                                                      "xllcorner     -180", "yllcorner     -90",
                                                      "cellsize      1", "NODATA_value  -9999"}));
    for (std::size_t k = 0; k < ids.values.size(); ++k) ASSERT_EQ(ids.values[k], static_cast<std::int32_t>(k));
    EXPECT_TRUE(std::all_of(mask.values.begin(), mask.values.end(), [](std::int32_t v) { return v == 1; }));
    EXPECT_EQ(made().files.files.at("/grids/zone_ids_1p0.prj"), esri_wkt(0) + "\r\n");
    EXPECT_TRUE(esri_wkt(1).starts_with("PROJCS[\"World_Robinson\""));
}

// The number of a header line, from its 15th character.
double header_value(const out::LookupGrid& g, std::size_t line) {
    double v = 0;
    const std::string& text = g.header[line];
    std::from_chars(text.data() + 14, text.data() + text.size(), v);
    return v;
}

// The edge meridian x = edge(y) for 0 <= y <= the pole's y, from PROJ's
// forward projection of longitude 180, every thousandth of a degree.
struct Edge {
    std::vector<double> x, y;
    explicit Edge(const WorldProjection& p) {
        for (int i = 0; i <= 90000; ++i) {
            x.push_back(180.0);
            y.push_back(i / 1000.0);
        }
        p.forward(x.data(), y.data(), x.size());
    }
    double top() const { return y.back(); }
    double x_at(double ay) const {
        const auto it = std::lower_bound(y.begin(), y.end(), ay);
        if (it == y.begin()) return x.front();
        if (it == y.end()) return x.back();
        const std::size_t i = static_cast<std::size_t>(it - y.begin());
        const double t = (ay - y[i - 1]) / (y[i] - y[i - 1]);
        return x[i - 1] + t * (x[i] - x[i - 1]);
    }
};

TEST(LookupGridMaker, OutlinesFollowTheProjectedEdgesOfTheWorld) {
    for (const int p : {1, 2, 3}) {
        const auto& names = out::projection_names(p);
        const out::LookupGrid ids = made().grid(std::string(names.id_prefix) + "1p0.asc", out::LookupValues::projected_ids);
        const out::LookupGrid mask = made().grid(std::string(names.mask_prefix) + "1p0.asc", out::LookupValues::mask);
        ASSERT_EQ(ids.cols, 360);
        ASSERT_EQ(mask.rows, ids.rows);
        const WorldProjection projection(p);
        const Edge edge(projection);
        ASSERT_TRUE(std::is_sorted(edge.y.begin(), edge.y.end())) << names.caption;

        const double west = header_value(ids, 2), south = header_value(ids, 3), cell = header_value(ids, 4);
        // The grid covers the outline, centred, and is no wider than needed.
        EXPECT_GE(-west, edge.x.front()) << names.caption;
        EXPECT_LT(-west - edge.x.front(), 360 * 0.5) << names.caption;
        EXPECT_GE(-south, edge.top()) << names.caption;
        EXPECT_LT(-south - edge.top(), cell) << names.caption;

        std::int64_t inside = 0, near_edge = 0, wrong = 0, bad_ids = 0;
        std::vector<double> lon, lat, cx, cy;
        for (std::int64_t r = 0; r < ids.rows; ++r)
            for (std::int64_t c = 0; c < ids.cols; ++c) {
                const std::size_t k = static_cast<std::size_t>(r * ids.cols + c);
                const double x = west + (static_cast<double>(c) + 0.5) * cell;
                const double y = south + (static_cast<double>(r) + 0.5) * cell;
                const double ex = edge.x_at(std::fabs(y));
                const double margin = std::min(std::fabs(std::fabs(x) - ex), std::fabs(std::fabs(y) - edge.top()));
                const bool expected = std::fabs(x) < ex && std::fabs(y) < edge.top();
                const bool in_mask = mask.values[k] == 1;
                inside += in_mask;
                bad_ids += in_mask != (ids.values[k] >= 0 && ids.values[k] < 360 * 180);
                if (margin < 0.01 * cell) ++near_edge;
                else wrong += expected != in_mask;
                if (in_mask && (r * 7 + c) % 5 == 0) {
                    // The corners and edge midpoints of the named geographic
                    // cell, projected, must surround the place's centre.
                    const double w = -180.0 + ids.values[k] % 360, s = -90.0 + ids.values[k] / 360;
                    for (const double fx : {0.0, 0.5, 1.0})
                        for (const double fy : {0.0, 0.5, 1.0}) {
                            lon.push_back(w + fx);
                            lat.push_back(s + fy);
                        }
                    cx.push_back(x);
                    cy.push_back(y);
                }
            }
        EXPECT_EQ(wrong, 0) << names.caption;
        EXPECT_EQ(bad_ids, 0) << names.caption;
        EXPECT_LT(near_edge, 20) << names.caption;
        EXPECT_GT(inside, ids.cols * ids.rows / 2) << names.caption;

        projection.forward(lon.data(), lat.data(), lon.size());
        std::int64_t outside_cell = 0;
        for (std::size_t i = 0; i < cx.size(); ++i) {
            const auto x0 = lon.begin() + static_cast<std::ptrdiff_t>(9 * i), y0 = lat.begin() + static_cast<std::ptrdiff_t>(9 * i);
            const double slack = 0.01 * cell;
            outside_cell += cx[i] < *std::min_element(x0, x0 + 9) - slack || cx[i] > *std::max_element(x0, x0 + 9) + slack ||
                            cy[i] < *std::min_element(y0, y0 + 9) - slack || cy[i] > *std::max_element(y0, y0 + 9) + slack;
        }
        EXPECT_EQ(outside_cell, 0) << names.caption << " of " << cx.size() << " places checked";
        EXPECT_EQ(made().files.files.at("/grids/" + std::string(names.id_prefix) + "1p0.prj"), esri_wkt(p) + "\r\n");
    }
}

}  // namespace
}  // namespace veldra::lookup
