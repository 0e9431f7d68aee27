// The GeoTIFF export over files in memory: each file opened again with GDAL
// for its values, bands, place and reference system; and what a bad block,
// a stop and a failed write leave.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "export/export_command.h"
#include "export/gtiff_export.h"
#include "tests/fake_field_source.h"
#include "tests/output_list_line.h"
#include "tests/test_model.h"
#include "tests/month_export_fixture.h"
#include "tests/support/memory_files.h"

namespace veldra::viewer {
namespace {

using veldra::testing::MemoryFiles;

struct Fixture : MonthExportFixture {
    out::ExportSource source{"/model", "Precip", 1, 1, 2, 2000, 0.5f, cells, land};
    out::GtiffSettings settings{"/out", "precip", 2000, 2000, 1, false};

    Fixture() { write_variable(2000, 2001, [](int, int, int) { return true; }); }

    // A value no decimal text of a few places holds: the month in the
    // fractional part, the year and the cell in the whole part.
    static float value(int year, int month, int cell) {
        return static_cast<float>(year - 2000) * 100.0f + static_cast<float>(cell) * 10.0f + 1.0f / 3.0f +
               static_cast<float>(month) / 64.0f;
    }

    // Blocks of the years first..last; a block for which `right` is false
    // holds the wrong month record.
    template <typename Right>
    void write_variable(int first, int last, Right right) {
        write_precip(first, last, [right](int y, int m) { return right(y, m, 0) ? m : 13; }, value);
    }

    out::ExportOutcome run() { return export_gtiffs(source, settings, places, files, progress()); }
};

// A file's bytes as GDAL reads them.
struct Opened {
    int cols = 0, rows = 0, bands = 0;
    double transform[6] = {};
    std::string crs_name;
    bool crs_is_expected = false;
    std::vector<std::vector<float>> values;  // per band, the northern row first
    std::vector<std::string> descriptions;
    std::vector<double> nodata;
};

Opened open_gtiff(const std::string& bytes, int projection) {
    GDALAllRegister();
    static int serial = 0;
    const std::string name = "/vsimem/gtiff_export_test_" + std::to_string(++serial) + ".tif";
    VSIFCloseL(VSIFileFromMemBuffer(name.c_str(), reinterpret_cast<GByte*>(const_cast<char*>(bytes.data())),
                                    bytes.size(), FALSE));
    Opened o;
    GDALDataset* d = GDALDataset::Open(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY);
    EXPECT_NE(d, nullptr);
    if (d) {
        o.cols = d->GetRasterXSize();
        o.rows = d->GetRasterYSize();
        o.bands = d->GetRasterCount();
        d->GetGeoTransform(o.transform);
        OGRSpatialReference expected;
        expected.SetFromUserInput(std::string(out::projection_crs(projection)).c_str());
        if (const OGRSpatialReference* crs = d->GetSpatialRef()) {
            o.crs_name = crs->GetName();
            const char* const ignore_axis_order[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
            o.crs_is_expected = crs->IsSame(&expected, ignore_axis_order);
        }
        for (int b = 1; b <= o.bands; ++b) {
            GDALRasterBand* band = d->GetRasterBand(b);
            std::vector<float> v(static_cast<std::size_t>(o.cols * o.rows));
            EXPECT_EQ(band->RasterIO(GF_Read, 0, 0, o.cols, o.rows, v.data(), o.cols, o.rows, GDT_Float32, 0, 0,
                                     nullptr),
                      CE_None);
            o.values.push_back(std::move(v));
            o.descriptions.emplace_back(band->GetDescription());
            o.nodata.push_back(band->GetNoDataValue());
        }
        GDALClose(GDALDataset::ToHandle(d));
    }
    VSIUnlink(name.c_str());
    return o;
}

// Any field source: with --bands a file of the year whose bands are the
// fields in the places of their months, described by the fields' labels;
// a value outside the valid range is NoData.
TEST(GtiffExport, TheFieldsOfAnySourceAreBandsDescribedByTheirLabels) {
    using Kind = fields::FieldRead::Kind;
    Fixture f;
    f.settings.projection = 0;
    f.settings.bands = true;
    int reads = 0;
    const out::OpenFields open = [&](std::int32_t) {
        return std::make_unique<FakeSource>(std::vector<Kind>{Kind::whole, Kind::whole}, reads);
    };
    const out::ExportOutcome outcome = export_gtiff_fields(f.source, f.settings, f.places, open, f.files, f.progress());
    EXPECT_TRUE(f.messages().empty()) << f.messages().front();
    ASSERT_EQ(outcome.grids, std::vector<std::string>{"/out/precip_2010.tif"});
    EXPECT_EQ(outcome.months_written, 2);
    EXPECT_EQ(reads, 2);
    const Opened o = open_gtiff(f.files.files.at("/out/precip_2010.tif"), 0);
    ASSERT_EQ(o.bands, 12);
    EXPECT_EQ(o.descriptions[0], "wet season 0");
    EXPECT_EQ(o.descriptions[1], "wet season 1");
    EXPECT_EQ(o.values[1], (std::vector<float>{1.5f, -9999, -9999, -9999, -9999, -9999, -9999, -9999}));
}

TEST(GtiffExport, MonthsHoldTheGridExportsPlacesInFullPrecision) {
    // Geographic: the model grid as it lies. Robinson: the last lookup row is
    // the northern one. Every place without a value is NoData, -9999: outside
    // the outline, a place naming no cell, and land without a cell.
    const float v0 = Fixture::value(2000, 7, 0), v1 = Fixture::value(2000, 7, 1);
    const struct {
        int projection;
        int cols, rows;
        double transform[6];
        const char* crs_name;
        std::vector<float> july;
    } cases[] = {
        {0, 4, 2, {-180, 90, 0, 90, 0, -90}, "WGS 84", {v0, -9999, -9999, -9999, -9999, -9999, v1, -9999}},
        {1, 3, 2, {-1500, 1000, 0, 1000, 0, -1000}, "World_Robinson", {v0, -9999, -9999, -9999, -9999, v1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.projection);
        Fixture f;
        f.settings.projection = c.projection;
        const out::ExportOutcome outcome = f.run();
        EXPECT_TRUE(f.messages().empty()) << f.messages().front();
        EXPECT_EQ(outcome.months_written, 12);
        ASSERT_EQ(outcome.grids.size(), 12u);
        EXPECT_EQ(outcome.grids[6], "/out/precip_2000_07.tif");
        const Opened o = open_gtiff(f.files.files.at("/out/precip_2000_07.tif"), c.projection);
        EXPECT_EQ(o.cols, c.cols);
        EXPECT_EQ(o.rows, c.rows);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(o.transform[k], c.transform[k]) << k;
        EXPECT_EQ(o.crs_name, c.crs_name);
        EXPECT_TRUE(o.crs_is_expected);
        ASSERT_EQ(o.bands, 1);
        EXPECT_EQ(o.values[0], c.july);
        EXPECT_EQ(o.descriptions[0], "2000-07");
        EXPECT_EQ(o.nodata[0], -9999.0);
    }
}

// A cell's value outside the valid range (the bounds excluded, compared in
// single precision) is NoData in the GeoTIFF; any other stays as it is.
TEST(GtiffExport, ValuesOutsideTheValidRangeAreNoData) {
    const struct {
        float value;
        float written;
    } cases[] = {
        {1e12f, -9999},         {std::nextafter(1e12f, 0.0f), std::nextafter(1e12f, 0.0f)},
        {-1e13f, -9999},        {std::nextafter(-1e13f, 0.0f), std::nextafter(-1e13f, 0.0f)},
        {3e38f, -9999},         {-INFINITY, -9999},
        {NAN, -9999},           {-255, -255},
        {-9999, -9999},         {0.25f, 0.25f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Fixture f;
        const float value = c.value;
        f.write_precip(2000, 2000, [](int, int m) { return m; },
                       [value](int, int, int i) { return i == 0 ? value : 7.0f; });
        f.settings.projection = 0;
        ASSERT_EQ(f.run().months_written, 12);
        const Opened o = open_gtiff(f.files.files.at("/out/precip_2000_01.tif"), 0);
        EXPECT_EQ(o.values[0][0], c.written);
        EXPECT_EQ(o.values[0][6], 7.0f);
    }
}

TEST(GtiffExport, BandsMakeOneFilePerYearWithTheMonthsInOrder) {
    Fixture f;
    f.settings.bands = true;
    f.settings.last_year = 2001;
    const out::ExportOutcome outcome = f.run();
    EXPECT_EQ(outcome.months_written, 24);
    EXPECT_EQ(outcome.grids, (std::vector<std::string>{"/out/precip_2000.tif", "/out/precip_2001.tif"}));
    const Opened o = open_gtiff(f.files.files.at("/out/precip_2001.tif"), 1);
    ASSERT_EQ(o.bands, 12);
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(o.descriptions[static_cast<std::size_t>(m - 1)], "2001-" + std::string(m < 10 ? "0" : "") + std::to_string(m));
        EXPECT_EQ(o.values[static_cast<std::size_t>(m - 1)][0], Fixture::value(2001, m, 0));
    }
}

TEST(GtiffExport, ABadBlockLeavesNoFileOfItsMonthOrWithBandsOfItsYear) {
    for (const bool bands : {false, true}) {
        SCOPED_TRACE(bands);
        Fixture f;
        f.settings.bands = bands;
        f.settings.last_year = 2001;
        f.write_variable(2000, 2001, [](int y, int m, int) { return !(y == 2000 && m == 3); });
        const std::string bad = bands ? "/out/precip_2000.tif" : "/out/precip_2000_03.tif";
        f.files.put(bad, "an older file");
        const out::ExportOutcome outcome = f.run();
        EXPECT_FALSE(outcome.failed);
        EXPECT_EQ(outcome.months_abandoned, 1);
        EXPECT_EQ(outcome.months_written, bands ? 12 : 23);
        EXPECT_FALSE(f.files.exists(bad));
        EXPECT_TRUE(f.files.exists(bands ? "/out/precip_2001.tif" : "/out/precip_2000_04.tif"));
        ASSERT_EQ(f.messages().size(), 1u);
        EXPECT_NE(f.messages()[0].find("Excepted is 3 and read-in was 13"), std::string::npos) << f.messages()[0];
    }
}

TEST(GtiffExport, StopsAndFailuresKeepWhatWasWritten) {
    {
        Fixture f;
        f.stop_at = "Saving: /out/precip_2000_03.tif";
        const out::ExportOutcome outcome = f.run();
        EXPECT_TRUE(outcome.stopped);
        EXPECT_EQ(outcome.months_written, 2);
        EXPECT_FALSE(f.files.exists("/out/precip_2000_03.tif"));
    }
    {
        Fixture f;
        f.files.put("/out/precip_2000_01.tif", "an older file");
        f.files.faults.rename = ENOSPC;
        const out::ExportOutcome outcome = f.run();
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(outcome.months_written, 0);
        EXPECT_EQ(f.files.files.at("/out/precip_2000_01.tif"), "an older file");
        ASSERT_EQ(f.messages().size(), 1u);
        EXPECT_NE(f.messages()[0].find("/out/precip_2000_01.tif"), std::string::npos) << f.messages()[0];
    }
    {
        Fixture f;
        f.files.put("/lookup/robinson_ids_0p5.asc",
                    header(3, 2, "-1500", "south", "1000") + "0 -9999 2\r\n4 5 -9999\r\n");
        const out::ExportOutcome outcome = f.run();
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(f.messages(), (std::vector<std::string>{
                                    "/lookup/robinson_ids_0p5.asc: line 4: expected yllcorner and a finite number, "
                                    "found \"yllcorner     south\""}));
    }
}

// A damaged header of the reference grid stops both exports with the same
// message, before any file is written; a header placing the grid by the
// centre of its south-west place is read as the same corner.
TEST(GtiffExport, BothExportsShareTheLookupHeaderCheck) {
    const std::string kLongLine = "cellsize      " + std::string(300, '9') + "x";
    const struct {
        const char* x;
        const char* y;
        const char* cell;
        const char* nodata;
        std::string message;  // empty: accepted
    } cases[] = {
        {"xllcorner     -180", "yllcorner     -90", "cellsize      0", "-9999",
         "line 5: expected a cell size above 0, found \"cellsize      0\""},
        {"xllcorner     -180", "yllcorner     -90", "cellsize      -90", "-9999",
         "line 5: expected a cell size above 0, found \"cellsize      -90\""},
        {"xllcorner     -180", "yllcorner     -90", "cellsize      nan", "-9999",
         "line 5: expected cellsize and a finite number, found \"cellsize      nan\""},
        {"xllcorner     -180", "yllcorner     -90", "cellsize      -1e999", "-9999",
         "line 5: expected cellsize and a finite number, found \"cellsize      -1e999\""},
        {"xllcorner     inf", "yllcorner     -90", "cellsize      90", "-9999",
         "line 3: expected xllcorner and a finite number, found \"xllcorner     inf\""},
        {"xllcorner     -180", "yllcorner", "cellsize      90", "-9999",
         "line 4: expected yllcorner and a finite number, found \"yllcorner\""},
        {"xllcorner     -180", "yllcorner     -90", "cellsise      90", "-9999",
         "line 5: expected cellsize and a finite number, found \"cellsise      90\""},
        {"xllcorner     -180", "yllcorner     -90", "cellsize      90 degrees", "-9999",
         "line 5: expected cellsize and a finite number, found \"cellsize      90 degrees\""},
        {"xllcorner     -180", "yllcorner     1e308", "cellsize      1e308", "-9999",
         "lines 1 to 5: the grid's far corner lies beyond the finite numbers"},
        {"xllcorner     -180", "yllcorner     -90", "cellsize      90", "0",
         "line 6: expected NODATA_value -9999, found \"NODATA_value  0\""},
        {"xllcorner     -180", "yllcorner     -90", kLongLine.c_str(), "-9999",
         "line 5: expected cellsize and a finite number, found \"" + kLongLine.substr(0, 80) + "...\""},
        {"xllcorner     -180", "yllcorner     -90", "cellsize      90", "-9999", ""},
        {"XLLCENTER -135", "yllcenter\t-45", "CellSize 90", "-9999", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        MonthExportFixture f;
        f.write_precip(2000, 2000, [](int, int m) { return m; }, [](int, int, int i) { return 1.0f + i; });
        f.files.put("/lookup/zone_ids_0p5.asc", std::string("ncols         4\r\nnrows         2\r\n") + c.x + "\r\n" +
                                                   c.y + "\r\n" + c.cell + "\r\nNODATA_value  " + c.nodata +
                                                   "\r\n0 1 2 3\r\n4 5 6 7\r\n");
        const out::ExportSource source{"/model", "Precip", 1, 1, 2, 2000, 0.5f, f.cells, f.land};
        const out::ExportOutcome grids =
            export_grids(source, out::ExportSettings{"/out", "p", 2000, 2000, 3, 0}, f.places, f.files, f.progress());
        const out::ExportOutcome tiffs =
            export_gtiffs(source, out::GtiffSettings{"/out", "p", 2000, 2000, 0, false}, f.places, f.files, f.progress());
        const std::vector<std::string> expected =
            c.message.empty() ? std::vector<std::string>{}
                              : std::vector<std::string>{"/lookup/zone_ids_0p5.asc: " + c.message,
                                                         "/lookup/zone_ids_0p5.asc: " + c.message};
        EXPECT_EQ(f.messages(), expected);
        EXPECT_EQ(grids.months_written, c.message.empty() ? 12 : 0);
        EXPECT_EQ(tiffs.months_written, c.message.empty() ? 12 : 0);
        if (!c.message.empty()) continue;
        const Opened o = open_gtiff(f.files.files.at("/out/p_2000_01.tif"), 0);
        EXPECT_EQ(std::vector<double>(o.transform, o.transform + 6), (std::vector<double>{-180, 90, 0, 90, 0, -90}));
    }
}

TEST(GtiffExport, CommandLine) {
    // A regional window of 4 x 2 cells of 0.5 degree from (-1, -1) to (1, 0);
    // the lookup grids of the fixture on disk.
    const veldra::testing::TestModel model("gtiff_command");
    model.write_text("Parms/Output_List.vrl",
                     veldra::testing::output_list_line("1", "Precip", "1", "Facet", "mm") + "\r\n");
    model.write_text("Output/Rng_Data.vrd", "2 4 2 -1 -1 1 0 0.5 2000 2000\r\n1 1 1 1 1\r\n2 1 3 2 1\r\n");
    model.write_text("Output/Globe.vrd", "TTFF\r\nTFFT\r\n");
    model.write_variable("Precip.vrd", 2, 2000, 2000, 1, [](auto, auto, auto, auto i) { return i + 0.5f; });
    Fixture lookup;
    std::filesystem::create_directories(model.root() / "lookup");
    for (const auto& [path, bytes] : lookup.files.files)
        if (path.rfind("/lookup/", 0) == 0) model.write_text(path.substr(1), bytes);
    const auto run = [&](std::vector<std::string> args, std::string* err = nullptr) {
        args.insert(args.begin(), {"--model", model.root().string(), "--variable", "Precip", "--out",
                                   model.maps().string(), "--lookup", (model.root() / "lookup").string()});
        std::ostringstream o, e;
        const int status = run_veldra_export(args, o, e, out::LookupPlaces{});
        if (err) *err = e.str();
        return status;
    };
    std::string err;
    EXPECT_EQ(run({"--format", "gtiff", "--bands"}, &err), 0) << err;
    EXPECT_EQ(err.substr(0, err.find("bytes")),
              "[1 of 1] Saving: " + (model.maps() / "Precip_2000.tif").string() + "\nveldra_export: wrote 1 file, " +
                  std::to_string(std::filesystem::file_size(model.maps() / "Precip_2000.tif")) + " ");
    // The window's own place and cells, without lookup grids.
    const Opened year = open_gtiff(files::read_text_file((model.maps() / "Precip_2000.tif").string()), 0);
    EXPECT_EQ(std::vector<double>(year.transform, year.transform + 6), (std::vector<double>{-1, 0.5, 0, 0, 0, -0.5}));
    ASSERT_EQ(year.bands, 12);
    EXPECT_EQ(year.values[6], (std::vector<float>{0.5f, -9999, -9999, -9999, -9999, -9999, 1.5f, -9999}));
    // A projection and the ASCII grids expect the whole globe.
    const std::string refusal = "veldra_export: Nothing was exported: " + model.root().string() +
                                "/Output/Rng_Data.vrd: line 1: the edges -1, -1, 1, 0 (west, south, east, north) are "
                                "a regional window; ";
    const std::string alternative =
        " expect the whole globe, -180, -90, 180, 90. A regional window exports as a geographic GeoTIFF only.\n";
    const auto first_line = [](const std::string& text) { return text.substr(0, text.find('\n') + 1); };
    EXPECT_EQ(run({"--format", "gtiff", "--projection", "robinson", "--root", "r"}, &err), 1);
    EXPECT_EQ(first_line(err), refusal + "GeoTIFFs in the Robinson projection" + alternative);
    EXPECT_EQ(run({"--root", "r"}, &err), 1);
    EXPECT_EQ(first_line(err), refusal + "ASCII grids" + alternative);
    EXPECT_EQ(run({"--format", "gtiff", "--quiet", "--root", "p"}), 0);
    EXPECT_EQ(model.grid_names().size(), 13u);
    for (const auto& [wrong, problem] : {std::pair<std::vector<std::string>, std::string>{
                                             {"--bands"}, "--bands applies to --format gtiff only"},
                                         {{"--format", "gtiff", "--decimals", "2"}, "--decimals applies to --format grids only"},
                                         {{"--format", "gtiff", "--deflate", "2"}, "--deflate applies to --format netcdf only"},
                                         {{"--format", "tiff"}, "--format: grids, netcdf, gtiff or csv, not tiff"}}) {
        EXPECT_EQ(run(wrong, &err), 2) << problem;
        EXPECT_EQ(err.rfind("veldra_export: " + problem, 0), 0u) << err;
    }
}

}  // namespace
}  // namespace veldra::viewer
