// layer_exporter as its users run it: console text, exit status and the bytes
// of every grid it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "test_model.h"

namespace veldra::testing {
namespace {

const std::string kSixMessages =
    " The first parameter should be the pathway to the Veldra files.\n"
    " The second parameter should be the name of the input file to be processed.\n"
    " The third parameter should be the pathway and root of the files to be created.\n"
    " The fourth parameter should be the first year to be processed.\n"
    " The fifth parameter should be the last year to be processed.\n"
    " The sixth parameter should be number of layers to be processed.\n";

const std::string kHeaderOneDegree =
    "ncols         360\r\nnrows         180\r\nxllcorner     -180\r\nyllcorner     -90\r\n"
    "cellsize      1.0\r\nNODATA_value  -9999\r\n";

// A grid of four columns and two rows (1-degree cells, bounds -2 -1 2 1),
// years 2000 and 2001. Cell 1 sits in the north-west corner on land, cell 2
// in the south-east corner on water.
class ExporterRun : public ::testing::Test {
protected:
    ExporterRun() : model_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
        model_.write_text("Output/Rng_Data.vrd", "2 4 2 -2 -1 2 1 1.0 2000 2001\r\n1 7 1 1 3\r\n2 7 4 2 4\r\n");
        model_.write_text("Output/Globe.vrd", "TTFF\r\nFTTF\r\n");
        model_.write_variable("Precip.vrd", 2, 2000, 2001, 1, [](int y, int m, int, int i) {
            return i == 0 ? static_cast<float>(m) + 0.5f + static_cast<float>(y - 2000) * 100 : -0.25f * m;
        });
    }

    std::string folder() const { return model_.output().string() + "/"; }
    std::string root() const { return (model_.maps() / "precip").string(); }
    std::string grid(const std::string& name) const { return read_file(model_.maps() / name); }

    RunResult run(const std::string& file, const std::string& first, const std::string& last,
                  const std::string& layers) const {
        return run_exporter({folder(), file, root(), first, last, layers});
    }

    std::string announcement(const std::string& file, int first, int last, int layers) const {
        return "  \n Exporting data from " + folder() + file + " to files named like " + root() +
               " starting with year  " + std::to_string(first) + " and ending with year  " + std::to_string(last) +
               " and including  " + std::to_string(layers) + "  layer(s).\n";
    }

    static std::string progress(int layer, int month, int year) {
        return " Exporting layer  " + std::to_string(layer) + " of month  " + std::to_string(month) +
               " of year  " + std::to_string(year) + "\n";
    }

    TestModel model_;
};

TEST_F(ExporterRun, WritesOneGridPerMonthWithTheModelsTextForm) {
    const RunResult r = run("Precip.vrd", "2000", "2000", "1");
    std::string expected_out = announcement("Precip.vrd", 2000, 2000, 1);
    for (int m = 1; m <= 12; ++m) expected_out += progress(1, m, 2000);
    EXPECT_EQ(r.out, expected_out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    std::vector<std::string> expected_names;
    for (int m = 1; m <= 12; ++m) expected_names.push_back("precip_2000_" + std::string(m < 10 ? "0" : "") +
                                                           std::to_string(m) + "_1.asc");
    EXPECT_EQ(model_.grid_names(), expected_names);

    EXPECT_EQ(grid("precip_2000_01_1.asc"), kHeaderOneDegree +
                                                "   1.50000   -255.000   -9999.00   -9999.00  \r\n"
                                                "  -9999.00   -255.000   -255.000   -0.250000  \r\n");
    EXPECT_EQ(grid("precip_2000_12_1.asc"), kHeaderOneDegree +
                                                "   12.5000   -255.000   -9999.00   -9999.00  \r\n"
                                                "  -9999.00   -255.000   -255.000   -3.00000  \r\n");
}

TEST_F(ExporterRun, SecondYearAndRerunReplaceGrids) {
    std::ofstream(model_.maps() / "precip_2001_02_1.asc") << "stale";
    ASSERT_EQ(run("Precip.vrd", "2001", "2001", "1").status, 0);
    EXPECT_EQ(grid("precip_2001_02_1.asc"), kHeaderOneDegree +
                                                "   102.500   -255.000   -9999.00   -9999.00  \r\n"
                                                "  -9999.00   -255.000   -255.000   -0.500000  \r\n");
}

TEST_F(ExporterRun, NoParametersPrintsAllSixMessages) {
    const RunResult r = run_exporter({});
    EXPECT_EQ(r.out, kSixMessages);
    EXPECT_EQ(r.status, 0);
}

TEST_F(ExporterRun, HelpIsOnlyLowerCaseDashHOrHelp) {
    for (const char* help : {"-h", "help", "help  "}) {
        const RunResult r = run_exporter({help});
        EXPECT_EQ(r.out, kSixMessages) << help;
        EXPECT_EQ(r.status, 0) << help;
    }
    // Other spellings are taken as a folder path; the rest is missing.
    for (const char* path : {"HELP", "--help"}) {
        const RunResult r = run_exporter({path});
        EXPECT_EQ(r.out, kSixMessages.substr(kSixMessages.find('\n') + 1)) << path;
        EXPECT_EQ(r.status, 2) << path;
    }
    // Help with every other parameter valid: the first message only, nothing written.
    const RunResult r = run_exporter({"-h", "Precip.vrd", root(), "2000", "2000", "1"});
    EXPECT_EQ(r.out, " The first parameter should be the pathway to the Veldra files.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(model_.grid_names().empty());
}

TEST_F(ExporterRun, MissingParametersAreAllReportedInOrder) {
    RunResult r = run_exporter({folder(), "Precip.vrd", root()});
    EXPECT_EQ(r.out, kSixMessages.substr(kSixMessages.find(" The fourth")));
    EXPECT_EQ(r.status, 2);

    r = run_exporter({"   ", "Precip.vrd", "", "2000", "", "1"});
    EXPECT_EQ(r.out,
              " The first parameter should be the pathway to the Veldra files.\n"
              " The third parameter should be the pathway and root of the files to be created.\n"
              " The fifth parameter should be the last year to be processed.\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(model_.grid_names().empty());
}

TEST_F(ExporterRun, NumericParametersReadTheirFieldsOnly) {
    // "20051" is the year 2005 and "123" twelve layers; both runs write nothing
    // here (first year after last, or blocks past the file), so only the
    // announcement is compared.
    RunResult r = run("Precip.vrd", "2006", "20051", "123");
    EXPECT_EQ(r.out, announcement("Precip.vrd", 2006, 2005, 12));
    EXPECT_EQ(r.status, 0);

    // Blanks inside the field are ignored: "2 00" is 200 (then the block of
    // year 200 lies before the file).
    r = run("Precip.vrd", "2 00", "1999", " 1");
    EXPECT_EQ(r.out.rfind(announcement("Precip.vrd", 200, 1999, 1), 0), 0u);
}

TEST_F(ExporterRun, ANumericParameterThatIsNotANumberStopsTheRun) {
    RunResult r = run("Precip.vrd", "20x0", "2000", "1");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "layer_exporter: the fourth parameter \"20x0\" is not a whole number (its first 4 "
                     "characters are read)\n");
    EXPECT_EQ(r.status, 2);

    // Checked even when help was asked for.
    r = run_exporter({"-h", "Precip.vrd", root(), "2000", "2000", "a"});
    EXPECT_EQ(r.out, " The first parameter should be the pathway to the Veldra files.\n");
    EXPECT_EQ(r.err, "layer_exporter: the sixth parameter \"a\" is not a whole number (its first 2 "
                     "characters are read)\n");
    EXPECT_EQ(r.status, 2);
}

TEST_F(ExporterRun, FolderWithBackslashesAndNoTrailingSeparator) {
    std::string stored = model_.output().string();
    for (char& c : stored)
        if (c == '/') c = '\\';
    const RunResult r = run_exporter({stored, "Precip.vrd", root(), "2000", "2000", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" Exporting data from " + stored + "/Precip.vrd to files named like "), std::string::npos);
    EXPECT_EQ(model_.grid_names().size(), 12u);
}

TEST_F(ExporterRun, NothingToExportWhenFirstYearIsAfterLastOrNoLayers) {
    RunResult r = run("Precip.vrd", "2001", "2000", "1");
    EXPECT_EQ(r.out, announcement("Precip.vrd", 2001, 2000, 1));
    EXPECT_EQ(r.status, 0);
    r = run("Precip.vrd", "2000", "2001", "0");
    EXPECT_EQ(r.out, announcement("Precip.vrd", 2000, 2001, 0));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(model_.grid_names().empty());
}

TEST_F(ExporterRun, LayersFollowEachMonth) {
    model_.write_variable("Biomass.vrd", 2, 2000, 2001, 3, [](int y, int m, int l, int i) {
        return static_cast<float>((y - 2000) * 1000 + m * 10 + l) + (i == 0 ? 0.0f : 0.5f);
    });
    const RunResult r = run("Biomass.vrd", "2001", "2001", "3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(progress(3, 2, 2001) + progress(1, 3, 2001)), std::string::npos);
    EXPECT_EQ(model_.grid_names().size(), 36u);
    EXPECT_EQ(grid("precip_2001_02_2.asc"), kHeaderOneDegree +
                                                "   1022.00   -255.000   -9999.00   -9999.00  \r\n"
                                                "  -9999.00   -255.000   -255.000    1022.50  \r\n");
}

TEST_F(ExporterRun, FewerLayersThanTheFileHoldsReadsTheWrongBlocksWithWarnings) {
    model_.write_variable("Biomass.vrd", 2, 2000, 2001, 3, [](int, int m, int l, int) {
        return static_cast<float>(m * 10 + l);
    });
    const RunResult r = run("Biomass.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.status, 0);
    // Month 2 with one layer reads the block of month 1, layer 2.
    EXPECT_NE(r.out.find(progress(1, 2, 2000) +
                         " There is disagreement between the current month and the month read-in. \n"
                         " Something is out of sync.  Expected is  2 and read-in was  1.00000\n" +
                         progress(1, 3, 2000)),
              std::string::npos);
    EXPECT_EQ(grid("precip_2000_02_1.asc"), kHeaderOneDegree +
                                                "   12.0000   -255.000   -9999.00   -9999.00  \r\n"
                                                "  -9999.00   -255.000   -255.000    12.0000  \r\n");
}

TEST_F(ExporterRun, AWrongYearRecordWarnsAndTheGridIsStillWritten) {
    model_.write_variable("Precip.vrd", 2, 2000, 2000, 1, [](int, int, int, int) { return 1.0f; });
    std::vector<float> recs;
    for (int m = 1; m <= 12; ++m) recs.insert(recs.end(), {2.0f, m == 4 ? 1999.0f : 2000.0f, float(m), 7.0f, 8.0f});
    model_.write_records("Precip.vrd", recs);
    const RunResult r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(progress(1, 4, 2000) +
                         " There is disagreement between the current year and the year read-in. \n"
                         " Something is out of sync.  Expected is  2000 and read-in was  1999.00\n" +
                         progress(1, 5, 2000)),
              std::string::npos);
    EXPECT_EQ(model_.grid_names().size(), 12u);
    EXPECT_NE(grid("precip_2000_04_1.asc").find("   7.00000   -255.000"), std::string::npos);
}

TEST_F(ExporterRun, AWrongCellCountStopsAndKeepsTheOldGridOfThatName) {
    std::vector<float> recs;
    for (int m = 1; m <= 12; ++m) recs.insert(recs.end(), {m == 3 ? 3.0f : 2.0f, 2000.0f, float(m), 7.0f, 8.0f});
    model_.write_records("Precip.vrd", recs);
    std::ofstream(model_.maps() / "precip_2000_03_1.asc") << "from an earlier run";
    const RunResult r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.out, announcement("Precip.vrd", 2000, 2000, 1) + progress(1, 1, 2000) + progress(1, 2, 2000) +
                         progress(1, 3, 2000) +
                         " There is disagreement between the number of rangeland cells and what is being read in. \n"
                         " Something is out of sync. Expected  was  2 and read-in was  3.00000\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(model_.grid_names(), (std::vector<std::string>{"precip_2000_01_1.asc", "precip_2000_02_1.asc",
                                                             "precip_2000_03_1.asc"}));
    EXPECT_EQ(grid("precip_2000_03_1.asc"), "from an earlier run");
}

TEST_F(ExporterRun, MissingModelFiles) {
    RunResult r = run("Nothing.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.out, announcement("Nothing.vrd", 2000, 2000, 1) + progress(1, 1, 2000) +
                         " The file to be read from cannot be opened. \n"
                         " Stopping while attempting to read: " + folder() + "Nothing.vrd\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(model_.grid_names().empty());

    std::filesystem::remove(model_.output() / "Globe.vrd");
    r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.out, announcement("Precip.vrd", 2000, 2000, 1) + " The Globe.vrd file cannot be opened.\n");
    EXPECT_EQ(r.err, "layer_exporter: " + folder() + "Globe.vrd: cannot be opened: No such file or directory\n");
    EXPECT_EQ(r.status, 1);

    std::filesystem::remove(model_.output() / "Rng_Data.vrd");
    r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.out, announcement("Precip.vrd", 2000, 2000, 1) + " The Rng_Data.vrd file cannot be opened.\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(ExporterRun, SpecialFilesAndFoldersAreRefusedAtOnce) {
    std::filesystem::create_directory(model_.output() / "Folder.vrd");
    RunResult r = run("Folder.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.out, announcement("Folder.vrd", 2000, 2000, 1) + progress(1, 1, 2000) +
                         " The file to be read from cannot be opened. \n"
                         " Stopping while attempting to read: " + folder() + "Folder.vrd\n");
    EXPECT_EQ(r.err, "layer_exporter: " + folder() + "Folder.vrd: cannot be opened: it is not a regular file\n");
    EXPECT_EQ(r.status, 1);

    // A FIFO would block an open for reading until a writer comes.
    std::filesystem::remove(model_.output() / "Rng_Data.vrd");
    ASSERT_EQ(::mkfifo((model_.output() / "Rng_Data.vrd").c_str(), 0600), 0);
    r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.out, announcement("Precip.vrd", 2000, 2000, 1) + " The Rng_Data.vrd file cannot be opened.\n");
    EXPECT_EQ(r.err, "layer_exporter: " + folder() + "Rng_Data.vrd: cannot be opened: it is not a regular file\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(ExporterRun, AHeaderWhoseGridCannotBeHeldWritesNothing) {
    model_.write_text("Output/Rng_Data.vrd", "0 1 1 0 -2147483648 0 0 1 2000 2000\n");
    model_.write_text("Output/Globe.vrd", "TT\n");
    model_.write_records("Precip.vrd", {0, 2000, 1});
    const RunResult r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.err, "layer_exporter: " + folder() +
                         "Rng_Data.vrd: line 1: a grid of 0 x 2147483648 cells is too large to hold (at most "
                         "131072 columns or rows and 1073741824 cells)\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(model_.grid_names().empty());
}

TEST_F(ExporterRun, AnOutputFolderThatCannotBeWritten) {
    const std::string bad_root = (model_.root() / "no_such_folder" / "precip").string();
    const RunResult r = run_exporter({folder(), "Precip.vrd", bad_root, "2000", "2000", "1"});
    EXPECT_NE(r.out.find(progress(1, 1, 2000) +
                         " An output file cannot be created.  Stopping while attempting to create:" + bad_root +
                         "_2000_01_1.asc\n"),
              std::string::npos);
    EXPECT_EQ(r.status, 1);
}

TEST_F(ExporterRun, BlocksOutsideTheFileAreErrorsNotGrids) {
    RunResult r = run("Precip.vrd", "1999", "1999", "1");
    EXPECT_EQ(r.err, "layer_exporter: " + folder() +
                         "Precip.vrd: the block of year 1999, month 1, layer 1 would start at record -59, before "
                         "the start of the file (the first model year is 2000)\n");
    EXPECT_EQ(r.status, 1);

    // A file cut short inside the block of month 2.
    std::vector<float> recs = {2, 2000, 1, 1, 1, 2, 2000, 2, 1};
    model_.write_records("Precip.vrd", recs);
    r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.err, "layer_exporter: " + folder() +
                         "Precip.vrd: record 10 lies past the end of the file, which holds 9 records; the block of "
                         "year 2000, month 2, layer 1 takes records 6 to 10\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(model_.grid_names(), std::vector<std::string>{"precip_2000_01_1.asc"});
    EXPECT_EQ(run("Precip.vrd", "2002", "2002", "1").status, 1);
}

TEST_F(ExporterRun, AMalformedCellFileNamesFileAndLine) {
    model_.write_text("Output/Rng_Data.vrd", "2 4 2 -2 -1 2 1 1.0 2000 2001\r\n1 7 1 1 3\r\n2 7 4.5 2 4\r\n");
    const RunResult r = run("Precip.vrd", "2000", "2000", "1");
    EXPECT_EQ(r.err, "layer_exporter: " + folder() +
                         "Rng_Data.vrd: line 3: expected a whole number for the column of a cell, found \"4.5\"\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(ExporterRun, ACellSizeOutsideEveryBandWritesNoHeader) {
    // 0.3-degree cells over -0.6 .. 0.6 would be fractional; bounds -1 .. 1
    // give half extents of 3 columns and 3 rows.
    model_.write_text("Output/Rng_Data.vrd", "1 6 6 -1 -1 1 1 0.3 2000 2000\n1 1 6 6 1\n");
    model_.write_text("Output/Globe.vrd", "TTTTTT\nTTTTTT\nTTTTTT\nTTTTTT\nTTTTTT\nTTTTTT\n");
    model_.write_variable("Precip.vrd", 1, 2000, 2000, 1, [](int, int, int, int) { return 1234.5f; });
    ASSERT_EQ(run("Precip.vrd", "2000", "2000", "1").status, 0);
    const std::string g = grid("precip_2000_01_1.asc");
    EXPECT_EQ(g.substr(0, 12), "  -255.000  ");
    EXPECT_NE(g.find("   1234.50  \r\n"), std::string::npos);
    EXPECT_EQ(std::count(g.begin(), g.end(), '\n'), 6);
}

}  // namespace
}  // namespace veldra::testing
