// The table of a field source's statistics by region, as CSV: the header
// `time,region,cells,mean,area_mean,min,max,sd`, then one row for each
// period and region, periods in the source's order and regions in the
// set's. Lines end with CR LF, as every file the tools write. `time` is the
// field's label (fields::period_label: "2000-03", "2000", "03"; a source of
// a whole run labels its field "2000-2009"), unless RegionTableHooks::label
// says otherwise. Numbers are the shortest text that reads back exactly
// (min and max as the single-precision values they are); a region without a
// valid cell in a period has cells 0 and the other fields empty. A region
// name holding a comma, quote or line end is quoted, its quotes doubled.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fields/field_source.h"
#include "fields/regions.h"
#include "modelfiles/file_io.h"

namespace veldra::fields {

inline constexpr std::string_view kRegionTableHeader = "time,region,cells,mean,area_mean,min,max,sd";

struct RegionTableHooks {
    // After each period read: how many of the source's periods are done.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // A bad block that the source skipped (no rows) or gave as NaN (rows of
    // no data): the source's note.
    std::function<void(const std::string& note)> note;
    // Asked before each block; true stops the table.
    StopAsked stop;
    // The text of `time` for a field; field.label when not set.
    std::function<std::string(const Field& field)> label;
};

enum class TableEnd {
    complete,
    stopped,  // hooks.stop asked to stop: what was written is a table up to a period
};

// The rows of one period, appended to `out` (the text of the table's lines).
void append_region_rows(std::string& out, const std::string& time, const RegionSet& regions,
                        const std::vector<RegionStats>& stats);

// Writes the table to `out`. The source's span is checked first
// (FieldSource::check_span); its failures raise as it raises them, and a
// stream that fails raises veldra::Error.
TableEnd write_region_table(FieldSource& source, const RegionSet& regions, std::ostream& out,
                            const RegionTableHooks& hooks = {});

// Writes the table to the file `path` through a ReplacingFile: `path` takes
// the new table only when it is complete, and keeps its old content when the
// table is stopped or fails (FileWriteError names `path`).
TableEnd write_region_table(FieldSource& source, const RegionSet& regions, const std::string& path,
                            files::FileAccess& files = files::system_files(), const RegionTableHooks& hooks = {});

}  // namespace veldra::fields
