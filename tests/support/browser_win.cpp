// On Windows the browser is opened through the shell. Test programs hand the address to Qt's
// URL handlers instead, where the tests catch it as they do on Linux, and nothing is started.
#include "open_url_win.h"

#include <QByteArray>
#include <QDesktopServices>
#include <QUrl>

namespace {

const bool catchBrowserOpening = [] {
    nimbrel::setShellExecuteForTesting([](HWND, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, INT) {
        QByteArray address(file);
        if (address.size() >= 2 && address.startsWith('"') && address.endsWith('"'))
            address = address.mid(1, address.size() - 2);
        QDesktopServices::openUrl(QUrl(QString::fromLocal8Bit(address)));
    });
    return true;
}();

} // namespace
