// Anomalies: each month of a run less the climatology of its calendar month
// over a span of years, of a baseline run or of the run itself. The
// climatology is made once, before the months are read (12 fields: memory of
// the cells, not of the years), and is taken from each month as it is read;
// any summary (summary_source.h) may then follow.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fields/baseline_source.h"
#include "fields/field_source.h"

namespace veldra::fields {

// The 12 fields of a climatology, January first, each a value per cell of
// the run it was made of (NaN where the cell has no valid month), and the
// notes of the bad months it left out.
struct Climatology {
    std::vector<Field> by_month;
    std::string notes;
};

// The climatology of `months`, the months first_year-01 to last_year-12 in
// order (summary_source with Summary::climatology, every field read). Nothing
// when `stop` asks to stop.
std::optional<Climatology> climatology_of(std::unique_ptr<FieldSource> months, std::int32_t first_year,
                                          std::int32_t last_year, const StopAsked& stop = {});

// The months of `months` (each period a month of a year), each value less
// the climatology of its calendar month at the paired cell (`pairing` from
// the cells of `months` to those of the climatology's run: same_cells for the
// run itself). An invalid value or climatology is no data (NaN). Bad months
// stay bad (BadBlock). Raises std::invalid_argument for a climatology that
// is not 12 calendar months of the pairing's cells, or a period that is not a
// month of a year.
std::unique_ptr<FieldSource> anomaly_source(std::unique_ptr<FieldSource> months, const Climatology& climatology,
                                            const CellPairing& pairing);

}  // namespace veldra::fields
