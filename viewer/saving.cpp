#include "viewer/saving.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

namespace veldra::viewer {
namespace {

[[noreturn]] void fail(const QString& path, const QString& why) {
    throw SaveError((path + ": cannot be written: " + why).toStdString());
}

}  // namespace

void save_bytes(const QString& path, const QByteArray& bytes, FileAccess& files) {
    try {
        replace_file(QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), bytes.size()), files);
    } catch (const FileWriteError& e) {
        fail(path, QString::fromStdString(e.reason()));
    }
}

void save_png(const QString& path, const QImage& image, FileAccess& files) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) fail(path, "the PNG could not be made");
    save_bytes(path, png, files);
}

}  // namespace veldra::viewer
