#pragma once

#include <QString>

class QWidget;

namespace nimbrel {

// Opens a web page in the user's browser. The outcome is not examined: a failing launch is
// silent. Implemented once per platform.
void openInBrowser(const QString& url, QWidget* owner);

} // namespace nimbrel
