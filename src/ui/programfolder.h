#pragma once

#include <QString>

namespace nimbrel {

// The folder of the executable, without a trailing separator; tests may point it elsewhere.
QString programFolder();
void setProgramFolderForTesting(const QString& folder);
// programFolder() followed by the relative name ("x/o.cjs", "HAND-M.CUR").
QString programFile(const QString& relative);

// True when the path has a modification time (a folder counts); never fails or reports.
bool fileExists(const QString& path);

} // namespace nimbrel
