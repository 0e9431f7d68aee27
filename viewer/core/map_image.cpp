#include "viewer/core/map_image.h"

#include <algorithm>

#include "viewer/core/chart_text.h"
#include "modelfiles/paths.h"

namespace veldra::viewer {
namespace {

constexpr int kMargin = 8;

std::string padded(long long value, std::size_t width) {
    std::string s = std::to_string(value);
    if (s.size() < width) s.insert(0, width - s.size(), '0');
    return s;
}

}  // namespace

int cell_pixels(int cols, int rows) {
    if (cols <= 0 || rows <= 0) return 1;
    const int by_width = 1440 / cols, by_height = 720 / rows;
    return std::clamp(std::min(by_width, by_height), 1, static_cast<int>(kMaxPixelsPerCell));
}

MapImageLayout layout_map_image(int cols, int rows, int line_height, int title_w, int legend_w, int legend_h) {
    MapImageLayout l;
    l.cell_pixels = cell_pixels(cols, rows);
    const int map_w = std::max(cols, 1) * l.cell_pixels, map_h = std::max(rows, 1) * l.cell_pixels;
    l.width = std::max({map_w, legend_w + 2 * kMargin, title_w + 2 * kMargin});
    const int title_h = line_height + 2 * kMargin;
    l.title = {0, kMargin, l.width, line_height};
    l.map = {(l.width - map_w) / 2, title_h, map_w, map_h};
    l.legend = {kMargin, l.map.bottom() + kMargin, legend_w, legend_h};
    l.height = l.legend.bottom() + kMargin;
    return l;
}

std::string map_title(const files::OutputEntry& entry, int layer, int year, int month) {
    std::string title(files::trim_blanks(entry.FileName));
    const std::string_view units = files::trim_blanks(entry.Units);
    if (!units.empty()) title += " (" + std::string(units) + ")";
    const std::string_view label = files::trim_blanks(entry.LayerLabel);
    title += ", " + (label.empty() ? std::string("layer") : std::string(label)) + " " + std::to_string(layer);
    return title + ", " + month_name(month) + " " + std::to_string(year);
}

std::vector<std::pair<int, int>> span_months(const FrameSpan& span) {
    std::vector<std::pair<int, int>> months;
    if (span.from_month < 1 || span.from_month > 12 || span.to_month < 1 || span.to_month > 12) return months;
    const long long first = static_cast<long long>(span.from_year) * 12 + span.from_month - 1;
    const long long last = static_cast<long long>(span.to_year) * 12 + span.to_month - 1;
    for (long long k = first; k <= last; ++k) {
        const long long year = k >= 0 ? k / 12 : -((-k + 11) / 12);
        months.emplace_back(static_cast<int>(year), static_cast<int>(k - year * 12) + 1);
    }
    return months;
}

std::vector<std::string> frame_file_names(const std::string& root, const FrameSpan& span) {
    const auto months = span_months(span);
    const std::size_t width = std::max<std::size_t>(4, std::to_string(months.size()).size());
    std::vector<std::string> names;
    names.reserve(months.size());
    for (std::size_t i = 0; i < months.size(); ++i)
        names.push_back(root + "_" + padded(static_cast<long long>(i) + 1, width) + "_" +
                        std::to_string(months[i].first) + "_" + padded(months[i].second, 2) + ".png");
    return names;
}

}  // namespace veldra::viewer
