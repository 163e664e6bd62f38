#pragma once

#include <QIcon>
#include <QString>

namespace nimbrel {

// The product name, the caption of the settings and colour windows.
QString productName();
// The application title: the title of every message box that names none of its own, and the
// name the platform knows the program by.
void setApplicationTitle();
QString applicationTitle();

// The application icon (32, 48, 128 and 256 pixels).
QIcon applicationIcon();

} // namespace nimbrel
