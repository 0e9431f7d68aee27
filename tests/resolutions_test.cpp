// The resolutions of a model: the grid the viewer's loader gives each cell
// size a model writes, against the table's whole globe; then whole models of
// the new resolutions exported by veldra_export as GeoTIFF (read back by
// GDAL) and as ASCII grids, with lookup grids made into a temporary cache.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gdal_priv.h>

#include "export/export_command.h"
#include "export/export_settings.h"
#include "export/grid_export.h"
#include "modelfiles/ascii_grid.h"
#include "modelfiles/resolutions.h"
#include "modelfiles/viewer_model.h"
#include "tests/output_list_line.h"
#include "tests/test_model.h"
#include "export/lookup_maker/lookup_grid_maker.h"

namespace veldra {
namespace {

// The cell file's edges and cell size as a model writes them, the globe mask
// the viewer's loader makes of them, and the model grid of the exports.
TEST(Resolutions, TheModelGridOfEachCellSizeAModelWrites) {
    const struct {
        files::ModelEdges edges;
        float cell;
        const char* suffix;  // "" for none
        std::int64_t cols, rows;
        bool whole_globe, exporter_header;
    } cases[] = {
        {{}, 0.0833333f, "0p083", 4320, 2160, true, true},
        {{}, 0.083333333334f, "0p083", 4320, 2160, true, true},
        {{}, 0.1666667f, "0p167", 2160, 1080, true, true},
        {{}, 0.166666666667f, "0p167", 2160, 1080, true, true},
        {{}, 0.1f, "0p1", 3600, 1800, true, true},
        {{}, 0.25f, "0p25", 1440, 720, true, true},
        {{}, 0.5f, "0p5", 720, 360, true, true},
        {{}, 1.0f, "1p0", 360, 180, true, true},
        {{}, 2.0f, "2p0", 180, 90, true, false},
        {{}, 0.3f, "", 1200, 600, true, false},
        // Regional windows of 100 x 100 cells.
        {{10, 20, 20, 30}, 0.1f, "0p1", 100, 100, false, true},
        {{-50, -50, 50, 50}, 1.0f, "1p0", 100, 100, false, true},
        {{-180, -90, 180, 89}, 1.0f, "1p0", 360, 179, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        files::ViewerGridInfo info;
        info.lowerX = c.edges.west;
        info.lowerY = c.edges.south;
        info.upperX = c.edges.east;
        info.upperY = static_cast<std::int16_t>(c.edges.north);
        info.cellSize = c.cell;
        const std::optional<files::GridShape> mask = files::grid_shape(files::compute_extents(info));
        ASSERT_TRUE(mask);
        const files::ModelGrid grid = model_grid(c.edges, c.cell, mask->cols, mask->rows);
        EXPECT_EQ(grid.cols, c.cols);
        EXPECT_EQ(grid.rows, c.rows);
        EXPECT_EQ(grid.whole_globe, c.whole_globe);
        EXPECT_EQ(grid.resolution ? grid.resolution->suffix : "", c.suffix);
        EXPECT_EQ(files::grid_header_for(c.cell) != nullptr, c.exporter_header);
        if (c.whole_globe && grid.resolution) {
            EXPECT_EQ(grid.cols, grid.resolution->cols);
            EXPECT_EQ(grid.rows, grid.resolution->rows);
            // The lookup grids of the suffix are made for the same globe.
            const auto geometry = lookup::geographic_geometry(grid.resolution->suffix);
            ASSERT_TRUE(geometry);
            EXPECT_EQ(geometry->cols, grid.cols);
            EXPECT_EQ(geometry->rows, grid.rows);
        }
    }
}

// XDG_CACHE_HOME set for the life of the object.
class CacheHome {
public:
    explicit CacheHome(const std::filesystem::path& folder) {
        if (const char* old = std::getenv("XDG_CACHE_HOME")) old_ = old;
        ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
    }
    ~CacheHome() {
        if (old_.empty()) ::unsetenv("XDG_CACHE_HOME");
        else ::setenv("XDG_CACHE_HOME", old_.c_str(), 1);
    }
    CacheHome(const CacheHome&) = delete;
    CacheHome& operator=(const CacheHome&) = delete;

private:
    std::string old_;
};

// A model of three cells, 10.5, 11.5 and 12.5 in every month: at the
// north-west corner, in the middle and at the south-east corner (where the
// loader's mask may end a column and a row short), with land east of the first.
struct ThreeCells {
    veldra::testing::TestModel model{"resolution"};
    std::int64_t cols, rows;

    ThreeCells(const char* edges, const char* cell, std::int64_t c, std::int64_t r) : cols(c), rows(r) {
        model.write_text("Parms/Output_List.vrl",
                         veldra::testing::output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n");
        const std::string x = std::to_string(cols), y = std::to_string(rows);
        model.write_text("Output/Rng_Data.vrd", "3 " + x + " " + y + " " + edges + " " + cell + " 2000 2000\r\n" +
                                                    "1 1 1 1 1\r\n2 1 " + std::to_string(cols / 2) + " " +
                                                    std::to_string(rows / 2) + " 1\r\n3 1 " + x + " " + y + " 1\r\n");
        std::string globe = "TT" + std::string(static_cast<std::size_t>(cols - 2), 'F') + "\r\n";
        for (std::int64_t k = 1; k < rows; ++k) globe += std::string(static_cast<std::size_t>(cols), 'F') + "\r\n";
        model.write_text("Output/Globe.vrd", globe);
        model.write_variable("Precip.vrd", 3, 2000, 2000, 1, [](auto, auto, auto, auto i) { return 10.5f + i; });
    }

    int export_gtiff(std::vector<std::string> args, std::string& err) const {
        args.insert(args.begin(), {"--model", model.root().string(), "--variable", "Precip", "--out",
                                   model.maps().string(), "--format", "gtiff", "--bands", "--quiet"});
        std::ostringstream o, e;
        const int status =
            veldra::out::run_veldra_export(args, o, e, lookup::standard_lookup_places(model.root().string()));
        err = e.str();
        return status;
    }
};

// Whole globes of the cell sizes that found no lookup grids, and a regional
// window, exported by veldra_export as a GeoTIFF: the grid of the table (or
// the window), placed on the globe, each cell at its place, NoData elsewhere,
// and GDAL's statistics those of the three cells.
TEST(Resolutions, VeldraExportWritesTheGeoTiffOfEachResolution) {
    const struct {
        const char* edges;
        const char* cell;
        std::int64_t cols, rows;
        double west, north, size;
    } cases[] = {
        {"-180 -90 180 90", "0.0833333", 4320, 2160, -180, 90, 1.0 / 12},
        {"-180 -90 180 90", "0.1666667", 2160, 1080, -180, 90, 1.0 / 6},
        {"-180 -90 180 90", "0.1", 3600, 1800, -180, 90, 0.1},
        {"-180 -90 180 90", "2", 180, 90, -180, 90, 2},
        {"10 20 20 30", "0.1", 100, 100, 10, 30, 0.1},
    };
    GDALAllRegister();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cell) + " " + c.edges);
        const ThreeCells m(c.edges, c.cell, c.cols, c.rows);
        const CacheHome cache(m.model.root() / "cache");
        std::string err;
        ASSERT_EQ(m.export_gtiff({}, err), 0) << err;
        GDALDataset* d = GDALDataset::Open((m.model.maps() / "Precip_2000.tif").c_str(), GDAL_OF_RASTER);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->GetRasterXSize(), c.cols);
        EXPECT_EQ(d->GetRasterYSize(), c.rows);
        double t[6] = {};
        d->GetGeoTransform(t);
        EXPECT_NEAR(t[0], c.west, 1e-9);
        EXPECT_NEAR(t[3], c.north, 1e-9);
        EXPECT_NEAR(t[1], c.size, 1e-12);
        EXPECT_NEAR(t[5], -c.size, 1e-12);
        GDALRasterBand* july = d->GetRasterBand(7);
        const auto at = [&](std::int64_t col, std::int64_t row) {
            float v = 0;
            EXPECT_EQ(july->RasterIO(GF_Read, static_cast<int>(col), static_cast<int>(row), 1, 1, &v, 1, 1,
                                     GDT_Float32, 0, 0, nullptr),
                      CE_None);
            return v;
        };
        EXPECT_EQ(at(0, 0), 10.5f);
        EXPECT_EQ(at(1, 0), -9999.0f);  // land without a cell
        EXPECT_EQ(at(c.cols / 2 - 1, c.rows / 2 - 1), 11.5f);
        EXPECT_EQ(at(c.cols - 1, c.rows - 1), 12.5f);
        double low = 0, high = 0, mean = 0, sd = 0;
        ASSERT_EQ(july->ComputeStatistics(FALSE, &low, &high, &mean, &sd, nullptr, nullptr), CE_None);
        EXPECT_EQ(low, 10.5);
        EXPECT_EQ(high, 12.5);
        EXPECT_DOUBLE_EQ(mean, 11.5);
        GDALClose(GDALDataset::ToHandle(d));
    }
}

// The ASCII grids of the whole globes at 1/12 and 1/6 degree (January only):
// the lookup grid's header, the first row's cell, land and water, the last
// row's cell at the south-east corner.
TEST(Resolutions, TheGridExportWritesTheWholeGlobeOfEachResolution) {
    const struct {
        const char* cell;
        std::int64_t cols, rows;
        const char* cellsize;
    } cases[] = {
        {"0.0833333", 4320, 2160, "0.08333333333333333"},
        {"0.1666667", 2160, 1080, "0.16666666666666666"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        const ThreeCells m("-180 -90 180 90", c.cell, c.cols, c.rows);
        const CacheHome cache(m.model.root() / "cache");
        const files::LoadedModel loaded = files::load_model_files(m.model.root().string());
        const std::optional<out::ExportSource> source = out::export_source(loaded, &loaded.OutputTable[0], 1);
        ASSERT_TRUE(source);
        const std::string folder = m.model.maps().string();
        const out::ExportSettings settings{folder, "p", 2000, 2000, 1, 0};
        std::vector<std::string> messages;
        const out::ExportOutcome outcome = out::export_grids(
            *source, settings, lookup::standard_lookup_places(m.model.root().string()), files::system_files(),
            [&](out::ExportNote note, const std::string& text) {
                if (note == out::ExportNote::message) messages.push_back(text);
                return text != "Saving: " + folder + "/p_2000_02.asc";
            });
        EXPECT_EQ(messages, std::vector<std::string>{});
        ASSERT_EQ(outcome.months_written, 1);
        const std::string january = veldra::testing::read_file(m.model.maps() / "p_2000_01.asc");
        const std::string head = "ncols         " + std::to_string(c.cols) + "\r\nnrows         " +
                                 std::to_string(c.rows) + "\r\nxllcorner     -180\r\nyllcorner     -90\r\n" +
                                 "cellsize      " + c.cellsize + "\r\nNODATA_value  -9999\r\n";
        EXPECT_EQ(january.substr(0, head.size() + 20), head + "10.5 -255.0 -9999.0 ");
        EXPECT_EQ(january.substr(january.size() - 15), "-9999.0 12.5 \r\n");
        std::size_t lines = 0;
        for (const char ch : january) lines += ch == '\n';
        EXPECT_EQ(lines, static_cast<std::size_t>(6 + c.rows));
    }
}

}  // namespace
}  // namespace veldra
