#pragma once

#include "forms.h"
#include "messages.h"
#include "settingswindow.h"

#include <QString>
#include <QTest>

namespace nimbrel::test {

// The settings window as the program creates it: through the registry, load steps included.
inline SettingsWindow* loadSettingsWindow() {
    Forms::registerFactory(FormId::Settings, [] { return new SettingsWindow; });
    return Forms::get<SettingsWindow>(FormId::Settings);
}

template <class T> T* control(const QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("control %s not found", name);
    return found;
}

// Another window the settings window hands over to. It counts its own close handling, which
// must not run when the program ends.
class StandInWindow : public Form {
public:
    explicit StandInWindow(FormId id) : Form(id) {}
    bool closeRequested(CloseReason) override {
        ++queryUnloads;
        return true;
    }
    void onUnload() override { ++unloads; }
    int queryUnloads = 0;
    int unloads = 0;
};

inline QString reportLine(const QString& reportName, int line) {
    return QStringLiteral("in Nimbrel2021/08/31.%1 at line %2\r\r").arg(reportName).arg(line);
}

} // namespace nimbrel::test
