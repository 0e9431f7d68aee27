// The table of formats: a format registered by a test is chosen by
// veldra_export's command runner, reads the fields of the chosen variable,
// reports progress under the one contract, and shows in --help.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_command.h"
#include "export/format_table.h"
#include "output_list_line.h"
#include "test_model.h"

namespace veldra::viewer {
namespace {

namespace fs = std::filesystem;

// What the fake format was given and how its run ends.
struct FakeRuns {
    std::vector<std::string> labels;  // of the fields it read
    std::vector<float> first_cells;   // cell 0 of each field
    std::string root;
    bool stop_after_first = false;
};

// A format "sums" that writes nothing but reads every field of the chosen
// layer, one progress step each; it takes --decimals.
out::FormatDriver sums_driver(FakeRuns& runs) {
    out::FormatDriver d;
    d.name = "sums";
    d.extension = ".txt";
    d.options = {"--decimals"};
    d.steps = out::span_months;
    d.write = [&runs](const out::FormatRun& run, const out::ExportProgress& progress) {
        out::ExportOutcome outcome;
        runs.root = run.values.root;
        const auto source = run.open(run.values.layer);
        fields::Field field;
        for (std::size_t k = 0; k < source->periods().size(); ++k) {
            progress(out::ExportNote::status, "Saving: field " + fields::period_label(source->periods()[k]));
            source->read(k, field);
            runs.labels.push_back(field.label);
            runs.first_cells.push_back(field.values.at(0));
            ++outcome.months_written;
            progress(out::ExportNote::status, "");
            if (runs.stop_after_first) {
                outcome.stopped = true;
                break;
            }
        }
        return outcome;
    };
    return d;
}

struct FormatTableTest : ::testing::Test {
    FormatTableTest() {
        model.write_text("Parms/Output_List.vrl",
                         veldra::testing::output_list_line("1", "Biomass", "2", "Facet", "g/m^2") + "\r\n");
        model.write_text("Output/Rng_Data.vrd", "2 4 2 -2 -1 2 1 1.0 1582 1583\r\n1 1 1 1 1\r\n2 1 3 2 1\r\n");
        model.write_text("Output/Globe.vrd", "TTFF\r\nTFFT\r\n");
        model.write_variable("Biomass.vrd", 2, 1582, 1583, 2,
                             [](auto y, auto m, auto l, auto i) { return static_cast<float>(y * 100 + m * 10 + l + i); });
        formats = out::standard_formats();
        formats.push_back(sums_driver(runs));
    }
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--model", model.root().string(), "--out", (model.root() / "out").string(),
                                   "--variable", "Biomass"});
        std::ostringstream o, e;
        const int status = run_veldra_export(args, o, e, out::LookupPlaces{}, files::system_files(), formats);
        out = o.str();
        err = e.str();
        return status;
    }
    veldra::testing::TestModel model{"format_table"};
    FakeRuns runs;
    out::FormatTable formats;
    std::string out, err;
};

TEST_F(FormatTableTest, ARegisteredFormatGetsTheFieldsOfTheChosenLayerAndCountsItsSteps) {
    ASSERT_EQ(run({"--format", "sums", "--layer", "2", "--from", "1583", "--decimals", "1"}), 0) << err;
    ASSERT_EQ(runs.labels.size(), 12u);
    EXPECT_EQ(runs.labels.front(), "1583-01");
    EXPECT_EQ(runs.labels.back(), "1583-12");
    EXPECT_EQ(runs.first_cells.front(), 158300 + 10 + 2);
    EXPECT_EQ(runs.root, "Biomass_L2");
    EXPECT_EQ(err.rfind("[1 of 12] Saving: field 1583-01\n[2 of 12] Saving: field 1583-02\n", 0), 0u) << err;
}

TEST_F(FormatTableTest, AStoppedRunEndsWithExitStatusOne) {
    runs.stop_after_first = true;
    EXPECT_EQ(run({"--format", "sums", "--quiet"}), 1);
    EXPECT_EQ(runs.labels, std::vector<std::string>{"1582-01"});
    EXPECT_EQ(err, "");
}

// What the command line says of the table: its names, the options each
// format takes, and its refusals.
TEST_F(FormatTableTest, TheCommandLineFollowsTheTable) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } table[] = {
        {{"--format", "shp"}, "veldra_export: --format: grids, netcdf, gtiff, csv or sums, not shp; see --help\n"},
        {{"--format", "sums", "--bands"}, "veldra_export: --bands applies to --format gtiff only; see --help\n"},
        {{"--format", "sums", "--lookup", "x"},
         "veldra_export: --lookup applies to --format grids, gtiff only; see --help\n"},
        {{"--format", "sums", "--projection", "robinson"}, "veldra_export: --projection: --format sums writes the model's geographic grid only; see --help\n"},
        {{"--format", "gtiff", "--decimals", "2"},
         "veldra_export: --decimals applies to --format grids only: a GeoTIFF holds the values in full; see --help\n"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(run(row.args), 2) << row.err;
        EXPECT_EQ(err, row.err);
    }
    EXPECT_TRUE(runs.labels.empty());
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_NE(out.find("[--format grids|netcdf|gtiff|csv|sums]"), std::string::npos) << out;
    EXPECT_NE(out.find("  --format F          grids (default), netcdf, gtiff, csv or sums\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  --decimals D        grids, sums: decimal places"), std::string::npos) << out;
}

// The forms of the command line that CLI11 reads otherwise than veldra_export
// does: "--name=" is an empty value, a switch takes none, and the first
// problem in the order given is the one told.
TEST_F(FormatTableTest, AnEmptyValueAfterEqualsIsTheValueAndASwitchTakesNone) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } table[] = {
        {{"--format="}, "veldra_export: --format: grids, netcdf, gtiff, csv or sums, not ; see --help\n"},
        {{"--model="}, "veldra_export: --model: the model folder is empty; see --help\n"},
        {{"--quiet=1"}, "veldra_export: unknown option --quiet=1; see --help\n"},
        {{"--help=yes"}, "veldra_export: unknown option --help=yes; see --help\n"},
        {{"--format", "sums", "--layer"}, "veldra_export: --layer needs a value; see --help\n"},
        {{"--format", "sums", "extra"}, "veldra_export: unknown option extra; see --help\n"},
        {{"--bogus", "--layer"}, "veldra_export: unknown option --bogus; see --help\n"},
        {{"--bogus", "--help"}, "veldra_export: unknown option --bogus; see --help\n"},
        {{"--root", "--help", "bogus"}, "veldra_export: unknown option bogus; see --help\n"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(run(row.args), 2) << row.err;
        EXPECT_EQ(err, row.err);
    }
    // The first of help, the version and an unknown argument counts.
    EXPECT_EQ(run({"--help", "--bogus"}), 0);
    EXPECT_EQ(out.rfind("Usage: veldra_export", 0), 0u) << out;
    EXPECT_EQ(run({"--version", "--help"}), 0);
    EXPECT_EQ(out.rfind("veldra_export ", 0), 0u) << out;
    EXPECT_EQ(out.find("Usage"), std::string::npos) << out;
    EXPECT_EQ(run({"--format=sums", "--root=a b", "--to=1582", "--quiet"}), 0) << err;
    EXPECT_EQ(runs.root, "a b");
    EXPECT_EQ(runs.labels.size(), 12u);
}

TEST(FormatTable, EachStandardFormatOnceWithItsExtension) {
    const struct {
        const char* name;
        const char* extension;
        bool can_project;
    } expected[] = {{"grids", ".asc", true}, {"netcdf", ".nc", false}, {"gtiff", ".tif", true}, {"csv", ".csv", false}};
    ASSERT_EQ(out::standard_formats().size(), std::size(expected));
    for (const auto& row : expected) {
        const out::FormatDriver* d = find_format(out::standard_formats(), row.name);
        ASSERT_NE(d, nullptr) << row.name;
        EXPECT_EQ(d->extension, row.extension);
        EXPECT_EQ(d->can_project, row.can_project);
        EXPECT_TRUE(d->write && d->steps) << row.name;
    }
    EXPECT_EQ(find_format(out::standard_formats(), "sums"), nullptr);
}

}  // namespace
}  // namespace veldra::viewer
