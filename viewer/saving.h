// Files the viewer writes on the user's request (map and chart pictures,
// animation frames, the chart's series): each is written as a whole through
// a file of a unique name beside it that takes its place only when complete,
// so a failure never leaves a partial file and keeps the old one.
#pragma once

#include <QByteArray>
#include <QString>

#include "modelfiles/file_io.h"

class QImage;

namespace veldra::viewer {

// A file that could not be written; the message names it and says why.
class SaveError : public files::Error {
public:
    using files::Error::Error;
};

// Writes `bytes` as the whole content of `path` through a ReplacingFile of
// `files`: an old file of the name stays until the new one is complete.
// Raises SaveError.
void save_bytes(const QString& path, const QByteArray& bytes, files::FileAccess& files = files::system_files());

// Writes `image` to `path` as PNG, as save_bytes does. Raises SaveError.
void save_png(const QString& path, const QImage& image, files::FileAccess& files = files::system_files());

}  // namespace veldra::viewer
