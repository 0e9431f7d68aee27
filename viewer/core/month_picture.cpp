#include "viewer/core/month_picture.h"

#include "viewer/core/display_block.h"

namespace veldra::viewer {

MonthPicture month_picture(const ViewerState& state, const MonthSource& source, int year, int month) {
    MonthPicture p;
    BlockRead block = read_variable_block(state, source.path, source.layers, year, month, source.layer);
    if (!block.ok()) {
        p.problem = block.message;
        return p;
    }
    p.values = std::move(block.values);
    if (source.options.difference) {
        const auto [ry, rm] = source.options.difference->reference(month);
        const BlockRead other = read_variable_block(state, source.path, source.layers, ry, rm, source.layer);
        if (!other.ok()) {
            p.problem = other.message;
            p.values.clear();
            return p;
        }
        p.values = difference_values(p.values, other.values);
    }
    p.painted = choose_painting(source.list_ramp, stretch_stats(p.values), source.run ? &*source.run : nullptr,
                                source.options, month);
    return p;
}

}  // namespace veldra::viewer
