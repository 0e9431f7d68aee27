// The model of the regions tests: a globe of 30-degree cells (12 x 6) whose
// centres lie at -165, -135, ... 165 and 75, 45, ... -75, so that no centre
// falls on a box's or polygon's edge unless a case puts it there, and ten
// cells on it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fields/regions.h"

namespace veldra::fields::testing {

inline files::ModelGrid globe30() {
    files::ModelGrid g;
    g.cols = 12;
    g.rows = 6;
    g.west = -180;
    g.south = -90;
    g.cell = 30;
    g.whole_globe = true;
    return g;
}

// {number, zone, x, y, range type}; the centre in the comment.
inline const std::vector<files::RangeCell> kCells = {
    {1, 5, 1, 3, 2},   // 0: -165, 15
    {2, 1, 7, 3, 1},   // 1: 15, 15
    {3, 1, 8, 3, 1},   // 2: 45, 15
    {4, 2, 12, 3, 2},  // 3: 165, 15  (row from 0 to 30 north)
    {5, 2, 12, 2, 2},  // 4: 165, 45  (30 to 60)
    {6, 2, 12, 1, 2},  // 5: 165, 75  (60 to 90)
    {7, 3, 2, 5, 1},   // 6: -135, -45
    {8, 3, 3, 5, 1},   // 7: -105, -45
    {9, 5, 6, 4, 2},   // 8: -15, -15
    {10, 5, 7, 6, 1},  // 9: 15, -75
};

// The cells (by their place in the cell table) of region `region`.
inline std::vector<std::size_t> cells_of(const RegionSet& set, std::uint32_t region) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < set.cell_count(); ++i)
        for (std::uint32_t k = set.first[i]; k < set.first[i + 1]; ++k)
            if (set.members[k] == region) out.push_back(i);
    return out;
}

// The message of the error of type E that `fn` raises, or "(no error)".
template <typename E, typename Fn>
std::string error_of(Fn fn) {
    try {
        fn();
    } catch (const E& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace veldra::fields::testing
