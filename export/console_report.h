// What veldra_export says on the console beyond the export's own notes: a
// command-line error in one line, the progress counted month by month, and
// one summary line of the files written.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "export/grid_export.h"
#include "modelfiles/file_io.h"
#include "modelfiles/viewer_model.h"

namespace veldra::out {

// «veldra_export: --layer needs a value; see --help»
std::string command_line_error(const std::string& reason);

// «the model lists no variable named Rain; it lists Precip, Live_Biomass»
std::string unknown_variable_reason(const std::string& name, const std::vector<files::OutputEntry>& listed);

// «veldra_export: wrote 72 files, 93184 bytes in 0.41 seconds»
std::string run_summary(std::int64_t files, std::int64_t bytes, double seconds);

// The console of one run of `months` months. Messages always reach `err`;
// the progress lines and the summary only without `quiet`.
class ConsoleReport {
public:
    ConsoleReport(std::ostream& err, bool quiet, std::int64_t months);
    ~ConsoleReport();
    ConsoleReport(const ConsoleReport&) = delete;
    ConsoleReport& operator=(const ConsoleReport&) = delete;

    // «[3 of 36] Saving: out/Precip_2000_03.asc», and the making of lookup grids.
    ExportProgress progress();
    // `inner`, counting the files put in place through it.
    files::FileAccess& files(files::FileAccess& inner);
    // The summary line, once the export is over.
    void finish();

private:
    class CountingFiles;
    std::ostream& err_;
    bool quiet_;
    std::int64_t months_;
    std::int64_t saved_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::unique_ptr<CountingFiles> counting_;
};

}  // namespace veldra::out
