#include "handpointer.h"

#include "apperror.h"
#include "forms.h"
#include "programfolder.h"

#include <QCursor>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

namespace nimbrel {

namespace {

QString handPointerFile() {
    return programFile(QStringLiteral("HAND-M.CUR"));
}

// A .cur file keeps the hot spot where an .ico keeps its colour planes and depth; Qt's reader
// gives the image but not the hot spot, so it is read from the first directory entry.
QPoint cursorHotSpot(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(6 + 16);
    if (head.size() < 22)
        return {};
    auto u16 = [&](int at) { return int(quint8(head[at])) | (int(quint8(head[at + 1])) << 8); };
    if (u16(0) != 0 || u16(2) != 2)
        return {};
    return {u16(6 + 4), u16(6 + 6)};
}

} // namespace

bool handPointerPresent() {
    return fileExists(handPointerFile());
}

void loadHandPointer(Form* window) {
    const QString path = handPointerFile();
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        throw AppError(QStringLiteral("Invalid picture"));
    const QPoint hot = cursorHotSpot(path);
    window->setMouseIcon(QCursor(QPixmap::fromImage(image), hot.x(), hot.y()));
}

} // namespace nimbrel
