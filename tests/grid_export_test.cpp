// The grid export over files in memory: names, number format, the bytes of
// geographic and projected grids, and what stops or skips a month.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

#include "export/export_command.h"
#include "export/grid_export.h"
#include "export/grid_value_text.h"
#include "export/lookup_grids.h"
#include "tests/output_list_line.h"
#include "tests/month_export_fixture.h"
#include "tests/support/memory_files.h"

namespace veldra::viewer {
namespace {

using veldra::testing::MemoryFiles;

struct Fixture : MonthExportFixture {
    out::ExportSource source{"/model", " Precip ", 1, 1, 2, 2000, 0.5f, cells, land};
    out::ExportSettings settings{"/out", "precip", 2000, 2000, 3, 0};

    Fixture() { write_variable(2000, 2001, [](int, int, int i) { return i == 0 ? 12.5f : -0.25f; }); }

    template <typename Value>
    void write_variable(int first, int last, Value value) {
        write_precip(first, last, [](int, int m) { return m; }, value);
    }

    out::ExportOutcome run() { return export_grids(source, settings, places, files, progress()); }

    std::vector<std::string> grid_files() const {
        std::vector<std::string> names;
        for (const auto& [path, content] : files.files)
            if (path.starts_with("/out/")) names.push_back(path);
        return names;
    }
};

// The suffix follows the bands of the resolution table, bounds excluded.
TEST(ResolutionSuffix, FollowsTheBandsOfTheCellSize) {
    const std::pair<float, std::string_view> table[] = {
        {2.0f, "2p0"},       {1.0f, "1p0"},         {0.5f, "0p5"},          {0.25f, "0p25"},
        {0.167f, "0p167"},   {1.0f / 6, "0p167"},   {0.1666667f, "0p167"},  {0.1f, "0p1"},
        {0.083f, "0p083"},   {1.0f / 12, "0p083"},  {0.0833333f, "0p083"},  {0.0833333333334f, "0p083"},
        {0.3f, ""},          {0.51f, ""},           {0.49f, ""},            {0.173f, ""},
        {0.08f, ""},         {0.086f, ""},          {1.5f, ""},             {4.0f, ""},
    };
    for (const auto& [size, suffix] : table) EXPECT_EQ(out::resolution_suffix(size), suffix) << size;
}

TEST(GridValueText, DecimalPlacesAndPrintStyle) {
    const struct {
        float value;
        int decimals;
        std::string_view text;
    } table[] = {
        {2.5f, 0, " 3  "},          {-0.5f, 0, " 0  "},         {12.5f, 0, " 13  "},
        {-255.0f, 0, "-255  "},     {-2.5f, 0, "-2  "},         {0.004f, 2, ".00 "},
        {-255.0f, 3, "-255.000 "},  {0.5f, 3, ".500 "},         {-0.25f, 3, "-.250 "},
        {-9999.0f, 3, "-9999.000 "}, {0.9996f, 3, "1.000 "},    {0.125f, 2, ".13 "},
        {2.675f, 2, "2.67 "},       {-0.0f, 1, ".0 "},          {1e10f, 1, "10000000000.0 "},
        {3e38f, 0, " 300000000549775575777803994281145270272  "},
        {0.1f, 12, ".100000001490 "}, {-1.5f, 10, "-1.5000000000 "},
        // Exact halves beyond nine places (2^-11 and -3 * 2^-13) go away from zero.
        {0.00048828125f, 10, ".0004882813 "}, {-0.0003662109375f, 12, "-.000366210938 "},
    };
    for (const auto& row : table) {
        const out::GridValueText format(row.decimals);
        char buf[256];
        EXPECT_EQ(std::string_view(buf, format.write(buf, row.value)), row.text) << row.value << " " << row.decimals;
    }
}

TEST(GridExport, GeographicGridBytes) {
    Fixture f;
    f.settings.last_year = 2000;
    const out::ExportOutcome out = f.run();
    ASSERT_EQ(out.months_written, 12) << (f.messages().empty() ? "" : f.messages()[0]);
    // The header is the reference grid's; the north row first; the place
    // outside the mask is "-9999 ".
    EXPECT_EQ(f.files.files.at("/out/precip_2000_01.asc"),
              header(4, 2, "-180", "-90", "90") +
                  "12.500 -255.000 -9999.000 -9999.000 \r\n"
                  "-255.000 -9999.000 -.250 -9999 \r\n");
    EXPECT_EQ(f.files.files.at("/out/precip_2000_01.prj"), "GEOGCS[\"GCS_WGS_1984\"]\r\n");
    const std::vector<std::pair<out::ExportNote, std::string>> first_notes(f.notes.begin(), f.notes.begin() + 5);
    EXPECT_EQ(first_notes, (std::vector<std::pair<out::ExportNote, std::string>>{
                               {out::ExportNote::status, "Reading in geographic information ..."},
                               {out::ExportNote::status, "Reading in projection information ..."},
                               {out::ExportNote::status, "Saving: /out/precip_2000_01.asc"},
                               {out::ExportNote::status, ""},
                               {out::ExportNote::status, "Saving: /out/precip_2000_02.asc"}}));
}

TEST(GridExport, ProjectedGridWritesTheLastLookupRowFirst) {
    Fixture f;
    f.settings.projection = 1;
    f.settings.last_year = 2000;
    ASSERT_EQ(f.run().months_written, 12);
    // North row (read last): cell 0, land, an id of -9900 (no cell) inside the mask.
    // South row: land, outside the mask, cell 1.
    EXPECT_EQ(f.files.files.at("/out/precip_2000_01.asc"),
              header(3, 2, "-1500", "-1000", "1000") +
                  "12.500 -255.000 -9999.000 \r\n"
                  "-255.000 -9999 -.250 \r\n");
    EXPECT_EQ(f.files.files.at("/out/precip_2000_12.prj"), "PROJCS[\"World_Robinson\"]\r\n");
}

TEST(GridExport, TwoYearsWriteTwentyFourGridsInOrderWhateverTheFolderEnd) {
    for (const std::string folder : {"/out", "/out/", "  /out  "}) {
        Fixture f;
        f.settings.folder = folder;
        f.settings.last_year = 2001;
        const out::ExportOutcome out = f.run();
        std::vector<std::string> expected;
        for (const char* year : {"2000", "2001"})
            for (const char* month : {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12"})
                expected.push_back(std::string("/out/precip_") + year + "_" + month + ".asc");
        EXPECT_EQ(out.grids, expected) << "folder \"" << folder << "\"";
        EXPECT_EQ(f.grid_files().size(), 48u);
    }
}

// A block whose count, year or month record is wrong abandons its month
// only: its message, no grid of its name (an earlier one is removed), and the
// next month written normally.
TEST(GridExport, BlockCheckAbandonsOnlyThatMonth) {
    const struct {
        std::size_t record;  // of March's block
        float value;
        std::string message;
    } table[] = {
        {0, 3.0f,
         "There is disagreement between the number of rangeland cells expected and what is being read-in.  Something "
         "is out of sync. Expected is 2 and read-in was: 3"},
        {1, 1999.5f,
         "There is disagreement between the current year and the year read-in.  Something is out of sync.  Excepted "
         "is 2000 and read-in was 1999.5"},
        {2, 4.0f,
         "There is disagreement between the current month and the month read-in.  Something is out of sync.  "
         "Excepted is 3 and read-in was 4"},
    };
    for (const auto& row : table) {
        Fixture f;
        std::memcpy(f.files.files["/model/Output/Precip.vrd"].data() + (2 * 5 + row.record) * 4, &row.value, 4);
        f.files.put("/out/precip_2000_03.asc", "an earlier export");
        f.files.put("/out/precip_2000_03.prj", "an earlier export");
        const out::ExportOutcome out = f.run();
        EXPECT_EQ(f.messages(), std::vector<std::string>{row.message});
        EXPECT_EQ(out.months_written, 11);
        EXPECT_EQ(out.months_abandoned, 1);
        EXPECT_FALSE(f.files.exists("/out/precip_2000_03.asc"));
        EXPECT_FALSE(f.files.exists("/out/precip_2000_03.prj"));
        EXPECT_EQ(f.files.files.at("/out/precip_2000_04.asc"), f.files.files.at("/out/precip_2000_02.asc"));
    }
}

TEST(GridExport, FailuresStopWithOneMessageNamingTheFile) {
    const struct {
        const char* what;
        void (*change)(Fixture&);
        std::string message;
        int written;
    } table[] = {
        {"mask missing", [](Fixture& f) { f.files.remove("/lookup/rob01_0p5.asc"); },
         "The lookup grids for a cell size of 0.5 are missing: /lookup/rob01_0p5.asc cannot be opened.", 0},
        {"no grids for 0.3", [](Fixture& f) { f.source.cell_size = 0.3f; },
         "There are no lookup grids for a cell size of 0.3: /lookup/zone_ids_.asc cannot be opened.", 0},
        {"variable file missing", [](Fixture& f) { f.source.file_name = "Snow"; },
         "/model/Output/Snow.vrd: cannot be opened: No such file or directory", 0},
        {"columns disagree",
         [](Fixture& f) { f.files.put("/lookup/rob01_0p5.asc", header(2, 3, "0", "0", "1") + "1 1 1 1 1 1\r\n"); },
         "/lookup/rob01_0p5.asc: line 1: the mask grid has 2 columns, the id grid /lookup/robinson_ids_0p5.asc has 3",
         0},
        {"rows disagree",
         [](Fixture& f) { f.files.put("/lookup/rob01_0p5.asc", header(3, 1, "0", "0", "1") + "1 1 1\r\n"); },
         "/lookup/rob01_0p5.asc: line 2: the mask grid has 1 rows, the id grid /lookup/robinson_ids_0p5.asc has 2", 0},
        {"unknown id",
         [](Fixture& f) {
             f.files.put("/lookup/robinson_ids_0p5.asc", header(3, 2, "0", "0", "1") + "0 -9999 6\r\n4 9 -9999\r\n");
         },
         "/lookup/robinson_ids_0p5.asc: line 8: the id 9 (row 2 from the south, column 2) does not occur in the "
         "reference grid /lookup/zone_ids_0p5.asc",
         0},
        {"an id just above -9900 names a cell",
         [](Fixture& f) {
             f.files.put("/lookup/robinson_ids_0p5.asc", header(3, 2, "0", "0", "1") + "-9899 -9999 2\r\n4 5 -9999\r\n");
         },
         "/lookup/robinson_ids_0p5.asc: line 7: the id -9899 (row 1 from the south, column 1) does not occur in the "
         "reference grid /lookup/zone_ids_0p5.asc",
         0},
        {"reference grid of another size",
         [](Fixture& f) { f.files.put("/lookup/zone_ids_0p5.asc", header(2, 1, "0", "0", "1") + "0 1\r\n"); },
         "/lookup/zone_ids_0p5.asc: lines 1 and 2: the grid has 2 x 1 cells, the model grid 4 x 2", 0},
        {"folder cannot be written", [](Fixture& f) { f.files.faults.create = ENOENT; },
         "/out/precip_2000_01.asc: cannot create a temporary file beside it: No such file or directory", 0},
        {"variable file ends in March",
         [](Fixture& f) { f.files.files["/model/Output/Precip.vrd"].resize((2 * 5 + 4) * 4); },
         "/model/Output/Precip.vrd: record 15 lies past the end of the file, which holds 14 records; the block of "
         "year 2000, month 3, layer 1 takes records 11 to 15.",
         2},
    };
    for (const auto& row : table) {
        Fixture f;
        f.settings.projection = 1;
        row.change(f);
        const out::ExportOutcome out = f.run();
        EXPECT_TRUE(out.failed) << row.what;
        EXPECT_EQ(f.messages(), std::vector<std::string>{row.message}) << row.what;
        EXPECT_EQ(out.months_written, row.written) << row.what;
        EXPECT_EQ(f.grid_files().size(), 2u * row.written) << row.what;
    }
}

TEST(GridExport, StopAfterTheMonthBeingWritten) {
    Fixture f;
    f.stop_at = "Saving: /out/precip_2000_02.asc";
    const out::ExportOutcome out = f.run();
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.grids, std::vector<std::string>{"/out/precip_2000_01.asc"});
    EXPECT_EQ(f.grid_files().size(), 2u);
}

// veldra_export reads the model and writes its grids through the files it is
// given: the same bytes as the export itself, and a failed rename leaves no grid.
// The model is the whole globe in cells of 2 degrees, 180 x 90.
TEST(GridExport, TheCommandLineGoesThroughItsFiles) {
    Fixture f;
    f.files.put("/model/Parms/Output_List.vrl", veldra::testing::output_list_line("1", "Precip", "1", "", "mm") + "\r\n");
    f.files.put("/model/Output/Rng_Data.vrd", "2 180 90 -180 -90 180 90 2 2000 2000\r\n1 1 1 1 1\r\n2 1 3 2 1\r\n");
    std::string globe = "TT" + std::string(178, 'F') + "\r\nT" + std::string(179, 'F') + "\r\n";
    for (int r = 2; r < 90; ++r) globe += std::string(180, 'F') + "\r\n";
    f.files.put("/model/Output/Globe.vrd", globe);
    std::string ids = header(180, 90, "-180", "-90", "2"), mask = ids;
    for (int k = 0; k < 180 * 90; ++k) {
        ids += std::to_string(k) + (k % 180 == 179 ? "\r\n" : " ");
        mask += k % 180 == 179 ? "1\r\n" : "1 ";
    }
    f.files.put("/lookup/zone_ids_2p0.asc", ids);
    f.files.put("/lookup/zone01_2p0.asc", mask);
    f.files.put("/lookup/zone_ids_2p0.prj", "GEOGCS[\"GCS_WGS_1984\"]\r\n");
    f.land = files::GlobeMask{180, 90, std::vector<std::uint8_t>(180 * 90, 0)};
    f.land.land[0] = f.land.land[1] = f.land.land[180] = 1;
    f.source.cell_size = 2;
    ASSERT_EQ(f.run().months_written, 12) << f.messages().front();
    const std::string january = f.files.files.at("/out/precip_2000_01.asc");
    // The north row: cell 0, land, water; the next: land, water, cell 1 (on water).
    const std::string head = header(180, 90, "-180", "-90", "2");
    EXPECT_EQ(january.substr(0, head.size() + 26), head + "12.500 -255.000 -9999.000 ");
    EXPECT_EQ(january.substr(january.find("\r\n", head.size()) + 2, 25), "-255.000 -9999.000 -.250 ");
    const std::vector<std::string> args = {"--model", "/model", "--variable", "Precip", "--out", "/cli",
                                           "--root", "precip", "--quiet"};
    std::ostringstream out, err;
    EXPECT_EQ(run_veldra_export(args, out, err, f.places, f.files), 0) << err.str();
    EXPECT_EQ(f.files.files.at("/cli/precip_2000_01.asc"), january);

    f.files.faults.rename = EIO;
    std::ostringstream out2, err2;
    EXPECT_EQ(run_veldra_export({"--model", "/model", "--variable", "Precip", "--out", "/failed", "--quiet"}, out2, err2,
                                f.places, f.files),
              1);
    EXPECT_EQ(err2.str().rfind("veldra_export: /failed/Precip_2000_01.asc: ", 0), 0u) << err2.str();
    for (const auto& [path, content] : f.files.files) EXPECT_FALSE(path.starts_with("/failed")) << path;
}

TEST(GridExport, MissingGridsAreMadeIntoTheCache) {
    Fixture f;
    f.places.folders = {"/program/Projection_Layers"};
    f.places.cache_folder = "/cache";
    std::vector<std::string> made;
    f.places.make = [&](const std::string& folder, std::string_view suffix, int projection) {
        made.push_back(folder + " " + std::string(suffix) + " " + std::to_string(projection));
        for (const char* name : {"zone_ids_0p5.asc", "zone_ids_0p5.prj", "robinson_ids_0p5.asc",
                                 "robinson_ids_0p5.prj", "rob01_0p5.asc"})
            f.files.put(folder + "/" + name, f.files.files.at(std::string("/lookup/") + name));
    };
    f.settings.projection = 1;
    f.settings.last_year = 2000;
    const out::ExportOutcome out = f.run();
    EXPECT_EQ(made, std::vector<std::string>{"/cache 0p5 1"});
    EXPECT_EQ(f.notes.front().second, "Making the lookup grids \"0p5\" for Robinson in /cache ...");
    EXPECT_EQ(out.months_written, 12);
    // The next export finds them there.
    f.run();
    EXPECT_EQ(made.size(), 1u);
}

TEST(LookupGridReader, RefusesWhatItCannotUse) {
    const std::string ok_header = header(2, 2, "0", "0", "1");
    const struct {
        std::string text;
        out::LookupValues kind;
        std::string message;
    } table[] = {
        {"ncols         2\r\nnrows         2\r\n", out::LookupValues::mask,
         "g.asc: line 3: the file ends within its header; six header lines are expected"},
        {"ncols 2\r\n" + ok_header.substr(ok_header.find("nrows")) + "1 1 1 1", out::LookupValues::mask,
         "g.asc: line 1: expected the number of columns (above 0) in characters 10 to 59, found \"ncols 2\""},
        {ok_header + "1 1\r\n1", out::LookupValues::mask,
         "g.asc: line 8: the file ends after 3 values; its header gives 2 x 2 = 4"},
        {ok_header + "1 1\r\n1.0 1", out::LookupValues::mask, "g.asc: line 8: expected a whole number within 16 bits, found \"1.0\""},
        {ok_header + "1 1\r\n40000 1", out::LookupValues::mask,
         "g.asc: line 8: expected a whole number within 16 bits, found \"40000\""},
        {ok_header + "0 1 2 -1", out::LookupValues::zone_ids, "g.asc: line 7: expected a zone id from 0 to 10000000, found \"-1\""},
        {header(10000, 10000, "0", "0", "1") + "1 1 1", out::LookupValues::mask,
         "g.asc: the header gives 10000 x 10000 values, more than the file holds"},
    };
    for (const auto& row : table) {
        std::string message = "no error";
        try {
            parse_lookup_grid(row.text, "g.asc", row.kind);
        } catch (const out::LookupGridError& e) {
            message = e.what();
        }
        EXPECT_EQ(message, row.message);
    }
    // Blanks, commas and line ends only separate the values.
    const out::LookupGrid g = parse_lookup_grid(ok_header + "1,-2\n\n 3  4 trailing", "g.asc", out::LookupValues::projected_ids);
    EXPECT_EQ(g.values, (std::vector<std::int32_t>{1, -2, 3, 4}));
    EXPECT_EQ(g.header[4], "cellsize      1");
}

}  // namespace
}  // namespace veldra::viewer
