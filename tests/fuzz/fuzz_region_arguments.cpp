// The --regions arguments, one a line: each is read alone and all together,
// and either is refused with RegionArgumentError or gives what it says. A
// box's four numbers read back from their shortest text to the same box, lie
// in range, and the regions they make over a 30-degree globe list each
// cell's regions in ascending order.
#include <charconv>
#include <string>
#include <vector>

#include "fields/regions.h"
#include "tests/fuzz/fuzz_check.h"

using veldra::fields::Box;
using veldra::fields::RegionArgumentError;
using veldra::fields::RegionKind;
using veldra::fields::RegionArgument;
using veldra::fuzz::check;

namespace {

std::string shortest(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void check_box(const Box& b) {
    check(b.west >= -180 && b.west <= 180 && b.east >= -180 && b.east <= 180, "a longitude out of range");
    check(b.south >= -90 && b.north <= 90 && b.south < b.north, "latitudes out of range or out of order");
    check(b.west != b.east, "an empty box");
    const std::string text =
        "box:" + shortest(b.west) + "," + shortest(b.south) + "," + shortest(b.east) + "," + shortest(b.north);
    check(veldra::fields::parse_region_argument(text).box == b, "the box does not read back from " + text);
}

void check_choice(std::string_view arg, const RegionArgument& choice) {
    switch (choice.kind) {
    case RegionKind::zone: check(arg == "zone", "zone from another text"); break;
    case RegionKind::range_type: check(arg == "range-type", "range-type from another text"); break;
    case RegionKind::box:
        check(arg.starts_with("box:"), "a box from a text without box:");
        check_box(choice.box);
        break;
    case RegionKind::polygons:
        check(!choice.file.empty(), "a polygon file without a name");
        check(arg == choice.file || arg == choice.file + ":" + choice.name_field, "file and field are not the text");
        check(choice.name_field.find_first_of("/\\:") == std::string::npos, "a field holding a separator or colon");
        break;
    }
}

void check_regions(const veldra::fields::RegionRequest& request) {
    if (request.kind != RegionKind::box) return;
    veldra::files::ModelGrid grid;
    grid.cols = 12, grid.rows = 6, grid.west = -180, grid.south = -90, grid.cell = 30;
    std::vector<veldra::files::RangeCell> cells;
    for (std::int32_t y = 1; y <= 6; ++y)
        for (std::int32_t x = 1; x <= 12; ++x) cells.push_back({0, 0, x, y, 0});
    const veldra::fields::RegionSet set = veldra::fields::make_regions(request, cells, grid);
    check(set.names.size() == request.boxes.size() && set.first.size() == cells.size() + 1, "sizes of the set");
    for (std::size_t i = 0; i < cells.size(); ++i)
        for (std::uint32_t k = set.first[i]; k < set.first[i + 1]; ++k)
            check(set.members[k] < set.names.size() && (k == set.first[i] || set.members[k - 1] < set.members[k]),
                  "a cell's regions out of order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = veldra::fuzz::text_of(data, size);
    std::vector<std::string> args;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        args.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& arg : args) {
        try {
            check_choice(arg, veldra::fields::parse_region_argument(arg));
        } catch (const RegionArgumentError& e) {
            // what() ends at a NUL the argument may hold.
            const std::string expected = "--regions " + arg + ": ";
            check(expected.starts_with(e.what()) || std::string_view(e.what()).starts_with(expected),
                  "a message without its argument");
        }
    }
    try {
        check_regions(veldra::fields::parse_regions(args));
    } catch (const RegionArgumentError&) {
    }
    return 0;
}
