// veldra_export on the console: a bad command line in one line, the months
// counted as they are saved, one summary line, and --quiet.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "export/console_report.h"
#include "export/export_command.h"
#include "output_list_line.h"
#include "test_model.h"

namespace veldra::viewer {
namespace {

namespace fs = std::filesystem;

// Two variables on a grid of 4 x 2 cells with two rangeland cells, 1582 and 1583.
struct ExportConsole : ::testing::Test {
    ExportConsole() {
        model.write_text("Parms/Output_List.vrl",
                         veldra::testing::output_list_line("1", "Biomass", "2", "Facet", "g/m^2") + "\r\n" +
                             veldra::testing::output_list_line("1", "Precip", "1", "Layer", "cm") + "\r\n");
        model.write_text("Output/Rng_Data.vrd", "2 4 2 -2 -1 2 1 1.0 1582 1583\r\n1 1 1 1 1\r\n2 1 3 2 1\r\n");
        model.write_text("Output/Globe.vrd", "TTFF\r\nTFFT\r\n");
        model.write_variable("Biomass.vrd", 2, 1582, 1583, 2,
                             [](auto y, auto m, auto l, auto i) { return static_cast<float>(y + m + l + i); });
    }
    // The exit status; what was printed is kept in out and err.
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--model", model.root().string(), "--out", (model.root() / "out").string()});
        std::ostringstream o, e;
        const int status = run_veldra_export(args, o, e, out::LookupPlaces{});
        out = o.str();
        err = e.str();
        return status;
    }
    veldra::testing::TestModel model{"export_console"};
    std::string out, err;
};

TEST_F(ExportConsole, ABadCommandLineSaysWhyInOneLine) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--variable", "Biomass", "--bogus"}, "veldra_export: unknown option --bogus; see --help\n"},
        {{"--variable"}, "veldra_export: --variable needs a value; see --help\n"},
        {{"--variable", "Rain"},
         "veldra_export: the model lists no variable named Rain; it lists Biomass, Precip; see --help\n"},
        {{"--variable", "Biomass", "--layer", "3"}, "veldra_export: --layer: Biomass has layers 1 to 2; see --help\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 2) << c.err;
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(out, "");
    }
}

TEST_F(ExportConsole, MonthsAreCountedAndTheRunEndsWithOneSummaryLine) {
    ASSERT_EQ(run({"--variable", "Biomass", "--format", "netcdf", "--to", "1582"}), 0) << err;
    const fs::path file = model.root() / "out" / "Biomass.nc";
    std::istringstream lines(err);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 13u) << err;
    EXPECT_EQ(got[0], "[1 of 12] Saving: " + file.string() + " (1582-01)");
    EXPECT_EQ(got[11], "[12 of 12] Saving: " + file.string() + " (1582-12)");
    EXPECT_TRUE(std::regex_match(got[12], std::regex("veldra_export: wrote 1 file, " +
                                                     std::to_string(fs::file_size(file)) +
                                                     " bytes in [0-9]+\\.[0-9][0-9] seconds")))
        << got[12];
    EXPECT_EQ(out::run_summary(72, 93184, 0.414), "veldra_export: wrote 72 files, 93184 bytes in 0.41 seconds");
}

TEST_F(ExportConsole, QuietLeavesOnlyTheErrors) {
    EXPECT_EQ(run({"--variable", "Biomass", "--format", "netcdf", "--quiet"}), 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(run({"--variable", "Precip", "--format", "netcdf", "--quiet"}), 1);  // no Precip.vrd
    EXPECT_EQ(err.rfind("veldra_export: ", 0), 0u) << err;
    EXPECT_NE(err.find("Precip.vrd"), std::string::npos) << err;
    EXPECT_EQ(err.find("Saving"), std::string::npos) << err;
    EXPECT_EQ(err.find("wrote"), std::string::npos) << err;
}

}  // namespace
}  // namespace veldra::viewer
