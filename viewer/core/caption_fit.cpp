#include "viewer/core/caption_fit.h"

#include <algorithm>

namespace veldra::viewer {

int fitted_width(int designed, std::initializer_list<int> caption_widths, int padding) {
    int widest = 0;
    for (const int w : caption_widths) widest = std::max(widest, w);
    return widest == 0 ? designed : std::max(designed, widest + padding);
}

int neighbour_left(int designed_right, int fitted_right, int left, int right) {
    if (left < designed_right || left >= fitted_right || fitted_right >= right) return left;
    return fitted_right;
}

}  // namespace veldra::viewer
