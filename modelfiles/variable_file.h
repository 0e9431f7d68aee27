// Variable files (<name>.vrd): flat little-endian 4-byte reals, numbered from
// record 1. Every (year, month, layer) has a block of N + 3 records: the cell
// count, the year, the month and one value per cell in cell-file order.
// Blocks follow by year from the first model year, then month 1..12, then
// layer 1..L.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace veldra {

struct BlockAddress {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t layer = 0;
    std::int32_t firstYear = 0;
    std::int32_t layers = 1;      // L, the layer count of the variable
    std::int64_t cellCount = 0;   // N
};

// Index of the block: ((year - firstYear) * 12 + (month - 1)) * L + (layer - 1).
std::int64_t block_index(const BlockAddress& a);

// First record of the block (1-based): block_index * (N + 3) + 1. Below 1
// for a year before the first model year.
std::int64_t block_first_record(const BlockAddress& a);

class VariableFile {
public:
    // Opens a variable file for reading; nothing when it cannot be opened.
    static std::optional<VariableFile> open(const std::string& path);

    VariableFile(VariableFile&& other) noexcept;
    VariableFile& operator=(VariableFile&& other) noexcept;
    VariableFile(const VariableFile&) = delete;
    VariableFile& operator=(const VariableFile&) = delete;
    ~VariableFile();

    // Whole records in the file.
    std::int64_t record_count() const { return records_; }

    // Reads `count` records from record `first` (1-based, >= 1) into `dest`
    // with one read. Returns how many records were read: fewer when the file
    // ends first. Raises ModelFileError when the read itself fails.
    std::size_t read_records(std::int64_t first, std::size_t count, float* dest) const;

    const std::string& path() const { return path_; }

private:
    VariableFile(int fd, std::int64_t records, std::string path);
    int fd_ = -1;
    std::int64_t records_ = 0;
    std::string path_;
};

}  // namespace veldra
