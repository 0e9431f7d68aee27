// The NetCDF export of a small model: the calendar and the chosen layer, read
// back with the NetCDF library, and what a failure or a stop leaves behind
// (nothing new). What the readers make of a whole file is checked in
// netcdf_readers_open_export.py.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <netcdf_filter.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_command.h"
#include "export/netcdf_export.h"
#include "tests/output_list_line.h"
#include "tests/test_model.h"

namespace veldra::viewer {
namespace {

namespace fs = std::filesystem;

// The machine's files, with renames that can be made to fail.
class RenameFaults final : public files::FileAccess {
public:
    bool fail_rename = false;
    std::unique_ptr<files::InputFile> open_input(const std::string& path) override { return files::system_files().open_input(path); }
    std::unique_ptr<files::OutputFile> create_temporary(const std::string& path) override {
        return files::system_files().create_temporary(path);
    }
    void rename(const std::string& from, const std::string& to) override {
        if (fail_rename) throw files::FileWriteError(to, "cannot be put in place: Input/output error", EIO);
        files::system_files().rename(from, to);
    }
    void remove(const std::string& path) override { files::system_files().remove(path); }
};

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

// A grid of 4 x 2 half-degree cells with two rangeland cells, and a variable
// of 2 layers from 1582 to 1583 whose value tells its year, month, layer and cell.
struct NetcdfExport : ::testing::Test {
    veldra::testing::TestModel model{"netcdf_export"};
    fs::path out = model.maps();
    std::vector<files::RangeCell> cells{{1, 1, 1, 1, 1}, {2, 1, 3, 2, 1}};
    files::GlobeMask land{4, 2, {1, 1, 0, 0, 1, 0, 0, 1}};
    out::ExportSource source{model.root().string(), "Biomass", 2, 2, 2, 1582, 0.5f, cells, land};
    out::NetcdfSettings settings;
    RenameFaults files;
    std::vector<std::string> messages;
    std::string stop_at = "(none)";

    static float value(int y, int m, int l, int i) { return static_cast<float>(y * 1000 + m * 10 + l) + i * 0.5f; }

    NetcdfExport() {
        model.write_variable("Biomass.vrd", 2, 1582, 1583, 2, value);
        settings.folder = out.string();
        settings.root = "biomass";
        settings.first_year = 1582;
        settings.last_year = 1583;
    }
    out::NetcdfOutcome run() {
        const out::NetcdfVariable variable{"Biomass", "g/m^2", {"Facet 1", "Facet 2"}};
        return export_netcdf(source, variable, settings, files, [&](out::ExportNote note, const std::string& text) {
            if (note == out::ExportNote::message) messages.push_back(text);
            return text != stop_at;
        });
    }
};

TEST_F(NetcdfExport, KeepsTheStandardCalendarAndTheChosenLayer) {
    settings.every_layer = false;
    ASSERT_FALSE(run().failed) << messages.at(0);
    int id = -1, var = -1;
    ASSERT_EQ(nc_open((out / "biomass.nc").c_str(), NC_NOWRITE, &id), NC_NOERR);
    // October 1582 has 21 days (the 4th is followed by the 15th), so 1582 has 355.
    std::vector<double> bounds(48);
    nc_inq_varid(id, "time_bnds", &var);
    nc_get_var_double(id, var, bounds.data());
    EXPECT_EQ(std::vector<double>(bounds.begin() + 18, bounds.begin() + 20), (std::vector<double>{273, 294}));
    EXPECT_EQ(bounds[47], 355 + 365);
    char* label = nullptr;
    nc_inq_varid(id, "layer_label", &var);
    nc_get_var_string(id, var, &label);
    EXPECT_STREQ(label, "Facet 2");
    nc_free_string(1, &label);
    std::vector<float> v(24 * 8);
    nc_inq_varid(id, "Biomass", &var);
    nc_get_var_float(id, var, v.data());
    EXPECT_EQ(std::vector<float>(v.begin() + 14 * 8, v.begin() + 15 * 8),
              (std::vector<float>{value(1583, 3, 2, 0), -9999, -9999, -9999, -9999, -9999, value(1583, 3, 2, 1),
                                  -9999}));
    nc_close(id);
}

TEST_F(NetcdfExport, AMismatchedRecordStopsAndLeavesTheOlderFile) {
    model.write_text("maps/biomass.nc", "older");
    model.set_record("Biomass.vrd", 28 * 5 + 2, 1584);  // the year of March 1583, layer 1: block (12 + 2) * 2
    EXPECT_TRUE(run().failed);
    EXPECT_EQ(messages, std::vector<std::string>{(model.output() / "Biomass.vrd").string() +
                                                 ": record 142 holds 1584 as the year of the block of year 1583, "
                                                 "month 3, layer 1; expected 1583."});
    EXPECT_EQ(names_in(out), std::vector<std::string>{"biomass.nc"});
    EXPECT_EQ(veldra::testing::read_file(out / "biomass.nc"), "older");
}

TEST_F(NetcdfExport, AShortFileAFailedRenameOrAStopLeaveNothing) {
    settings.last_year = 1584;
    EXPECT_TRUE(run().failed);
    settings.last_year = 1583;
    files.fail_rename = true;
    EXPECT_TRUE(run().failed);
    EXPECT_EQ(messages, (std::vector<std::string>{
                            (model.output() / "Biomass.vrd").string() +
                                ": record 356 lies past the end of the file, which holds 240 records; the block of "
                                "year 1584, month 12, layer 2 takes records 356 to 360.",
                            (out / "biomass.nc").string() + ": cannot be put in place: Input/output error"}));
    files.fail_rename = false;
    stop_at = "Saving: " + (out / "biomass.nc").string() + " (1582-02)";
    EXPECT_TRUE(run().stopped);
    EXPECT_TRUE(names_in(out).empty());
}

TEST_F(NetcdfExport, AFullDiskNamesTheFileAndLeavesNothing) {
    ASSERT_FALSE(run().failed);
    const auto whole = static_cast<rlim_t>(fs::file_size(out / "biomass.nc"));
    fs::remove(out / "biomass.nc");
    // A file-size limit makes the library's writes fail as a full disk would:
    // while NetCDF writes the coordinates, or while the values are stored.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& [limit, reason] : {std::pair{rlim_t{4096}, "cannot be written: NetCDF: "},
                                        std::pair{whole - 64, "cannot be written: HDF5 error (File too large), while "}}) {
        messages.clear();
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
        const out::NetcdfOutcome outcome = run();
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_TRUE(outcome.failed);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind((out / "biomass.nc").string() + ": " + reason, 0), 0u) << messages[0];
        EXPECT_TRUE(names_in(out).empty());
    }
}

// The values of a variable and its filter ids, read back with the NetCDF library.
struct StoredVariable {
    std::vector<float> values;
    std::vector<unsigned> filters;
    int shuffle = 0, deflate = 0, level = 0;
};

StoredVariable read_variable(const fs::path& file, const char* name, std::size_t count) {
    StoredVariable v;
    v.values.resize(count);
    int id = -1, var = -1;
    EXPECT_EQ(nc_open(file.c_str(), NC_NOWRITE, &id), NC_NOERR);
    nc_inq_varid(id, name, &var);
    EXPECT_EQ(nc_get_var_float(id, var, v.values.data()), NC_NOERR);
    std::size_t n = 0;
    nc_inq_var_filter_ids(id, var, &n, nullptr);
    v.filters.resize(n);
    nc_inq_var_filter_ids(id, var, &n, v.filters.data());
    nc_inq_var_deflate(id, var, &v.shuffle, &v.deflate, &v.level);
    nc_close(id);
    return v;
}

std::vector<signed char> stored_mask(const fs::path& file, std::size_t count) {
    std::vector<signed char> mask(count);
    int id = -1, var = -1;
    EXPECT_EQ(nc_open(file.c_str(), NC_NOWRITE, &id), NC_NOERR);
    nc_inq_varid(id, "land_mask", &var);
    EXPECT_EQ(nc_get_var_schar(id, var, mask.data()), NC_NOERR);
    nc_close(id);
    return mask;
}

TEST_F(NetcdfExport, OneThreadOrTwoStoreTheSameShuffledAndDeflatedValues) {
    std::vector<StoredVariable> stored;
    for (int threads : {1, 2}) {
        settings.threads = threads;
        settings.root = "biomass_" + std::to_string(threads);
        ASSERT_FALSE(run().failed) << messages.at(0);
        stored.push_back(read_variable(out / (settings.root + ".nc"), "Biomass", 24 * 2 * 8));
    }
    // Shuffle (2), then deflate (1), at the level asked for.
    EXPECT_EQ(stored[0].filters, (std::vector<unsigned>{2, 1}));
    EXPECT_EQ((std::vector<int>{stored[0].shuffle, stored[0].deflate, stored[0].level}), (std::vector<int>{1, 1, 4}));
    EXPECT_EQ(stored[0].values, stored[1].values);
    EXPECT_EQ(stored[0].filters, stored[1].filters);
    // Month 24, layer 2: the two cells, fill elsewhere.
    EXPECT_EQ(std::vector<float>(stored[1].values.end() - 8, stored[1].values.end()),
              (std::vector<float>{value(1583, 12, 2, 0), -9999, -9999, -9999, -9999, -9999, value(1583, 12, 2, 1),
                                  -9999}));
}

// A grid of 60 x 30 positions with 40 cells (2 %: chunks coded as runs, but
// at level 0), in no order, in the first and last positions, one place
// given twice (the later cell stands): what every level stores on one thread
// or two reads back as the cells placed, and the land mask as it was.
TEST_F(NetcdfExport, AGridMostlyOfFillReadsBackAsPlacedAtEveryLevel) {
    constexpr int kCols = 60, kRows = 30;
    land = files::GlobeMask{kCols, kRows, std::vector<std::uint8_t>(kCols * kRows)};
    for (std::size_t i = 0; i < land.land.size(); ++i) land.land[i] = (i / 7) % 3 != 0;
    cells.clear();
    for (int i = 0; i < 39; ++i) cells.push_back({i + 1, 1, 1 + (i * 37) % kCols, 1 + (i * 11) % kRows, 1});
    cells.push_back({40, 1, kCols, kRows, 1});
    cells[7].x = cells[3].x;
    cells[7].y = cells[3].y;
    source.cell_count = static_cast<std::int64_t>(cells.size());
    model.write_variable("Biomass.vrd", 40, 1582, 1583, 2, value);
    std::vector<float> expected(24 * 2 * kCols * kRows, -9999.0f);
    for (int t = 0; t < 24; ++t)
        for (int l = 1; l <= 2; ++l)
            for (int i = 0; i < 40; ++i)
                expected[static_cast<std::size_t>(((t * 2 + l - 1) * kRows + cells[i].y - 1) * kCols + cells[i].x - 1)] =
                    value(1582 + t / 12, t % 12 + 1, l, i);
    ASSERT_EQ(expected[0], value(1582, 1, 1, 0));
    std::vector<signed char> mask(land.land.begin(), land.land.end());
    for (const files::RangeCell& c : cells) mask[static_cast<std::size_t>((c.y - 1) * kCols + c.x - 1)] = 2;
    for (const int level : {0, 4, 9})
        for (const int threads : {1, 2}) {
            settings.deflate_level = level;
            settings.threads = threads;
            settings.root = "sparse_" + std::to_string(level) + "_" + std::to_string(threads);
            ASSERT_FALSE(run().failed) << messages.at(0);
            const StoredVariable stored = read_variable(out / (settings.root + ".nc"), "Biomass", expected.size());
            EXPECT_EQ(stored.values, expected) << level << " " << threads;
            EXPECT_EQ(stored.level, level);
            EXPECT_EQ(stored_mask(out / (settings.root + ".nc"), mask.size()), mask) << level << " " << threads;
        }
}

TEST_F(NetcdfExport, CommandLineOptions) {
    model.write_text("Parms/Output_List.vrl",
                     veldra::testing::output_list_line("1", "Biomass", "2", "Facet", "g/m^2") + "\r\n");
    model.write_text("Output/Rng_Data.vrd", "2 4 2 -2 -1 2 1 1.0 1582 1583\r\n1 1 1 1 1\r\n2 1 3 2 1\r\n");
    model.write_text("Output/Globe.vrd", "TTFF\r\nTFFT\r\n");
    const auto status = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--model", model.root().string(), "--variable", "Biomass", "--out", out.string()});
        std::ostringstream o, e;
        return run_veldra_export(args, o, e, out::LookupPlaces{});
    };
    EXPECT_EQ(status({"--format", "netcdf", "--layer", "2", "--deflate", "0", "--quiet"}), 0);
    EXPECT_EQ(names_in(out), std::vector<std::string>{"Biomass_L2.nc"});
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--format", "csv"}, {"--format", "netcdf", "--deflate", "10"},
          {"--format", "netcdf", "--decimals", "2"}, {"--format", "netcdf", "--projection", "robinson"},
          {"--format", "netcdf", "--threads", "0"}, {"--threads", "2"}, {"--institution", "Range Lab"}})
        EXPECT_EQ(status(wrong), 2) << wrong[1];
}

}  // namespace
}  // namespace veldra::viewer
