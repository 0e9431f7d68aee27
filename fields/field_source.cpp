#include "fields/field_source.h"

#include "modelfiles/number_text.h"

namespace veldra::fields {

using files::integer_text;
namespace {

std::string digits(std::int32_t value, std::size_t width) {
    std::string text = files::integer_text(value < 0 ? -static_cast<std::int64_t>(value) : value);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return value < 0 ? "-" + text : text;
}

}  // namespace

std::string period_label(const Period& period) {
    if (period.year == 0) return digits(period.month, 2);
    if (period.month == 0) return files::integer_text(period.year);
    return files::integer_text(period.year) + "-" + digits(period.month, 2);
}

FieldRead::Kind judge_block(const files::CheckedBlock& block, BadBlock policy, const std::string& path,
                            const files::BlockAddress& address, const float* leading) {
    switch (block.fault) {
    case files::BlockFault::none:
        return FieldRead::Kind::whole;
    case files::BlockFault::before_start:
        throw BlockError{files::block_before_start_message(path, address, block) + "."};
    case files::BlockFault::past_end:
        throw BlockError{files::block_past_end_message(path, address, block) + "."};
    case files::BlockFault::cell_count:
    case files::BlockFault::year:
    case files::BlockFault::month:
        break;
    }
    if (policy == BadBlock::stop) throw BlockError{files::leading_record_message(path, address, block, leading)};
    return policy == BadBlock::skip ? FieldRead::Kind::skipped : FieldRead::Kind::nan;
}

std::vector<Period> months_of(std::int32_t first_year, std::int32_t last_year) {
    std::vector<Period> months;
    for (std::int64_t y = first_year; y <= last_year; ++y)
        for (std::int32_t month = 1; month <= 12; ++month) months.push_back({static_cast<std::int32_t>(y), month});
    return months;
}

}  // namespace veldra::fields
