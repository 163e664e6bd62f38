#include "programidentity.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace nimbrel {

QString productName() {
    return QStringLiteral("Nimbrel");
}

void setApplicationTitle() {
    // The title is the product name as it stands: one short word, nothing to shorten.
    //
    // Qt appends an application display name, once one is set, to every window title on every
    // platform ("Key Options — Nimbrel"); the program's titles are its own texts. Without one,
    // Qt's display name is the application's name, so the title is kept there: the name the
    // platform knows the program by, and what untitled message boxes show.
    QCoreApplication::setApplicationName(productName());
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

} // namespace nimbrel
