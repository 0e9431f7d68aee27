#include "viewer/core/video.h"

#include <cctype>

namespace veldra::viewer {
namespace {

bool ends_with_nocase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) return false;
    for (std::size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i]) return false;
    return true;
}

std::string two_digits(int v) {
    std::string s = std::to_string(v);
    if (s.size() < 2) s.insert(s.begin(), 2 - s.size(), '0');
    return s;
}

}  // namespace

std::optional<VideoKind> video_kind(std::string_view path) {
    if (ends_with_nocase(path, ".mp4")) return VideoKind::mp4;
    if (ends_with_nocase(path, ".gif")) return VideoKind::gif;
    return std::nullopt;
}

std::string video_file_name(const std::string& root, const FrameSpan& span, VideoKind kind) {
    return root + "_" + std::to_string(span.from_year) + "_" + two_digits(span.from_month) + "-" +
           std::to_string(span.to_year) + "_" + two_digits(span.to_month) + (kind == VideoKind::gif ? ".gif" : ".mp4");
}

int even_side(int pixels) { return pixels + (pixels & 1); }

std::vector<std::string> ffmpeg_arguments(const VideoRequest& r) {
    std::vector<std::string> a = {"-hide_banner", "-loglevel", "error", "-y",
                                  "-f", "rawvideo", "-pix_fmt", "bgra",
                                  "-s", std::to_string(r.width) + "x" + std::to_string(r.height),
                                  "-framerate", std::to_string(r.frames_per_second), "-i", "-"};
    if (r.kind == VideoKind::mp4) {
        a.insert(a.end(), {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "18", "-movflags", "+faststart",
                           "-f", "mp4"});
    } else {
        a.insert(a.end(), {"-filter_complex", "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse",
                           "-loop", "0", "-f", "gif"});
    }
    a.push_back(r.output);
    return a;
}

}  // namespace veldra::viewer
