#include "viewer/core/caption_fit.h"

#include <algorithm>

namespace veldra::viewer {

int fitted_width(int designed, std::initializer_list<int> caption_widths, int padding) {
    int widest = 0;
    for (const int w : caption_widths) widest = std::max(widest, w);
    return widest == 0 ? designed : std::max(designed, widest + padding);
}

}  // namespace veldra::viewer
