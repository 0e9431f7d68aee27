// Saving an animation as a video through the ffmpeg program: the kind of
// video a file name asks for, the name suggested for a span of months, and
// ffmpeg's command line, which reads raw frames on its standard input.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/core/map_image.h"

namespace veldra::viewer {

enum class VideoKind { mp4, gif };

// By the name's ending, in any case: ".mp4" (H.264) or ".gif" (animated).
std::optional<VideoKind> video_kind(std::string_view path);

// «<root>_<from year>_<from month>-<to year>_<to month>.mp4», months in two digits.
std::string video_file_name(const std::string& root, const FrameSpan& span, VideoKind kind);

// Frame sides rounded up to even numbers of pixels: H.264 in 4:2:0 needs them.
int even_side(int pixels);

struct VideoRequest {
    std::string output;  // the file ffmpeg writes (its kind is given, not guessed from the name)
    VideoKind kind = VideoKind::mp4;
    int width = 0;       // of every frame, in pixels
    int height = 0;
    int frames_per_second = 2;  // the pace of the animation of the main window
};

// ffmpeg's arguments (without the program): frames of width x height
// pixels, 4 bytes each in the order blue, green, red, alpha, one after the
// other on standard input; H.264 in an MP4 that plays in browsers, or a GIF
// with a palette made for the whole animation that loops forever.
std::vector<std::string> ffmpeg_arguments(const VideoRequest& request);

// The bytes of one raw frame.
inline std::size_t frame_bytes(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

}  // namespace veldra::viewer
