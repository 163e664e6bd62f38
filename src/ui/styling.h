#pragma once

#include <QIcon>
#include <QString>

class QWidget;

namespace nimbrel {

class Form;

// The folder of the executable, without a trailing separator; tests may point it elsewhere.
QString programFolder();
void setProgramFolderForTesting(const QString& folder);
// programFolder() followed by the relative name ("x/o.cjs", "HAND-M.CUR").
QString programFile(const QString& relative);

// True when the path has a modification time (a folder counts); never fails or reports.
bool fileExists(const QString& path);

// The optional skin: when "x/o.cjs" is an ordinary, non-hidden file in the program folder,
// the window is recoloured and the file is applied as a style sheet to the whole application,
// so every window opened later is drawn with it. Throws AppError when the file cannot be used.
void applySkin(QWidget* window);
// The button-face background on the window and its option buttons, check boxes, frames and
// labels; other controls keep their colours.
void applyWindowColours(QWidget* window);

// The product name and the application title derived from it.
QString productName();
void setApplicationTitle();
QString applicationTitle();

// The application icon (32, 48, 128 and 256 pixels).
QIcon applicationIcon();

// Loads "HAND-M.CUR" from the program folder as the window's custom pointer image when the
// file is present; throws AppError when it is present but cannot be loaded.
bool handPointerPresent();
void loadHandPointer(Form* window);

} // namespace nimbrel
