#include "open_url.h"

#include <QDesktopServices>
#include <QUrl>

namespace nimbrel {

void openInBrowser(const QString& url, QWidget* owner) {
    // The desktop's URL handler needs no owner window.
    Q_UNUSED(owner);
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace nimbrel
