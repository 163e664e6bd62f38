#pragma once

#include "form1.h"
#include "forms.h"
#include "messages.h"

#include <QString>
#include <QTest>

namespace nimbrel::test {

// The settings window as the program creates it: through the registry, load steps included.
inline Form1* loadForm1() {
    Forms::registerFactory(FormId::Form1, [] { return new Form1; });
    return Forms::get<Form1>(FormId::Form1);
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
    bool Form_QueryUnload(CloseReason) override {
        ++queryUnloads;
        return true;
    }
    void Form_Unload() override { ++unloads; }
    int queryUnloads = 0;
    int unloads = 0;
};

inline QString reportLine(const QString& reportName, int line) {
    return QStringLiteral("in Nimbrel2021/08/31.%1 at line %2\r\r").arg(reportName).arg(line);
}

} // namespace nimbrel::test
