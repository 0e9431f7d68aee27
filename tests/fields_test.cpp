// Field sources: the months of a variable file under each policy for a bad
// block, and a source of other periods written by the real grid export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "export/grid_export.h"
#include "fields/monthly_source.h"
#include "tests/fake_field_source.h"
#include "tests/month_export_fixture.h"

namespace veldra::viewer {
namespace {

using fields::BadBlock;
using fields::Field;
using fields::FieldRead;
using fields::Period;

// Precip.vrd of 2000 and January 2001 (N = 2, value 10 * month + cell),
// whose block of 2000-03 holds the month record 7.
struct MonthlyFixture : MonthExportFixture {
    MonthlyFixture() {
        write_precip(2000, 2001, [](int, int m) { return m == 3 ? 7 : m; },
                     [](int, int m, int i) { return static_cast<float>(10 * m + i); });
        std::string bytes = files.files.at("/model/Output/Precip.vrd");
        bytes.resize(13 * 5 * 4);  // 2001 ends after its January
        files.put("/model/Output/Precip.vrd", bytes);
    }
    fields::MonthlySource source(BadBlock policy, int last_year = 2000) {
        return fields::MonthlySource({"/model", " Precip ", 1, 2000, 2}, 1, 2000, last_year, policy, files);
    }
};

TEST(PeriodLabel, NamesTheMonthTheYearOrTheCalendarMonth) {
    const struct {
        Period period;
        const char* label;
    } table[] = {{{2000, 3}, "2000-03"}, {{2000, 12}, "2000-12"}, {{812, 1}, "812-01"},
                 {{2004, 0}, "2004"},    {{0, 7}, "07"}};
    for (const auto& row : table) EXPECT_EQ(fields::period_label(row.period), row.label);
}

TEST(MonthlySource, GivesEachMonthOfTheSpanLabelledWithTheValuesOfItsBlock) {
    MonthlyFixture f;
    fields::MonthlySource months = f.source(BadBlock::stop);
    ASSERT_EQ(months.periods().size(), 12u);
    EXPECT_EQ(months.cell_count(), 2);
    Field field;
    const FieldRead read = months.read(10, field);
    EXPECT_EQ(read.kind, FieldRead::Kind::whole);
    EXPECT_EQ(field.period, (Period{2000, 11}));
    EXPECT_EQ(field.label, "2000-11");
    EXPECT_EQ(field.values, (std::vector<float>{110, 111}));
}

// A block whose month record does not match: what each policy makes of it.
TEST(MonthlySource, ABadBlockStopsIsSkippedOrBecomesNanAsTheCallerChose) {
    MonthlyFixture f;
    const std::string mismatch =
        "There is disagreement between the current month and the month read-in.  Something is out of sync.  "
        "Excepted is 3 and read-in was 7";
    Field field;
    EXPECT_THROW(
        {
            try {
                f.source(BadBlock::stop).read(2, field);
            } catch (const fields::BlockError& e) {
                EXPECT_EQ(std::string(e.what()),
                          "/model/Output/Precip.vrd: record 13 holds 7 as the month of the block of year 2000, month 3, "
                          "layer 1; expected 3.");
                throw;
            }
        },
        fields::BlockError);

    const FieldRead skipped = f.source(BadBlock::skip).read(2, field);
    EXPECT_EQ(skipped.kind, FieldRead::Kind::skipped);
    EXPECT_EQ(skipped.note, mismatch);

    const FieldRead nan = f.source(BadBlock::nan).read(2, field);
    EXPECT_EQ(nan.kind, FieldRead::Kind::nan);
    EXPECT_EQ(nan.note, mismatch);
    ASSERT_EQ(field.values.size(), 2u);
    EXPECT_TRUE(std::isnan(field.values[0]) && std::isnan(field.values[1]));
}

// Past the end of the file every policy stops, and check_span says so first.
TEST(MonthlySource, ABlockPastTheEndStopsWhateverThePolicy) {
    MonthlyFixture f;
    const std::string past_end =
        "/model/Output/Precip.vrd: record 66 lies past the end of the file, which holds 65 records; the block of "
        "year 2001, month 2, layer 1 takes records 66 to 70.";
    for (const BadBlock policy : {BadBlock::stop, BadBlock::skip, BadBlock::nan}) {
        fields::MonthlySource months = f.source(policy, 2001);
        Field field;
        EXPECT_EQ(months.read(12, field).kind, FieldRead::Kind::whole);
        try {
            months.read(13, field);
            ADD_FAILURE() << "no stop";
        } catch (const fields::BlockError& e) {
            EXPECT_EQ(std::string(e.what()), past_end);
        }
        EXPECT_THROW(months.check_span(), fields::BlockError);
    }
    EXPECT_NO_THROW(f.source(BadBlock::stop).check_span());
}

TEST(MonthlySource, AStopAskedBeforeTheBlockReadsNothing) {
    MonthlyFixture f;
    Field field;
    EXPECT_EQ(f.source(BadBlock::stop).read(0, field, [] { return true; }).kind, FieldRead::Kind::stopped);
    EXPECT_TRUE(field.values.empty());
}

TEST(FieldSourceExport, TheGridExportWritesAnySourcesFieldsAndAbandonsWhatItSkips) {
    using Kind = FieldRead::Kind;
    const struct {
        std::vector<Kind> kinds;
        std::vector<std::string> grids;
        int abandoned;
        bool stopped;
    } table[] = {
        {{Kind::whole, Kind::whole}, {"/out/p_2010_01.asc", "/out/p_2010_02.asc"}, 0, false},
        {{Kind::skipped, Kind::whole}, {"/out/p_2010_02.asc"}, 1, false},
        {{Kind::whole, Kind::stopped, Kind::whole}, {"/out/p_2010_01.asc"}, 0, true},
    };
    for (const auto& row : table) {
        MonthExportFixture f;
        int reads = 0, opened = 0;
        const out::OpenFields open = [&](std::int32_t layer) {
            EXPECT_EQ(layer, 1);
            ++opened;
            return std::make_unique<FakeSource>(row.kinds, reads);
        };
        const out::ExportSource model{"/model", "Precip", 1, 1, 2, 2000, 0.5f, f.cells, f.land};
        const out::ExportOutcome outcome =
            export_grid_fields(model, {"/out", "p", 0, 0, 1, 0}, f.places, open, f.files, f.progress());
        EXPECT_EQ(outcome.grids, row.grids);
        EXPECT_EQ(outcome.months_abandoned, row.abandoned);
        EXPECT_EQ(outcome.stopped, row.stopped);
        EXPECT_FALSE(outcome.failed) << (f.messages().empty() ? "" : f.messages().front());
        EXPECT_EQ(opened, 1);
        EXPECT_EQ(reads, static_cast<int>(row.kinds.size()) - (row.stopped ? 1 : 0));
        if (row.abandoned) {
            EXPECT_EQ(f.messages(), std::vector<std::string>{"no rain gauge"});
        }
        // The last field's first cell in the north-west corner; the second
        // cell's huge value as it stands.
        const std::string last = f.files.files.at(row.grids.back());
        EXPECT_NE(last.find(row.stopped ? "\r\n.5 " : "\r\n1.5 "), std::string::npos) << last;
        EXPECT_NE(last.find("100000002004087734272.0 "), std::string::npos) << last;
    }
}

}  // namespace
}  // namespace veldra::viewer
