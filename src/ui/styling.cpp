#include "styling.h"

#include "apperror.h"
#include "colours.h"
#include "forms.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QStringDecoder>
#include <QWidget>

namespace nimbrel {

namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
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

QString programFolder() {
    if (!folderOverride().isEmpty())
        return folderOverride();
    return QCoreApplication::applicationDirPath();
}

void setProgramFolderForTesting(const QString& folder) {
    folderOverride() = folder;
}

QString programFile(const QString& relative) {
    return programFolder() + QLatin1Char('/') + relative;
}

bool fileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    // Anything with a modification time is present, a folder included.
    return QFileInfo(path).lastModified().isValid();
}

void applySkin(QWidget* window) {
    const QFileInfo skin(programFile(QStringLiteral("x/o.cjs")));
    // Only an ordinary, visible file counts: a hidden one or a folder of that name does not.
    if (!skin.exists() || !skin.isFile() || skin.isHidden())
        return;
    applyWindowColours(window);

    QFile file(skin.filePath());
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(file.errorString());
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString sheet = decoder(bytes);
    if (decoder.hasError() || bytes.contains('\0'))
        throw AppError(QStringLiteral("The skin file is not valid"));
    // An application-wide style sheet covers this window and every window opened later.
    qApp->setStyleSheet(sheet);
}

void applyWindowColours(QWidget* window) {
    const QColor face = QApplication::palette().color(QPalette::Button);
    fillBackground(window, face);
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child))
            fillBackground(child, face);
    }
}

QString productName() {
    return QStringLiteral("Nimbrel");
}

void setApplicationTitle() {
    QString title = productName();
    // The title drops the name's last word, then keeps dropping words while it is longer
    // than 40 characters. A one-word name such as ours keeps the whole name.
    qsizetype cut = title.lastIndexOf(QLatin1Char(' '));
    if (cut >= 0)
        title.truncate(cut);
    while (title.size() > 40) {
        cut = title.lastIndexOf(QLatin1Char(' '));
        title.truncate(cut >= 0 ? cut : 40);
    }
    // Qt appends an application display name, once one is set, to every window title on every
    // platform ("Key Options — Nimbrel"); the program's titles are its own texts. Without one,
    // Qt's display name is the application's name, so the title is kept there: the name the
    // platform knows the program by, and what untitled message boxes show.
    QCoreApplication::setApplicationName(title);
}

QString applicationTitle() {
    return QGuiApplication::applicationDisplayName();
}

QIcon applicationIcon() {
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {32, 48, 128, 256})
            i.addFile(QStringLiteral(":/icons/nimbrel-%1.png").arg(size), QSize(size, size));
        return i;
    }();
    return icon;
}

bool handPointerPresent() {
    return fileExists(programFile(QStringLiteral("HAND-M.CUR")));
}

void loadHandPointer(Form* window) {
    const QString path = programFile(QStringLiteral("HAND-M.CUR"));
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        throw AppError(QStringLiteral("Invalid picture"));
    const QPoint hot = cursorHotSpot(path);
    window->setMouseIcon(QCursor(QPixmap::fromImage(image), hot.x(), hot.y()));
}

} // namespace nimbrel
