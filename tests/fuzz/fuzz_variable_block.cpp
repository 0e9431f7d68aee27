// A block of a variable file, read through files in memory. The input's first
// twelve bytes choose the block (first model year, year, month, layer, layer
// count, cell count) the way the exporter and the viewer can ask for one; the
// rest is the file. The block starts at the record its address gives, and
// what is read is exactly the file's bytes there, as far as the file goes;
// the checked reader gives the first failing check of that block, in order,
// and the reader of its leading records alone the same.
#include <algorithm>
#include <cstring>
#include <vector>

#include "modelfiles/file_io.h"
#include "modelfiles/variable_file.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/memory_files.h"

using namespace veldra;
using namespace veldra::files;
using fuzz::check;
using fuzz::number;

namespace {

template <typename T>
T take(const std::uint8_t*& p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kAddressBytes = 12;
    if (size < kAddressBytes) return -1;
    const std::uint8_t* p = data;
    veldra::files::BlockAddress a;
    a.first_year = take<std::int32_t>(p);
    a.year = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{a.first_year} + take<std::int8_t>(p), INT32_MIN, INT32_MAX));
    a.month = 1 + take<std::uint8_t>(p) % 12;
    a.layers = take<std::uint8_t>(p) % 109 - 9;  // the exporter's -9 .. 99
    a.layer = 1 + take<std::uint8_t>(p) % (a.layers > 0 ? a.layers : 1);
    a.cell_count = take<std::uint16_t>(p);
    p += 1;

    testing::MemoryFiles files;
    files.put("V.vrd", std::string(reinterpret_cast<const char*>(p), size - kAddressBytes));
    const std::string& bytes = files.files["V.vrd"];
    const veldra::files::VariableFile variable = veldra::files::VariableFile::open("V.vrd", files);
    const std::int64_t records = static_cast<std::int64_t>(bytes.size() / 4);
    check(variable.record_count() == records, "the file holds " + number(records) + " records, not " +
                                                  number(variable.record_count()));

    const std::int64_t index = ((std::int64_t{a.year} - a.first_year) * 12 + a.month - 1) * a.layers + a.layer - 1;
    check(block_index(a) == index, "block index " + number(block_index(a)) + ", expected " + number(index));
    const std::int64_t first = index * (a.cell_count + 3) + 1;

    std::vector<float> dest;
    const veldra::files::BlockRecords block = read_block(variable, a, dest);
    check(block.first_record == first && block_first_record(a) == first,
          "the block starts at record " + number(block.first_record) + ", expected " + number(first));
    check(block.count == static_cast<std::size_t>(a.cell_count) + 3 && dest.size() >= block.count,
          "the block takes " + number(block.count) + " records");
    check(block.before_start() == (first < 1), "before_start is wrong");
    const std::int64_t available = first < 1 ? 0 : std::clamp<std::int64_t>(records - first + 1, 0, static_cast<std::int64_t>(block.count));
    check(block.read == static_cast<std::size_t>(available),
          "read " + number(block.read) + " records, expected " + number(available));
    check(block.complete() == (block.read == block.count), "complete() is wrong");
    if (block.read > 0)
        check(std::memcmp(dest.data(), bytes.data() + (first - 1) * 4, block.read * 4) == 0,
              "the records read differ from the file's bytes");

    std::vector<float> checked_dest;
    const veldra::files::CheckedBlock c = read_checked_block(variable, a, checked_dest);
    check(c.records.first_record == block.first_record && c.records.read == block.read &&
              c.file_records == records,
          "the checked block lies elsewhere than the block");
    auto leading = [&](std::size_t i, std::int64_t expected) {
        return block.read >= 3 && dest[i] == static_cast<float>(expected);
    };
    veldra::files::BlockFault fault = veldra::files::BlockFault::none;
    if (block.before_start()) fault = veldra::files::BlockFault::before_start;
    else if (block.read < 3) fault = veldra::files::BlockFault::past_end;
    else if (!leading(0, a.cell_count)) fault = veldra::files::BlockFault::cell_count;
    else if (!leading(1, a.year)) fault = veldra::files::BlockFault::year;
    else if (!leading(2, a.month)) fault = veldra::files::BlockFault::month;
    else if (!block.complete()) fault = veldra::files::BlockFault::past_end;
    check(c.fault == fault, "fault " + number(static_cast<int>(c.fault)) + ", expected " + number(static_cast<int>(fault)));
    check(c.count_matches == leading(0, a.cell_count) && c.year_matches == leading(1, a.year) &&
              c.month_matches == leading(2, a.month),
          "the leading records' results are wrong");
    if (c.fault == veldra::files::BlockFault::past_end) {
        const std::string m = block_past_end_message("V.vrd", a, c);
        check(m.find(" lies past the end of the file, which holds " + number(records) + " records; ") !=
                  std::string::npos,
              "past-the-end message: " + m);
    }

    // A reader of part of the block finds the same fault and the same place.
    std::vector<float> leading_dest;
    const veldra::files::CheckedBlock part = read_checked_leading(variable, a, leading_dest);
    check(part.fault == c.fault && part.records.first_record == c.records.first_record &&
              part.records.read == c.records.read && part.first_missing_record() == c.first_missing_record(),
          "the check of the leading records differs from the check of the whole block");
    if (c.fault == veldra::files::BlockFault::cell_count || c.fault == veldra::files::BlockFault::year || c.fault == veldra::files::BlockFault::month)
        check(leading_record_message("V.vrd", a, part, leading_dest.data()) ==
                  leading_record_message("V.vrd", a, c, checked_dest.data()),
              "the leading record's message differs");
    return 0;
}
