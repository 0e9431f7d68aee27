#include "viewer/core/window_layout.h"

#include <algorithm>
#include <cmath>

namespace veldra::viewer {
namespace {

// A 16-bit whole number as the layout holds the map's height limit: rounded,
// halves to even, and kept within the type's range.
double as_int16(double v) { return std::clamp(std::nearbyint(v), -32768.0, 32767.0); }

}  // namespace

OuterSize start_size(double available_width, double available_height) {
    const double w = std::max(std::min({kDesignedWidth, available_width, available_height / 0.75}), kMinOuterWidth);
    return {w, std::max(w * 0.75, kMinOuterHeight)};
}

ResizeOutcome form_resize(double width, double height, WindowState state, const MainLayout& current) {
    ResizeOutcome out;
    if (state == WindowState::minimized) return out;
    double w = width;
    double h = height;
    if (state == WindowState::normal) {
        if (h < kMinOuterHeight || w < kMinOuterWidth) {
            out.new_size = OuterSize{kMinOuterWidth, kMinOuterHeight};
            return out;
        }
        h = std::max(w * 0.75, kMinOuterHeight);
        if (h != height) out.new_size = OuterSize{w, h};
    }

    MainLayout l = current;
    l.picMap.left = l.lstMaps.left + l.lstMaps.width + 100;
    l.picMap.width = w - l.lstMaps.left - l.lstMaps.width - 470;
    l.picMap.top = l.lstMaps.top;
    const double map_limit = as_int16(h * 0.75 - 1000);
    if (l.picMap.width / 2 < map_limit) {
        l.picMap.height = l.picMap.width / 2;
    } else {
        l.picMap.height = map_limit;
        l.picMap.width = 2 * map_limit;
    }

    l.lstMaps.height = h / 2.5;
    l.lstIndex.top = l.lstMaps.bottom() + 60;
    l.lstIndex.width = l.lstMaps.width;
    l.lstIndex.height = 1500;
    l.lstClr = {l.lstMaps.left, l.lstIndex.bottom() + 60, l.lstMaps.width, 1200};
    l.txtYear.left = l.lstIndex.left;
    l.txtYear.top = l.lstClr.bottom() + 120;
    l.cmdYrUp.left = l.txtYear.right();
    l.cmdYrUp.top = l.txtYear.top - 15;
    l.cmdYrDown.left = l.cmdYrUp.left;
    l.cmdYrDown.top = l.cmdYrUp.bottom();
    l.txtMonth.left = l.cmdYrUp.right() + 200;
    l.txtMonth.top = l.txtYear.top;
    l.cmdMnUp.left = l.txtMonth.right();
    l.cmdMnUp.top = l.txtYear.top - 15;
    l.cmdMnDown.left = l.cmdMnUp.left;
    l.cmdMnDown.top = l.cmdMnUp.bottom();
    l.cmdAuto.left = l.lstIndex.right() - l.cmdAuto.width;
    l.cmdAuto.top = l.cmdMnUp.top;

    // The statistics, from the bottom up; each value label 50 right of its title.
    auto place_row = [&](TwipRect& title, TwipRect& value, double top) {
        title.left = l.lstMaps.left;
        title.top = top;
        value.left = title.right() + 50;
        value.top = top;
    };
    place_row(l.lblCellsTitle, l.lblCells, h - l.lblCellsTitle.height - 650);
    place_row(l.lblStdevTitle, l.lblStdev, l.lblCellsTitle.top - l.lblStdevTitle.height - 250);
    place_row(l.lblMeanTitle, l.lblMean, l.lblStdevTitle.top - l.lblMeanTitle.height - 100);
    place_row(l.lblUnitsTitle, l.lblUnits, l.lblMeanTitle.top - l.lblUnitsTitle.height - 100);

    l.cmdEnd.left = w - l.cmdEnd.width - 400;
    l.cmdEnd.top = h - l.cmdEnd.height - 700;
    l.cmdExport.left = l.txtYear.left;
    l.cmdExport.top = l.txtYear.bottom() + 200;

    l.chartMain = {l.picMap.left, l.picMap.bottom() + 50, l.picMap.width, h - l.picMap.height - 600};
    out.layout = l;
    return out;
}

StatusLinePlace status_line_place(double client_width, double client_height, const MainLayout& layout) {
    StatusLinePlace p;
    const double left = layout.picMap.left;
    const double right = std::min(layout.cmdEnd.left, client_width) - 60;
    const double top = client_height - kStatusLineHeight;
    p.rect = {left, top, std::max(0.0, right - left), kStatusLineHeight};
    p.chart_inset = std::max(0.0, layout.chartMain.bottom() - top);
    return p;
}

}  // namespace veldra::viewer
