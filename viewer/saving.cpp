#include "viewer/saving.h"

#include <string_view>

#include <QBuffer>
#include <QFile>
#include <QImage>

namespace veldra::viewer {
namespace {

[[noreturn]] void fail(const QString& path, const QString& why) {
    throw SaveError((path + ": cannot be written: " + why).toStdString());
}

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string_view view(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

void save_bytes(const QString& path, const QByteArray& bytes, files::FileAccess& files) {
    try {
        replace_file(native(path), view(bytes), files);
    } catch (const files::FileWriteError& e) {
        fail(path, QString::fromStdString(e.reason()));
    }
}

void save_png(const QString& path, const QImage& image, files::FileAccess& files) {
    try {
        // The place is taken first, so that a folder that cannot be written
        // is named before the picture is encoded.
        files::ReplacingFile file(native(path), files);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) fail(path, "the PNG could not be made");
        file.write(view(bytes));
        file.commit();
    } catch (const files::FileWriteError& e) {
        fail(path, QString::fromStdString(e.reason()));
    }
}

}  // namespace veldra::viewer
