// What veldra_serve serves besides the runs: its page, compiled in, and
// Leaflet from Debian's package, read once at start from
// their fixed places.
#pragma once

#include <map>
#include <string>

#include "serve/service.h"

namespace veldra::server {

const std::string& page_html();
// "leaflet/leaflet.js" and the like; a file that is missing is left out
//.
std::map<std::string, serve::StaticFile> static_files();

}  // namespace veldra::server
