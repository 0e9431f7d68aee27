#include "modelfiles/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace veldra {

std::optional<std::string> read_file_if_present(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return std::nullopt;
    std::string content;
    char buf[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f.get());
        content.append(buf, n);
        if (n < sizeof buf) break;
    }
    if (std::ferror(f.get()))
        throw ModelFileError(path + ": read failed: " + std::strerror(errno));
    return content;
}

}  // namespace veldra
