#include "open_url_win.h"
#include "open_url.h"

#include <QByteArray>
#include <QWidget>

#include <shellapi.h>

#include <utility>

namespace nimbrel {
namespace {

ShellExecuteCall& shellExecuteOverride() {
    static ShellExecuteCall call;
    return call;
}

} // namespace

void setShellExecuteForTesting(ShellExecuteCall call) {
    shellExecuteOverride() = std::move(call);
}

void openInBrowser(const QString& url, QWidget* owner) {
    HWND window = owner ? reinterpret_cast<HWND>(owner->winId()) : nullptr;
    // Quoted, so the shell takes the whole address as one document even if it holds blanks.
    const QByteArray document = (QLatin1Char('"') + url + QLatin1Char('"')).toLocal8Bit();
    // No verb: the default action, which for a web address is the user's browser. Its outcome
    // is deliberately not looked at.
    if (const ShellExecuteCall& call = shellExecuteOverride())
        call(window, nullptr, document.constData(), nullptr, "C:\\", SW_SHOW);
    else
        ShellExecuteA(window, nullptr, document.constData(), nullptr, "C:\\", SW_SHOW);
}

} // namespace nimbrel
