#include "viewer/saving.h"

#include <QImage>
#include <QSaveFile>

namespace veldra::viewer {
namespace {

[[noreturn]] void fail(const QString& path, const QString& why) {
    throw SaveError((path + ": cannot be written: " + why).toStdString());
}

}  // namespace

void save_bytes(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) fail(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        fail(path, why);
    }
    if (!file.commit()) fail(path, file.errorString());
}

void save_png(const QString& path, const QImage& image) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) fail(path, file.errorString());
    if (!image.save(&file, "PNG")) {
        const QString why = file.error() != QFileDevice::NoError ? file.errorString() : QString("the PNG could not be made");
        file.cancelWriting();
        fail(path, why);
    }
    if (!file.commit()) fail(path, file.errorString());
}

}  // namespace veldra::viewer
