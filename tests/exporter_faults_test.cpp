// What a failed or interrupted grid leaves behind: the old grid of the name
// untouched, no temporary file, exit status 1 and a message naming the grid.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "export/layer_export.h"
#include "faulty_files.h"
#include "modelfiles/ascii_grid.h"
#include "test_model.h"

namespace veldra::testing {
namespace {

class ExporterFaults : public ::testing::Test {
protected:
    ExporterFaults() : model_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {
        model_.write_text("Output/Rng_Data.vrd", "1 4 2 -2 -1 2 1 1.0 2000 2000\n1 7 1 1 3\n");
        model_.write_text("Output/Globe.vrd", "TTFF\nFTTF\n");
        model_.write_variable("Precip.vrd", 1, 2000, 2000, 1, [](int, int m, int, int) { return float(m); });
        std::ofstream(model_.maps() / "precip_2000_01_1.asc") << "old grid";
    }

    std::vector<std::string> args() const {
        return {model_.output().string() + "/", "Precip.vrd", (model_.maps() / "precip").string(), "2000", "2000", "1"};
    }

    TestModel model_;
};

TEST_F(ExporterFaults, EveryFailedStepKeepsTheOldGridAndLeavesNoTemporaryFile) {
    const std::string grid = (model_.maps() / "precip_2000_01_1.asc").string();
    const std::string cannot_create =
        " An output file cannot be created.  Stopping while attempting to create:" + grid + "\n";
    struct Case {
        Fault fault;
        int code;
        bool create_line;  // the console line of a grid that cannot be created
        std::string err;
    } cases[] = {
        {Fault::create, EACCES, true, grid + ": cannot create a temporary file"},
        {Fault::write, ENOSPC, false, grid + ": write failed (is the disk full?)"},
        {Fault::write, EIO, false, grid + ": write failed"},
        {Fault::close, EDQUOT, false, grid + ": close failed (is the disk full?)"},
        {Fault::rename, EISDIR, true, grid + ": cannot be put in place"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        FaultyFiles files(c.fault, c.code);
        std::ostringstream out, err;
        EXPECT_EQ(out::run_layer_exporter(args(), out, err, files), 1);
        EXPECT_EQ(out.str().find(cannot_create) != std::string::npos, c.create_line);
        EXPECT_EQ(err.str(), "layer_exporter: " + c.err + "\n");
        EXPECT_EQ(model_.grid_names(), std::vector<std::string>{"precip_2000_01_1.asc"});
        EXPECT_EQ(read_file(grid), "old grid");
    }
}

TEST_F(ExporterFaults, AnInterruptRemovesTheGridBeingWritten) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        files::install_interrupt_cleanup();
        files::GridFileWriter w;
        w.create((model_.maps() / "precip_2000_02_1.asc").string());
        w.write("partial");
        ::raise(SIGTERM);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(model_.grid_names(), std::vector<std::string>{"precip_2000_01_1.asc"});
}

TEST_F(ExporterFaults, AFileSizeLimitIsReportedLikeAFullDisk) {
    // A 1-degree globe: each grid is about 780 KB, beyond a 64 KB limit.
    model_.write_text("Output/Rng_Data.vrd", "1 360 180 -180 -90 180 90 1.0 2000 2000\n1 7 1 1 3\n");
    std::string globe;
    for (int r = 0; r < 180; ++r) globe += std::string(360, 'F') + "\n";
    model_.write_text("Output/Globe.vrd", globe);

    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const RunResult r = run_exporter(args());  // the child inherits the limit
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(" Exporting layer  1 of month  1 of year  2000\n"), std::string::npos);
    EXPECT_NE(r.err.find("precip_2000_01_1.asc: write failed: File too large"), std::string::npos) << r.err;
    EXPECT_EQ(model_.grid_names(), std::vector<std::string>{"precip_2000_01_1.asc"});
}

}  // namespace
}  // namespace veldra::testing
