#include "open_url.h"

#include <QByteArray>
#include <QWidget>

#include <windows.h>

#include <shellapi.h>

namespace nimbrel {

void openInBrowser(const QString& url, QWidget* owner) {
    HWND window = owner ? reinterpret_cast<HWND>(owner->winId()) : nullptr;
    // Quoted, so the shell takes the whole address as one document even if it holds blanks.
    const QByteArray document = (QLatin1Char('"') + url + QLatin1Char('"')).toLocal8Bit();
    // No verb: the default action, which for a web address is the user's browser. Its outcome
    // is deliberately not looked at.
    ShellExecuteA(window, nullptr, document.constData(), nullptr, "C:\\", SW_SHOW);
}

} // namespace nimbrel
