#include "skin.h"

#include "apperror.h"
#include "colours.h"
#include "forms.h"
#include "guard.h"
#include "handpointer.h"
#include "programfolder.h"
#include "programidentity.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStringDecoder>
#include <QWidget>

namespace nimbrel {

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

void dressWindowAtLoad(Guard& g, Form* window, const QString& title) {
    g(100, [window] { applyWindowColours(window); });
    g(102, [window] { window->setWindowIcon(applicationIcon()); });
    g(104, [window, &title] { window->setWindowTitle(title); });
    if (g(106, [] { return handPointerPresent(); }).value_or(false))
        g(108, [window] { loadHandPointer(window); });
}

} // namespace nimbrel
