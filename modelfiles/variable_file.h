// Variable files (<name>.vrd): flat little-endian 4-byte reals, numbered from
// record 1. Every (year, month, layer) has a block of N + 3 records: the cell
// count, the year, the month and one value per cell in cell-file order.
// Blocks follow by year from the first model year, then month 1..12, then
// layer 1..L.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veldra::files {

struct BlockAddress {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t layer = 0;
    std::int32_t first_year = 0;
    std::int32_t layers = 1;      // L, the layer count of the variable
    std::int64_t cell_count = 0;  // N
};

// Index of the block: ((year - first_year) * 12 + (month - 1)) * L + (layer - 1).
std::int64_t block_index(const BlockAddress& a);

// First record of the block (1-based): block_index * (N + 3) + 1. Below 1
// for a year before the first model year.
std::int64_t block_first_record(const BlockAddress& a);

class FileAccess;
class InputFile;

class VariableFile {
public:
    // Opens a variable file for reading. Raises FileOpenError naming the
    // file when it cannot be opened or is not a regular file.
    static VariableFile open(const std::string& path, FileAccess& files);
    static VariableFile open(const std::string& path);

    VariableFile(VariableFile&&) noexcept;
    VariableFile& operator=(VariableFile&&) noexcept;
    ~VariableFile();

    // Whole records in the file.
    std::int64_t record_count() const { return records_; }

    // Reads `count` records from record `first` (1-based, >= 1) into `dest`
    // with one read. Returns how many records were read: fewer when the file
    // ends first. Raises ModelFileError when the read itself fails.
    std::size_t read_records(std::int64_t first, std::size_t count, float* dest) const;

    const std::string& path() const;

private:
    explicit VariableFile(std::unique_ptr<InputFile> file);
    std::unique_ptr<InputFile> file_;
    std::int64_t records_ = 0;
};

// One block as it stands in a variable file: its N + 3 records.
struct BlockRecords {
    std::int64_t first_record = 0;  // 1-based; below 1 when the block would start before the file
    std::size_t count = 0;          // N + 3, the records the block takes
    std::size_t read = 0;           // records read: fewer than `count` when the file ends first
    bool before_start() const { return first_record < 1; }
    bool complete() const { return read == count; }
    std::int64_t last_record() const { return first_record + static_cast<std::int64_t>(count) - 1; }
};

// Reads the block of `address` into `dest` (N + 3 records: count, year, month,
// then the values). Nothing is read for a block before the start of the file.
// Raises ModelFileError when a read fails.
BlockRecords read_block(const VariableFile& file, const BlockAddress& address, std::vector<float>& dest);

// Whether a leading record (the cell count, year or month of a block) stands
// for `expected`. The file holds 4-byte reals, so the record of a correctly
// written block is `expected` converted to single precision; the record is
// compared with exactly that, bit for bit in value. (Above 2^24 not every
// whole number has a single-precision form: a count whose neighbours round to
// the same real cannot be told from them, whichever precision compares.)
bool leading_record_matches(float record, std::int64_t expected);

// The checks of a block, in the order read_checked_block makes them; the
// first that fails is the block's fault.
enum class BlockFault {
    none,          // the block is whole and its three leading records match
    before_start,  // the block would start before record 1 (a year before the first model year)
    past_end,      // the file ends before the block does (before its leading records, or within its values)
    cell_count,    // the count record is not the cell count N
    year,          // the year record is not the block's year
    month,         // the month record is not the block's month
};

// A block read and checked by read_checked_block.
struct CheckedBlock {
    BlockRecords records;            // where the block lies and how much of it was read
    std::int64_t file_records = 0;   // whole records in the file
    BlockFault fault = BlockFault::none;
    // Each leading record against the rule of leading_record_matches; all
    // false while the three leading records were not read.
    bool count_matches = false;
    bool year_matches = false;
    bool month_matches = false;

    bool ok() const { return fault == BlockFault::none; }
    bool leading_read() const { return records.read >= 3; }
    // The first record the file lacks; meaningful for an incomplete block.
    std::int64_t first_missing_record() const {
        return records.first_record + static_cast<std::int64_t>(records.read);
    }
};

// The one checked reader of a variable block: reads the block of `address`
// into `dest` (N + 3 records: count, year, month, then the N values, `dest`
// sized N + 3 whatever was read), then checks, in this order, that the block
// starts within the file, that its three leading records were read, that
// they are the cell count, year and month of `address`, and that the whole
// block was read. `fault` is the first check that fails; the per-record
// results are all filled, for callers that report more than the first.
// Raises ModelFileError when a read itself fails.
CheckedBlock read_checked_block(const VariableFile& file, const BlockAddress& address, std::vector<float>& dest);

// The same checks for a reader that takes only some values of the block
// afterwards: reads the three leading records into `dest` (sized 3), and
// counts the block as past the end when its last record lies beyond the file
// (first_missing_record() is then the first record the file lacks).
CheckedBlock read_checked_leading(const VariableFile& file, const BlockAddress& address, std::vector<float>& dest);

// "the block of year 1990, month 3, layer 1"
std::string block_name(const BlockAddress& address);

// "<path>: the block of year Y, month M, layer L would start at record R,
// before the start of the file (the first model year is F)", without a full stop.
std::string block_before_start_message(const std::string& path, const BlockAddress& address,
                                       const CheckedBlock& block);

// "<path>: record R lies past the end of the file, which holds H records; the
// block of year Y, month M, layer L takes records A to B", without a full stop:
// R is the first record the file lacks.
std::string block_past_end_message(const std::string& path, const BlockAddress& address, const CheckedBlock& block);

// The message of a leading record that does not match (fault cell_count, year
// or month), as the viewer's map and the grid export show it:
// "There is disagreement between the number of rangeland cells expected and
// what is being read-in.  Something is out of sync. Expected is <count> and
// read-in was: <record>" and the like for the year and the month. The
// expected count is shown as the text `shown_count`; `leading` is the block's first
// three records.
std::string leading_mismatch_message(BlockFault fault, const float* leading, const std::string& shown_count,
                                     const BlockAddress& address);

// The message of the run's last block `last` lying past the end of `file`
// (as block_past_end_message gives it), or nothing: checked before anything
// is written or read, so that a short file fails at once.
std::optional<std::string> last_block_past_end(const std::string& path, const VariableFile& file,
                                               const BlockAddress& last);

// The message of a leading record that does not match (fault cell_count, year
// or month), naming its record, as the NetCDF export and the Python reader
// give it: "<path>: record R holds X as the cell count of the block of year
// Y, month M, layer L; expected N, the cell count of the cell file." (and "as
// the year", "as the month" without the last clause).
std::string leading_record_message(const std::string& path, const BlockAddress& address, const CheckedBlock& block,
                                   const float* leading);

}  // namespace veldra::files
