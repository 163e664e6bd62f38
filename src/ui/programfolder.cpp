#include "programfolder.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace nimbrel {

namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
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

} // namespace nimbrel
