// Variable files (<name>.vrd): flat little-endian 4-byte reals, numbered from
// record 1. Every (year, month, layer) has a block of N + 3 records: the cell
// count, the year, the month and one value per cell in cell-file order.
// Blocks follow by year from the first model year, then month 1..12, then
// layer 1..L.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veldra {

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

}  // namespace veldra
