// The service's plain functions: the query, the geometry of maps and tiles,
// the colours of a drawn map against the viewer's ramps, PNG, the month
// cache, the bounded task queue and the command line; then the answers of
// the service on the sample model, without a network.
#include <gtest/gtest.h>
#include <spng.h>

#include <atomic>
#include <cmath>
#include <cstdlib>

#include "serve/command_line.h"
#include "serve/geometry.h"
#include "serve/month_cache.h"
#include "serve/png_encode.h"
#include "serve/query.h"
#include "serve/render.h"
#include "serve/service.h"
#include "serve/task_queue.h"
#include "viewer/core/map_options.h"

using namespace veldra::serve;

namespace {

int status_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const RequestError& e) {
        return e.status();
    }
    return 0;
}

std::string code_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const RequestError& e) {
        return e.code();
    }
    return "";
}

}  // namespace

TEST(ServeQuery, KeysAnyCaseValuesDecoded) {
    const Query q = parse_query_string("SERVICE=WMS&request=GetMap&Bbox=1%2C2,3,4&styles=&t=a+b");
    EXPECT_EQ(q.get("service"), "WMS");
    EXPECT_EQ(q.get("REQUEST"), "GetMap");
    EXPECT_EQ(q.get("bbox"), "1,2,3,4");
    ASSERT_NE(q.find("STYLES"), nullptr);
    EXPECT_EQ(*q.find("STYLES"), "");
    EXPECT_EQ(q.get("t"), "a b");
    EXPECT_EQ(q.find("nothing"), nullptr);
    EXPECT_EQ(code_of([&] { q.require("LAYERS"); }), "MissingParameterValue");
}

TEST(ServeQuery, LimitsAndBadEscapes) {
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "a=1&";
    EXPECT_EQ(status_of([&] { parse_query_string(many, {100000, 64}); }), 400);
    EXPECT_EQ(status_of([&] { parse_query_string(std::string(9000, 'x')); }), 413);
    EXPECT_EQ(status_of([] { parse_query_string("a=%zz"); }), 400);
    EXPECT_EQ(status_of([] { parse_query_string("a=%4"); }), 400);
    EXPECT_EQ(status_of([] { parse_query_string("&&a=%41&&"); }), 0);
    EXPECT_EQ(parse_query_string("a=%41").get("a"), "A");
}

TEST(ServeGeometry, CrsNamesAndAxisOrder) {
    EXPECT_EQ(parse_crs("epsg:4326"), Crs::epsg4326);
    EXPECT_EQ(parse_crs("CRS:84"), Crs::crs84);
    EXPECT_EQ(parse_crs("EPSG:900913"), Crs::epsg3857);
    EXPECT_EQ(parse_crs("ESRI:54042"), Crs::winkel_tripel);
    EXPECT_FALSE(parse_crs("EPSG:1234"));
    // EPSG:4326 in WMS 1.3.0: latitude first.
    const Box a = parse_bbox("-10,20,30,40", Crs::epsg4326);
    EXPECT_EQ(a.min_x, 20);
    EXPECT_EQ(a.min_y, -10);
    EXPECT_EQ(a.max_x, 40);
    EXPECT_EQ(a.max_y, 30);
    const Box b = parse_bbox("-10,20,30,40", Crs::crs84);
    EXPECT_EQ(b.min_x, -10);
    EXPECT_EQ(b.max_y, 40);
    EXPECT_EQ(code_of([] { parse_bbox("1,2,3", Crs::crs84); }), "InvalidParameterValue");
    EXPECT_EQ(code_of([] { parse_bbox("1,2,1,4", Crs::crs84); }), "InvalidParameterValue");
    EXPECT_EQ(code_of([] { parse_bbox("1,2,3,nan", Crs::crs84); }), "InvalidParameterValue");
    EXPECT_EQ(code_of([] { parse_bbox("1,2,3,4,5", Crs::crs84); }), "InvalidParameterValue");
}

TEST(ServeGeometry, SizesMonthsTiles) {
    EXPECT_EQ(parse_size("256", "WIDTH", 4096), 256);
    EXPECT_EQ(status_of([] { parse_size("4097", "WIDTH", 4096); }), 400);
    EXPECT_EQ(status_of([] { parse_size("0", "WIDTH", 4096); }), 400);
    EXPECT_EQ(status_of([] { parse_size("99999999999999", "WIDTH", 4096); }), 400);
    EXPECT_EQ(parse_month("2000-03"), (veldra::fields::Period{2000, 3}));
    EXPECT_EQ(parse_month("2000-03-16T00:00:00Z"), (veldra::fields::Period{2000, 3}));
    EXPECT_EQ(parse_month("2000-03-01"), (veldra::fields::Period{2000, 3}));
    EXPECT_FALSE(parse_month("2000-13"));
    EXPECT_FALSE(parse_month("2000-3"));
    EXPECT_FALSE(parse_month("2000"));
    EXPECT_FALSE(parse_month("2000-03x"));
    EXPECT_FALSE(parse_month("2000-03-01garbage"));
    EXPECT_FALSE(parse_month("2000-03-01T00:00:00Z/2000-04-01T00:00:00Z"));
    EXPECT_EQ(month_text({812, 3}), "812-03");
    const Box t = tile_box(1, 0, 0);
    EXPECT_DOUBLE_EQ(t.min_x, -kMercatorHalf);
    EXPECT_DOUBLE_EQ(t.max_y, kMercatorHalf);
    EXPECT_NEAR(t.max_x, 0, 1e-6);
    EXPECT_EQ(status_of([] { tile_box(1, 2, 0); }), 400);
    EXPECT_EQ(status_of([] { tile_box(23, 0, 0); }), 400);
}

TEST(ServeGeometry, TilePaths) {
    const TileAddress t = parse_tile_path("/tiles/Live_Biomass/2/2001-09/3/4/5.png");
    EXPECT_EQ(t.variable, "Live_Biomass");
    EXPECT_EQ(t.layer, 2);
    EXPECT_EQ(t.month, (veldra::fields::Period{2001, 9}));
    EXPECT_EQ(t.z, 3);
    EXPECT_EQ(t.x, 4);
    EXPECT_EQ(t.y, 5);
    EXPECT_DOUBLE_EQ(t.box.min_x, tile_box(3, 4, 5).min_x);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/1/2001-09/3/4/5.jpg"); }), 404);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/1/2001-09/3/4/5/6.png"); }), 404);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/0/2001-09/3/4/5.png"); }), 400);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/1/2001-9/3/4/5.png"); }), 400);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/1/2001-09-01/3/4/5.png"); }), 400);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/1/2001-09/3/8/5.png"); }), 400);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/1/2001-09/3/-1/5.png"); }), 400);
    EXPECT_EQ(status_of([] { parse_tile_path("/tiles/P/1/2001-09/99999999999/4/5.png"); }), 400);
}

TEST(ServeGeometry, PixelsFindTheirGridPositions) {
    const GridGeometry grid{-180, 90, 1, 360, 180};
    std::vector<std::int32_t> out;
    // One pixel per cell over the whole globe.
    pixel_positions({-180, -90, 180, 90}, Crs::crs84, 360, 180, grid, out);
    ASSERT_EQ(out.size(), 360u * 180u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[360 * 180 - 1], 360 * 180 - 1);
    EXPECT_EQ(out[360 * 10 + 20], 360 * 10 + 20);
    // Outside the grid: -1.
    pixel_positions({180, 0, 200, 10}, Crs::crs84, 4, 4, grid, out);
    for (const auto p : out) EXPECT_EQ(p, -1);
    // Web Mercator's tile 0: the equator's row in the middle.
    pixel_positions(tile_box(0, 0, 0), Crs::epsg3857, 256, 256, grid, out);
    EXPECT_EQ(out[128 * 256 + 128] / 360, 90);
    EXPECT_EQ(out[128 * 256 + 128] % 360, 180);
    // Robinson: the pixel south-east of the world's centre (1.7 degrees east, 1.5 south); the corners are outside.
    pixel_positions({-17005833, -8625155, 17005833, 8625155}, Crs::robinson, 100, 50, grid, out);
    EXPECT_EQ(out[0], -1);
    EXPECT_EQ(out[25 * 100 + 50], 91 * 360 + 181);
    EXPECT_EQ(pixel_position({-180, -90, 180, 90}, Crs::crs84, 360, 180, 20, 10, grid), 360 * 10 + 20);
}

TEST(ServeRender, ColoursAreTheViewersRamps) {
    const GridGeometry grid{-2, 1, 1, 4, 2};
    veldra::files::GlobeMask globe{4, 2, {1, 1, 0, 0, 1, 1, 0, 0}};
    std::vector<veldra::files::RangeCell> cells = {{1, 0, 1, 1, 0}, {2, 0, 4, 2, 0}};
    const CellIndex index = index_cells(grid, cells, globe);
    EXPECT_EQ(index.cell_at[0], 0);
    EXPECT_EQ(index.cell_at[7], 1);
    const std::vector<float> values = {5, 1e20f};
    Painting p;
    p.ramp = 1;  // red stretched
    p.lo = 0;
    p.hi = 10;
    std::vector<std::int32_t> positions = {0, 1, 2, 7, -1};
    std::vector<std::uint8_t> rgba;
    render(positions, index, values, p, rgba);
    ASSERT_EQ(rgba.size(), 20u);
    // 5 on 0..10: entry floor(0.5 * 255) = 127 of the red ramp.
    EXPECT_EQ(rgba[0], 127);
    EXPECT_EQ(rgba[1], 0);
    EXPECT_EQ(rgba[3], 255);
    // Land, water, out of range (white), outside (transparent).
    EXPECT_EQ(rgba[4], 100);
    EXPECT_EQ(rgba[8], 30);
    EXPECT_EQ(rgba[12], 255);
    EXPECT_EQ(rgba[13], 255);
    EXPECT_EQ(rgba[19], 0);
    p.background = false;
    render(positions, index, values, p, rgba);
    EXPECT_EQ(rgba[7], 0);
    EXPECT_EQ(rgba[11], 0);
    // Each style is the viewer's ramp of that index.
    for (const StyleInfo& s : kStyles) {
        p.ramp = s.ramp;
        if (s.ramp == 0) continue;
        EXPECT_EQ(value_colour(2.5f, p), veldra::viewer::ramp_at(server_ramps(), s.ramp)[63]) << s.name;
    }
    p.ramp = 3;
    p.logarithmic = true;
    p.lo = 1;
    p.hi = 100;
    EXPECT_EQ(value_colour(10.f, p) & 0xFF, 127u);
    EXPECT_EQ(style_ramp(""), 4);
    EXPECT_EQ(style_ramp("VIRIDIS"), 5);
    EXPECT_FALSE(style_ramp("nope"));
    EXPECT_EQ(parse_range("0,250", false), (std::pair<double, double>{0, 250}));
    EXPECT_EQ(code_of([] { parse_range("0,250", true); }), "InvalidParameterValue");
    EXPECT_EQ(code_of([] { parse_range("5,1", false); }), "InvalidParameterValue");
}

TEST(ServeRender, PngReadsBack) {
    std::vector<std::uint8_t> rgba(3 * 2 * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<std::uint8_t>(i * 10);
    const std::string png = encode_png(rgba, 3, 2);
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, png.data(), png.size());
    std::size_t size = 0;
    ASSERT_EQ(spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size), 0);
    std::vector<std::uint8_t> back(size);
    ASSERT_EQ(spng_decode_image(ctx, back.data(), back.size(), SPNG_FMT_RGBA8, 0), 0);
    spng_ctx_free(ctx);
    EXPECT_EQ(back, rgba);
}

TEST(ServeCache, KeepsTheMostRecentWithinItsSize) {
    auto field = [](std::size_t n) {
        auto f = std::make_shared<MonthField>();
        f->values.assign(n, 1.f);
        return f;
    };
    const std::size_t one = field(1000)->bytes();
    MonthCache cache(2 * one + 10);
    int loads = 0;
    auto get = [&](const std::string& key) { return cache.get(key, [&] { ++loads; return field(1000); }); };
    get("a");
    get("b");
    get("a");  // a is the most recent
    EXPECT_EQ(loads, 2);
    get("c");  // b goes
    EXPECT_EQ(cache.entries(), 2u);
    get("a");
    EXPECT_EQ(loads, 3);
    get("b");
    EXPECT_EQ(loads, 4);
    EXPECT_LE(cache.bytes(), 2 * one + 10);
    // Larger than the whole cache: given, not kept.
    const auto big = cache.get("big", [&] { return field(100000); });
    EXPECT_EQ(big->values.size(), 100000u);
    EXPECT_LE(cache.bytes(), 2 * one + 10);
}

TEST(ServeTasks, RunsEveryTaskWithinItsBound) {
    std::atomic<int> done{0};
    {
        BoundedTasks tasks(2, 3);
        for (int i = 0; i < 100; ++i) {
            EXPECT_TRUE(tasks.push([&] { ++done; }));
            EXPECT_LE(tasks.waiting(), 3u);
        }
        tasks.shutdown();
        EXPECT_FALSE(tasks.push([] {}));
    }
    EXPECT_EQ(done.load(), 100);
}

TEST(ServeCommandLine, ModelsPortsAndErrors) {
    ParsedCommandLine r = parse_command_line({"--model", "run"});
    ASSERT_EQ(r.exit_status, -1) << r.err;
    EXPECT_EQ(r.options.models.size(), 1u);
    EXPECT_EQ(r.options.models[0].first, "");
    EXPECT_EQ(r.options.port, 8080);
    EXPECT_EQ(r.options.bind, "127.0.0.1");
    EXPECT_EQ(open_url(r.options, 8080), "http://127.0.0.1:8080/");
    r = parse_command_line({"--model", "a=run1", "--model", "b=run2", "--port", "0", "--base-url", "https://h/v/"});
    ASSERT_EQ(r.exit_status, -1) << r.err;
    EXPECT_EQ(r.options.models[1], (std::pair<std::string, std::string>{"b", "run2"}));
    EXPECT_EQ(open_url(r.options, 1234), "https://h/v/");
    r = parse_command_line({"--model", "a=run1", "--model", "run2"});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_NE(r.err.find("veldra_serve: "), std::string::npos);
    EXPECT_NE(r.err.find("; see --help"), std::string::npos);
    EXPECT_EQ(parse_command_line({"--model", "r", "--port", "70000"}).exit_status, 2);
    EXPECT_EQ(parse_command_line({}).exit_status, 2);
    EXPECT_EQ(parse_command_line({"--help"}).exit_status, 0);
    // The help (and so the manual page) tells the limits of a connection.
    const std::string help = parse_command_line({"--help"}).out;
    EXPECT_NE(help.find("after 5 seconds without progress"), std::string::npos) << help;
    EXPECT_NE(help.find("whole 10 seconds after its first byte is answered 408"), std::string::npos) << help;
    EXPECT_EQ(parse_command_line({"--version"}).out.rfind("veldra_serve ", 0), 0u);
}

// The service on the sample model.
class ServeSample : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service = new Service({{"", VELDRA_SAMPLE_MODEL}}, {}); }
    static void TearDownTestSuite() { delete service; }
    static Response get(const std::string& path, const std::string& query) {
        return service->handle(path, parse_query_string(query), "http://x");
    }
    static Service* service;
};
Service* ServeSample::service = nullptr;

TEST_F(ServeSample, CapabilitiesNameEveryLayerAndMonth) {
    const Response r = get("/wms", "SERVICE=WMS&REQUEST=GetCapabilities");
    ASSERT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("<Name>Precip</Name>"), std::string::npos);
    EXPECT_NE(r.body.find("<Name>Live_Biomass_L3</Name>"), std::string::npos);
    EXPECT_NE(r.body.find("default=\"2000-01\""), std::string::npos);
    EXPECT_NE(r.body.find("2004-12</Dimension>"), std::string::npos);
    EXPECT_NE(r.body.find("<CRS>ESRI:54042</CRS>"), std::string::npos);
    EXPECT_NE(r.body.find("<Name>viridis</Name>"), std::string::npos);
}

TEST_F(ServeSample, ErrorsAreServiceExceptions) {
    struct Case {
        const char* query;
        const char* code;
    };
    const std::string map = "REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10";
    const Case cases[] = {
        {"REQUEST=GetMap&LAYERS=Nope&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10", "LayerNotDefined"},
        {"REQUEST=GetMap&LAYERS=Precip&CRS=EPSG:1&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10", "InvalidCRS"},
        {"REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10&WIDTH=10&HEIGHT=10", "InvalidParameterValue"},
        {"REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=5000&HEIGHT=10", "InvalidParameterValue"},
        {"REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&TIME=1999-12",
         "InvalidDimensionValue"},
        {"REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&TIME=soon",
         "InvalidDimensionValue"},
        {"REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&STYLES=pink", "StyleNotDefined"},
        {"REQUEST=GetMap&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&FORMAT=image/gif",
         "InvalidFormat"},
        {"REQUEST=GetMap&LAYERS=Precip&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10", "MissingParameterValue"},
        {"REQUEST=Dance", "OperationNotSupported"},
        {"REQUEST=GetFeatureInfo&LAYERS=Precip&CRS=CRS:84&BBOX=-10,0,10,20&WIDTH=10&HEIGHT=10&I=10&J=0",
         "InvalidPoint"},
    };
    for (const Case& c : cases) {
        const Response r = get("/wms", c.query);
        EXPECT_EQ(r.status, 400) << c.query;
        EXPECT_NE(r.body.find(std::string("code=\"") + c.code + "\""), std::string::npos) << c.query << r.body;
    }
    EXPECT_EQ(get("/wms", map).status, 200);
    EXPECT_EQ(get("/wms", map + "&TIME=2000-03-01T00:00:00Z/2000-04-01T00:00:00Z").status, 200);
}

TEST_F(ServeSample, FeatureInfoGivesTheSeries) {
    const std::string q = "REQUEST=GetFeatureInfo&LAYERS=Precip&CRS=CRS:84&BBOX=-10,10,10,30&WIDTH=20&HEIGHT=20&I=10&J=10";
    Response r = get("/wms", q + "&TIME=2000-01/2004-12");
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_NE(r.body.find("\"cell\": {\"number\": "), std::string::npos);
    EXPECT_NE(r.body.find("{\"time\": \"2004-12\", \"value\": "), std::string::npos);
    // The series is the month fields' values of the cell.
    const auto cell = service->models()[0]->index.cell_at[static_cast<std::size_t>(
        pixel_position({-10, 10, 10, 30}, Crs::crs84, 20, 20, 10, 10, service->models()[0]->index.grid))];
    ASSERT_GE(cell, 0);
    veldra::fields::Field f;
    service->models()[0]->layers[0]->months(2000, 2004).read(13, f);
    EXPECT_NE(r.body.find("{\"time\": \"2001-02\", \"value\": " + number_text(f.values[static_cast<std::size_t>(cell)]) +
                          "}"),
              std::string::npos);
    // A later layer of a variable of three: the same as its month field.
    const auto& layers = service->models()[0]->layers;
    const auto l3 = std::find_if(layers.begin(), layers.end(), [](const auto& l) { return l->name == "Live_Biomass_L3"; });
    ASSERT_NE(l3, layers.end());
    (*l3)->months(2000, 2004).read(20, f);
    r = get("/wms", "REQUEST=GetFeatureInfo&LAYERS=Live_Biomass_L3&CRS=CRS:84&BBOX=-10,10,10,30&WIDTH=20&HEIGHT=20"
                    "&I=10&J=10&TIME=2001-09");
    EXPECT_NE(r.body.find("{\"time\": \"2001-09\", \"value\": " +
                          number_text(f.values[static_cast<std::size_t>(cell)]) + "}"),
              std::string::npos)
        << r.body;
    r = get("/wms", q + "&TIME=2000-01/2000-03&INFO_FORMAT=text/csv");
    EXPECT_EQ(r.body.substr(0, 19), "time,value\n2000-01,");
    EXPECT_EQ(std::count(r.body.begin(), r.body.end(), '\n'), 4);
    // Over the sea: no cell.
    r = get("/wms",
            "REQUEST=GetFeatureInfo&LAYERS=Precip&CRS=CRS:84&BBOX=-30,-40,-29,-39&WIDTH=1&HEIGHT=1&I=0&J=0");
    EXPECT_NE(r.body.find("{\"cell\": null"), std::string::npos);
    EXPECT_EQ(get("/wms", q + "&TIME=2004-01/2000-01").status, 400);
}

TEST_F(ServeSample, TilesAndAddresses) {
    Response r = get("/tiles/Precip/1/2000-07/1/0/0.png", "");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.content_type, "image/png");
    EXPECT_EQ(r.body.substr(1, 3), "PNG");
    EXPECT_EQ(get("/tiles/Live_Biomass/3/2000-07/2/1/1.png", "STYLES=grey").status, 200);
    EXPECT_EQ(get("/tiles/Live_Biomass/4/2000-07/2/1/1.png", "").status, 404);
    EXPECT_EQ(get("/tiles/Precip/1/1999-07/1/0/0.png", "").status, 400);
    EXPECT_EQ(get("/tiles/Precip/1/2000-07/1/5/0.png", "").status, 400);
    EXPECT_EQ(get("/tiles/Precip/1/2000-07/1/0/0.png", "COLORSCALERANGE=3,1").status, 400);
    EXPECT_EQ(get("/tiles/../../etc/passwd", "").status, 400);
    EXPECT_EQ(get("/static/../../etc/passwd", "").status, 400);
    EXPECT_EQ(get("/etc/passwd", "").status, 404);
    r = get("/tiles/Precip/1/tilejson.json", "");
    EXPECT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("\"tiles\": [\"http://x/tiles/Precip/1/2000-01/{z}/{x}/{y}.png\"]"), std::string::npos);
    EXPECT_EQ(get("/layers.json", "").status, 200);
    EXPECT_EQ(get("/wms", "REQUEST=GetLegendGraphic&LAYER=Precip&STYLE=viridis").content_type, "image/png");
    r = get("/wms", "REQUEST=GetLegendGraphic&LAYER=Precip&FORMAT=application/json&COLORSCALERANGE=1,50&LOGSCALE=true");
    EXPECT_EQ(r.body, "{\"layer\": \"Precip\", \"units\": \"cm\", \"lo\": 1, \"hi\": 50, \"logscale\": true}\n");
}

TEST(ServeModels, SeveralRunsUnderTheirNames) {
    Service s({{"a", VELDRA_SAMPLE_MODEL}, {"b", VELDRA_SAMPLE_MODEL}}, {});
    EXPECT_EQ(s.handle("/a/wms", parse_query_string("REQUEST=GetCapabilities"), "http://x").status, 200);
    EXPECT_NE(s.handle("/b/wms", parse_query_string("REQUEST=GetCapabilities"), "http://x").body.find("http://x/b/wms?"),
              std::string::npos);
    EXPECT_EQ(s.handle("/wms", parse_query_string("REQUEST=GetCapabilities"), "http://x").status, 404);
    EXPECT_EQ(s.handle("/", parse_query_string(""), "http://x").status, 200);
    const Response r = s.handle("/a", parse_query_string(""), "http://x");
    EXPECT_EQ(r.status, 301);
    EXPECT_EQ(r.location, "/a/");
}
