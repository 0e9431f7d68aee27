#include "modelfiles/variable_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include "modelfiles/file_io.h"
#include "modelfiles/number_text.h"

namespace veldra::files {

std::int64_t block_index(const BlockAddress& a) {
    return ((std::int64_t{a.year} - a.first_year) * 12 + (std::int64_t{a.month} - 1)) * a.layers +
           (std::int64_t{a.layer} - 1);
}

std::int64_t block_first_record(const BlockAddress& a) {
    return block_index(a) * (a.cell_count + 3) + 1;
}

VariableFile VariableFile::open(const std::string& path, FileAccess& files) {
    return VariableFile(files.open_input(path));
}

VariableFile VariableFile::open(const std::string& path) { return open(path, system_files()); }

VariableFile::VariableFile(std::unique_ptr<InputFile> file) : file_(std::move(file)), records_(file_->size() / 4) {}
VariableFile::VariableFile(VariableFile&&) noexcept = default;
VariableFile& VariableFile::operator=(VariableFile&&) noexcept = default;
VariableFile::~VariableFile() = default;

const std::string& VariableFile::path() const { return file_->path(); }

std::size_t VariableFile::read_records(std::int64_t first, std::size_t count, float* dest) const {
    if (first < 1 || first > records_) return 0;
    const std::int64_t available = records_ - (first - 1);
    if (static_cast<std::int64_t>(count) > available) count = static_cast<std::size_t>(available);

    const std::size_t got = file_->read_at((first - 1) * 4, dest, count * 4);
    const std::size_t records = got / 4;
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < records; ++i) {
            std::uint32_t v;
            std::memcpy(&v, dest + i, 4);
            v = __builtin_bswap32(v);
            std::memcpy(dest + i, &v, 4);
        }
    }
    return records;
}

BlockRecords read_block(const VariableFile& file, const BlockAddress& address, std::vector<float>& dest) {
    BlockRecords block;
    block.first_record = block_first_record(address);
    block.count = static_cast<std::size_t>(address.cell_count) + 3;
    dest.resize(block.count);
    if (!block.before_start()) block.read = file.read_records(block.first_record, block.count, dest.data());
    return block;
}

bool leading_record_matches(float record, std::int64_t expected) { return record == static_cast<float>(expected); }

namespace {

// The checks of read_checked_block on a block whose records are known and
// whose leading records are in `leading`.
void check_block(CheckedBlock& c, const BlockAddress& address, const float* leading) {
    if (c.records.before_start()) {
        c.fault = BlockFault::before_start;
        return;
    }
    if (!c.leading_read()) {
        c.fault = BlockFault::past_end;
        return;
    }
    c.count_matches = leading_record_matches(leading[0], address.cell_count);
    c.year_matches = leading_record_matches(leading[1], address.year);
    c.month_matches = leading_record_matches(leading[2], address.month);
    if (!c.count_matches)
        c.fault = BlockFault::cell_count;
    else if (!c.year_matches)
        c.fault = BlockFault::year;
    else if (!c.month_matches)
        c.fault = BlockFault::month;
    else if (!c.records.complete())
        c.fault = BlockFault::past_end;
}

}  // namespace

CheckedBlock read_checked_block(const VariableFile& file, const BlockAddress& address, std::vector<float>& dest) {
    CheckedBlock c;
    c.records = read_block(file, address, dest);
    c.file_records = file.record_count();
    check_block(c, address, dest.data());
    return c;
}

CheckedBlock read_checked_leading(const VariableFile& file, const BlockAddress& address, std::vector<float>& dest) {
    CheckedBlock c;
    c.records.first_record = block_first_record(address);
    c.records.count = static_cast<std::size_t>(address.cell_count) + 3;
    c.file_records = file.record_count();
    dest.assign(3, 0.0f);
    if (!c.records.before_start()) {
        const std::size_t leading = file.read_records(c.records.first_record, 3, dest.data());
        // The records the file holds of the block, as a whole read would find them.
        const std::int64_t held = std::max<std::int64_t>(c.file_records - c.records.first_record + 1, 0);
        c.records.read = leading < 3 ? leading : static_cast<std::size_t>(std::min<std::int64_t>(
                                                     held, static_cast<std::int64_t>(c.records.count)));
    }
    check_block(c, address, dest.data());
    return c;
}

std::string block_name(const BlockAddress& address) {
    using files::integer_text;
    return "the block of year " + integer_text(address.year) + ", month " + integer_text(address.month) +
           ", layer " + integer_text(address.layer);
}

std::string block_before_start_message(const std::string& path, const BlockAddress& address,
                                       const CheckedBlock& block) {
    using files::integer_text;
    return path + ": " + block_name(address) + " would start at record " + integer_text(block.records.first_record) +
           ", before the start of the file (the first model year is " + integer_text(address.first_year) + ")";
}

std::string block_past_end_message(const std::string& path, const BlockAddress& address, const CheckedBlock& block) {
    using files::integer_text;
    return path + ": record " + integer_text(block.first_missing_record()) +
           " lies past the end of the file, which holds " + integer_text(block.file_records) + " records; " +
           block_name(address) + " takes records " + integer_text(block.records.first_record) + " to " +
           integer_text(block.records.last_record());
}

std::optional<std::string> last_block_past_end(const std::string& path, const VariableFile& file,
                                               const BlockAddress& last) {
    CheckedBlock b;
    b.records = BlockRecords{block_first_record(last), static_cast<std::size_t>(last.cell_count + 3), 0};
    b.file_records = file.record_count();
    if (b.records.before_start() || b.records.last_record() <= b.file_records) return std::nullopt;
    b.records.read =
        static_cast<std::size_t>(std::max(b.records.first_record, b.file_records + 1) - b.records.first_record);
    return block_past_end_message(path, last, b);
}

std::string leading_record_message(const std::string& path, const BlockAddress& address, const CheckedBlock& block,
                                   const float* leading) {
    using files::integer_text;
    using files::plain_number;
    const std::size_t i = block.fault == BlockFault::month ? 2 : block.fault == BlockFault::year ? 1 : 0;
    const struct {
        const char* what;
        double expected;
        const char* whose;
    } records[] = {{"the cell count", static_cast<double>(address.cell_count), ", the cell count of the cell file"},
                   {"the year", static_cast<double>(address.year), ""},
                   {"the month", static_cast<double>(address.month), ""}};
    return path + ": record " + integer_text(block.records.first_record + static_cast<std::int64_t>(i)) + " holds " +
           plain_number(leading[i]) + " as " + records[i].what + " of " + block_name(address) + "; expected " +
           plain_number(records[i].expected) + records[i].whose + ".";
}

std::string leading_mismatch_message(BlockFault fault, const float* leading, const std::string& shown_count,
                                     const BlockAddress& address) {
    using files::integer_text;
    using files::plain_number;
    switch (fault) {
    case BlockFault::cell_count:
        return "There is disagreement between the number of rangeland cells expected and what is being read-in.  "
               "Something is out of sync. Expected is " +
               shown_count + " and read-in was: " + plain_number(leading[0]);
    case BlockFault::year:
        return "There is disagreement between the current year and the year read-in.  Something is out of sync.  "
               "Excepted is " +
               integer_text(address.year) + " and read-in was " + plain_number(leading[1]);
    case BlockFault::month:
        return "There is disagreement between the current month and the month read-in.  Something is out of sync.  "
               "Excepted is " +
               integer_text(address.month) + " and read-in was " + plain_number(leading[2]);
    default:
        return {};
    }
}

}  // namespace veldra::files
