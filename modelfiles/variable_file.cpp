#include "modelfiles/variable_file.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include "modelfiles/file_io.h"

namespace veldra {

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

}  // namespace veldra
