// The model and lookup grids, held in memory, on which the monthly exports
// (ASCII grids and GeoTIFF) are tested.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "export/grid_export.h"
#include "export/lookup_grids.h"
#include "tests/support/memory_files.h"

namespace veldra::viewer {

// The header of an ASCII lookup grid.
inline std::string header(int cols, int rows, const char* west, const char* south, const char* cell) {
    return "ncols         " + std::to_string(cols) + "\r\nnrows         " + std::to_string(rows) +
           "\r\nxllcorner     " + west + "\r\nyllcorner     " + south + "\r\ncellsize      " + cell +
           "\r\nNODATA_value  -9999\r\n";
}

// A model grid of 4 x 2 cells of 0.5 degree with two rangeland cells:
//   north row: cell 0 | land  | water | water
//   south row: land   | water | cell 1 (on water) | land
// and lookup grids in /lookup: the geographic pair, whose zone ids count the
// cells from the south-west corner (the south-east place lies outside the
// mask), and a 3 x 2 Robinson pair whose ids -9999 and -9900 lie outside.
struct MonthExportFixture {
    veldra::testing::MemoryFiles files;
    std::vector<files::RangeCell> cells{{1, 1, 1, 1, 1}, {2, 1, 3, 2, 1}};
    files::GlobeMask land{4, 2, {1, 1, 0, 0, 1, 0, 0, 1}};
    out::LookupPlaces places{{"/lookup"}, "", nullptr};
    std::vector<std::pair<out::ExportNote, std::string>> notes;
    std::string stop_at = "(none)";  // the callback answers "stop" to this text

    MonthExportFixture() {
        files.put("/lookup/zone_ids_0p5.asc", header(4, 2, "-180", "-90", "90") + "0 1 2 3\r\n4 5 6 7\r\n");
        files.put("/lookup/zone01_0p5.asc", header(4, 2, "-180", "-90", "90") + "1 1 1 0\r\n1 1 1 1\r\n");
        files.put("/lookup/zone_ids_0p5.prj", "GEOGCS[\"GCS_WGS_1984\"]\r\n");
        // Rows from the south: the north row is read last.
        files.put("/lookup/robinson_ids_0p5.asc",
                  header(3, 2, "-1500", "-1000", "1000") + "0 -9999 2\r\n4 5 -9900\r\n");
        files.put("/lookup/rob01_0p5.asc", header(3, 2, "-1500", "-1000", "1000") + "1 0 1\r\n1 1 1\r\n");
        files.put("/lookup/robinson_ids_0p5.prj", "PROJCS[\"World_Robinson\"]\r\n");
    }

    // /model/Output/Precip.vrd: blocks of years first..last, months 1..12, one
    // layer, N = 2; `month_record(y, m)` is the month record written and
    // `value(y, m, i)` the value of cell i.
    template <typename MonthRecord, typename Value>
    void write_precip(int first, int last, MonthRecord month_record, Value value) {
        std::vector<float> records;
        for (int y = first; y <= last; ++y)
            for (int m = 1; m <= 12; ++m) {
                records.insert(records.end(), {2.0f, static_cast<float>(y), static_cast<float>(month_record(y, m))});
                for (int i = 0; i < 2; ++i) records.push_back(value(y, m, i));
            }
        std::string bytes(records.size() * 4, '\0');
        std::memcpy(bytes.data(), records.data(), bytes.size());
        files.put("/model/Output/Precip.vrd", bytes);
    }

    // The progress callback of a run: every note kept, "stop" at stop_at.
    out::ExportProgress progress() {
        return [this](out::ExportNote note, const std::string& text) {
            notes.emplace_back(note, text);
            return text != stop_at;
        };
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> m;
        for (const auto& [note, text] : notes)
            if (note == out::ExportNote::message) m.push_back(text);
        return m;
    }
};

}  // namespace veldra::viewer
