// The main window's layout: from the window's outer size, in twips, to the
// place of every control. Plain arithmetic, tested without a window; the
// window converts twips to pixels and applies it.
#pragma once

#include <optional>

namespace veldra::viewer {

struct TwipRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
    bool operator==(const TwipRect&) const = default;
};

enum class WindowState { normal, minimized, maximized };

// The controls the layout places, each as designed before the first layout:
// the window builds them at these places.
struct MainLayout {
    TwipRect lstMaps{120, 120, 3135, 1425};
    TwipRect lstIndex{120, 1680, 3135, 1035};
    TwipRect lstClr{120, 2880, 2655, 1035};
    TwipRect txtYear{240, 4080, 615, 375};
    TwipRect cmdYrUp{840, 4080, 180, 195};
    TwipRect cmdYrDown{840, 4200, 180, 195};
    TwipRect txtMonth{1200, 4080, 375, 375};
    TwipRect cmdMnUp{1560, 4080, 200, 195};
    TwipRect cmdMnDown{1560, 4200, 180, 195};
    TwipRect cmdAuto{1920, 4080, 735, 375};
    TwipRect cmdExport{240, 4800, 735, 375};
    TwipRect lblUnitsTitle{240, 7440, 855, 255};
    TwipRect lblUnits{840, 7440, 1935, 255};
    TwipRect lblMeanTitle{240, 7920, 1000, 255};
    TwipRect lblMean{1440, 7920, 1095, 255};
    TwipRect lblStdevTitle{240, 8280, 1000, 255};
    TwipRect lblStdev{1560, 8280, 1095, 255};
    TwipRect lblCellsTitle{240, 8880, 975, 255};
    TwipRect lblCells{1560, 8880, 975, 255};
    TwipRect cmdEnd{15600, 9240, 735, 375};
    TwipRect picMap{3360, 120, 13095, 4215};
    TwipRect chartMain{3000, 4680, 13335, 4215};
};

inline constexpr double kMinOuterWidth = 7007;
inline constexpr double kMinOuterHeight = 6400;

struct OuterSize {
    double width = 0;
    double height = 0;
    bool operator==(const OuterSize&) const = default;
};

// What a resize asks of the window.
struct ResizeOutcome {
    // The outer size to set first, in the normal state only.
    std::optional<OuterSize> new_size;
    // The controls' places; nothing while the window is too small (the size
    // set above brings a new resize, which lays out) or minimized (the
    // controls keep their places).
    std::optional<MainLayout> layout;
};

// Form_Resize's arithmetic for an outer size of `width` x `height` twips,
// from the controls' current places `current` (titles may be wider than
// designed when the face needs it). A normal window below 7007 x 6400 is set
// to that size; otherwise its height follows its width at 3 : 4, but never
// below 6400, so that widths from 7007 to 8533 settle at a height of 6400
// instead of bouncing between the two rules.
ResizeOutcome form_resize(double width, double height, WindowState state, const MainLayout& current);

// The window's inside as designed, before the first layout.
inline constexpr double kDesignedWidth = 16620;
inline constexpr double kDesignedHeight = 9645;

// The outer size to open at, in twips: the designed width, but no wider than
// the screen's available `available_width` x `available_height` holds at
// 4 : 3; then form_resize's rules (the height 3/4 of the width, at least
// 7007 x 6400), which a screen smaller still does not shrink.
OuterSize start_size(double available_width, double available_height);

// The status line: one line (300 twips) along the bottom of the window's
// inside, `client_width` x `client_height` twips, from the map's left edge to
// 60 twips short of End (or of the right edge), below the statistics column
// and never over End. Without a window frame it lies in the room the layout
// leaves under the chart; where a frame takes that room, `chart_inset` is how
// far the chart reaches below the line's top, to keep the chart's contents
// above it.
inline constexpr double kStatusLineHeight = 300;
struct StatusLinePlace {
    TwipRect rect;
    double chart_inset = 0;
};
StatusLinePlace status_line_place(double client_width, double client_height, const MainLayout& layout);

}  // namespace veldra::viewer
