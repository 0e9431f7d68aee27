// The lookup grids of the export. The input's first byte chooses what is
// read: 0 to 2 one grid of zone ids, projected ids or mask values, whose
// accepted values must fill the grid its header gives, each within its
// range; 3 a reference grid, an id grid and a mask grid (the rest of the
// input, parted by the byte 0x01), loaded and checked against each other as
// the export does, whose every output place must then name a model position
// or one of the two marks. A refusal names the file.
#include <algorithm>

#include "export/lookup_grids.h"
#include "modelfiles/cell_file.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/memory_files.h"

using namespace veldra::files;
using namespace veldra::out;
using veldra::fuzz::check;
using veldra::fuzz::number;

namespace {

void check_grid(const LookupGrid& g, LookupValues kind) {
    check(g.cols > 0 && g.rows > 0 && veldra::files::grid_fits(g.cols, g.rows),
          "accepted a grid of " + number(g.cols) + " x " + number(g.rows));
    check(g.values.size() == static_cast<std::size_t>(g.cols * g.rows), "the values do not fill the grid");
    for (const std::string& line : g.header)
        check(line.find('\n') == std::string::npos && (line.empty() || line.back() != '\r'),
              "a header line keeps its line end");
    for (const std::int32_t v : g.values) {
        if (kind == LookupValues::zone_ids) check(v >= 0 && v <= kMaxZoneId, "a zone id out of range: " + number(v));
        if (kind == LookupValues::mask) check(v >= -32768 && v <= 32767, "a mask value beyond 16 bits: " + number(v));
    }
}

void read_one(std::string_view text, LookupValues kind) {
    try {
        check_grid(parse_lookup_grid(text, "g.asc", kind), kind);
    } catch (const LookupGridError& e) {
        check(std::string_view(e.what()).starts_with("g.asc: "), e.what());
    }
}

void load_set(std::string_view input) {
    const std::size_t a = input.find('\x01');
    const std::size_t b = a == std::string_view::npos ? a : input.find('\x01', a + 1);
    if (b == std::string_view::npos) return;
    veldra::testing::MemoryFiles files;
    files.put("/z.asc", std::string(input.substr(0, a)));
    files.put("/i.asc", std::string(input.substr(a + 1, b - a - 1)));
    files.put("/m.asc", std::string(input.substr(b + 1)));
    files.put("/i.prj", "PROJCS[]");
    const LookupFiles paths{"/z.asc", "/i.asc", "/m.asc", "/i.prj"};
    std::int64_t cols = 0, rows = 0;
    try {
        const LookupGrid zone = read_lookup_grid("/z.asc", files, LookupValues::zone_ids);
        cols = zone.cols;
        rows = zone.rows;
    } catch (const LookupGridError&) {
        return;
    }
    try {
        const ZoneGrid zones = load_zone_grid("/z.asc", cols, rows, files);
        check(zones.cols == cols && zones.rows == rows, "the reference grid changed its size");
        for (const int projection : {0, 1}) {
            const OutputLookup out = load_output_lookup(paths, projection, zones, files);
            check(out.source.size() == static_cast<std::size_t>(out.cols * out.rows), "the places do not fill the grid");
            for (const std::int32_t s : out.source)
                check(s == kOutsideOutline || s == kNoSource || (s >= 0 && s < cols * rows),
                      "a place names position " + number(s) + " of a model grid of " + number(cols * rows));
        }
    } catch (const LookupGridError& e) {
        const std::string_view m = e.what();
        check(m.starts_with("/z.asc: ") || m.starts_with("/i.asc: ") || m.starts_with("/m.asc: "), m);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return -1;
    const std::string_view text = veldra::fuzz::text_of(data + 1, size - 1);
    switch (data[0] % 4) {
        case 0: read_one(text, LookupValues::zone_ids); break;
        case 1: read_one(text, LookupValues::projected_ids); break;
        case 2: read_one(text, LookupValues::mask); break;
        default: load_set(text); break;
    }
    return 0;
}
