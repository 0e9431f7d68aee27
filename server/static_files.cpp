#include "server/static_files.h"

#include <fstream>
#include <sstream>

namespace veldra::server {

extern const char* const kPageHtml;

const std::string& page_html() {
    static const std::string page(kPageHtml);
    return page;
}

std::map<std::string, serve::StaticFile> static_files() {
    struct Entry {
        const char* name;
        const char* path;
        const char* type;
    };
    static const Entry entries[] = {
        {"leaflet/leaflet.js", VELDRA_LEAFLET_DIR "/leaflet.js", "text/javascript"},
        {"leaflet/leaflet.css", VELDRA_LEAFLET_DIR "/leaflet.css", "text/css"},
        {"leaflet/images/layers.png", VELDRA_LEAFLET_DIR "/images/layers.png", "image/png"},
        {"leaflet/images/layers-2x.png", VELDRA_LEAFLET_DIR "/images/layers-2x.png", "image/png"},
        {"leaflet/images/marker-icon.png", VELDRA_LEAFLET_DIR "/images/marker-icon.png", "image/png"},
        {"leaflet/images/marker-icon-2x.png", VELDRA_LEAFLET_DIR "/images/marker-icon-2x.png", "image/png"},
        {"leaflet/images/marker-shadow.png", VELDRA_LEAFLET_DIR "/images/marker-shadow.png", "image/png"},
    };
    std::map<std::string, serve::StaticFile> files;
    for (const Entry& e : entries) {
        std::ifstream in(e.path, std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        files[e.name] = {e.type, text.str()};
    }
    return files;
}

}  // namespace veldra::server
