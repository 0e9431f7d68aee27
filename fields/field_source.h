// A field source: the fields of one variable and layer of a model run, one
// for each period, each a value per cell of the cell table (in the order of
// the cell file) and labelled by its period. Every block is read through the
// checked block reader of modelfiles/variable_file.h; what a source does with
// a block whose leading records do not match is the caller's choice
// (BadBlock). The months of the variable file are the first source
// (monthly_source.h); a source may as well stand for whole years or for the
// calendar months of a span and read many blocks for one field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "modelfiles/file_io.h"
#include "modelfiles/variable_file.h"

namespace veldra::fields {

// What a field stands for: a month of a year, a whole year (month 0), or a
// calendar month over the years of a span (year 0).
struct Period {
    std::int32_t year = 0;
    std::int32_t month = 0;
    friend bool operator==(const Period&, const Period&) = default;
};

// "2000-03" for a month of a year, "2000" for a year, "03" for a calendar
// month (the year as it stands: "812-03").
std::string period_label(const Period& period);

// The months first_year-01 to last_year-12, in order.
std::vector<Period> months_of(std::int32_t first_year, std::int32_t last_year);

// One field: a value per cell of the cell table. A value counts as the one
// rule of modelfiles/valid_values.h (in_valid_range) says.
struct Field {
    Period period;
    std::string label;          // period_label(period), or the source's own label
    std::vector<float> values;  // cell_count() values, in the order of the cell file
};

// What a source does with a block whose leading records (cell count, year,
// month) do not match what was asked for.
enum class BadBlock {
    stop,  // raises BlockError naming the file, the record and what was expected
    skip,  // gives no field, with a note
    nan,   // gives the field with NaN for every value, with a note
};

// A block that stops a read: one before the start or past the end of the
// variable file, whatever the policy, and a bad block under BadBlock::stop.
class BlockError : public files::ModelFileError {
public:
    using ModelFileError::ModelFileError;
};

// Asked before each block a source reads; true stops the read.
using StopAsked = std::function<bool()>;

// What a read gave.
struct FieldRead {
    enum class Kind {
        whole,    // the field holds the block's values
        nan,      // a bad block under BadBlock::nan: the field holds NaN; `note` says why
        skipped,  // a bad block under BadBlock::skip: no field; `note` says why
        stopped,  // `stop` asked to stop before a block: no field
    };
    Kind kind = Kind::whole;
    std::string note;
};

// What `policy` makes of a block read through the checked block reader
// (`leading` holds its leading records): FieldRead::Kind::whole for a sound
// block, nan or skipped for a bad block under that policy. Raises BlockError
// for a block before the start or past the end of the file at `path`, and for
// a bad block under BadBlock::stop. Every reader of blocks, in C++ and in
// Python, goes through it.
FieldRead::Kind judge_block(const files::CheckedBlock& block, BadBlock policy, const std::string& path,
                            const files::BlockAddress& address, const float* leading);

// The one interface of every source of fields. The stop contract: a source
// asks `stop` (when set) before each block it reads and gives
// FieldRead::stopped when told to; a failure raises BlockError or another
// ModelFileError, and nothing else.
class FieldSource {
public:
    virtual ~FieldSource() = default;
    // The values in every field: the cell count of the cell file.
    virtual std::int64_t cell_count() const = 0;
    // The periods in order: field k stands for periods()[k].
    virtual const std::vector<Period>& periods() const = 0;
    // Reads field k into `field` (its buffer is reused).
    virtual FieldRead read(std::size_t k, Field& field, const StopAsked& stop = {}) = 0;
    // Raises BlockError when a block of the last field lies past the end of
    // its file: called before anything is written, so that a short file
    // fails at once. Nothing to check for a source without files.
    virtual void check_span() const {}
};

}  // namespace veldra::fields
