#include "failurereports.h"

#include "messages.h"

#include <QList>
#include <QPointer>
#include <algorithm>

namespace nimbrel {

namespace {

// Reports that are on screen right now. A modal report runs a nested event loop, so timer
// ticks and clicks keep arriving while it waits for OK; a modeless one is up for as long as its
// box lives.
struct OnScreenReport {
    QString reportName;
    int line = 0;
    bool modal = false;
    QPointer<QObject> box;
};

QList<OnScreenReport>& reportsOnScreen() {
    static QList<OnScreenReport> shown;
    return shown;
}

bool isOnScreen(const QString& reportName, int line) {
    auto& shown = reportsOnScreen();
    shown.removeIf([](const OnScreenReport& r) { return !r.modal && r.box.isNull(); });
    return std::any_of(shown.cbegin(), shown.cend(), [&](const OnScreenReport& r) {
        return r.reportName == reportName && r.line == line;
    });
}

class ModalOnScreen {
public:
    ModalOnScreen(const QString& reportName, int line) : m_reportName(reportName), m_line(line) {
        reportsOnScreen().append(OnScreenReport{reportName, line, true, {}});
    }
    ~ModalOnScreen() {
        auto& shown = reportsOnScreen();
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (shown[i].modal && shown[i].reportName == m_reportName && shown[i].line == m_line) {
                shown.removeAt(i);
                return;
            }
        }
    }
    ModalOnScreen(const ModalOnScreen&) = delete;
    ModalOnScreen& operator=(const ModalOnScreen&) = delete;

private:
    QString m_reportName;
    int m_line;
};

class MessageBoxReporter final : public FailureReporter {
public:
    bool report(const QString& description, const QString& reportName, int line,
                ReportMode mode) override;
    void closeReports(const QString& reportName, int line) override;
};

} // namespace

bool MessageBoxReporter::report(const QString& description, const QString& reportName, int line,
                                ReportMode mode) {
    if (isOnScreen(reportName, line))
        return false;
    const Message report{QStringLiteral("Application Error"),
                         errorReportText(description, reportName, line), MessageIcon::Exclamation};
    if (mode == ReportMode::Modeless) {
        QObject* box = showModelessMessage(report);
        if (box != nullptr)
            reportsOnScreen().append(OnScreenReport{reportName, line, false, box});
        return true;
    }
    const ModalOnScreen onScreen(reportName, line);
    showMessage(report);
    return true;
}

void MessageBoxReporter::closeReports(const QString& reportName, int line) {
    auto& shown = reportsOnScreen();
    for (qsizetype i = shown.size() - 1; i >= 0; --i) {
        const OnScreenReport& r = shown[i];
        if (r.modal || r.reportName != reportName || r.line != line)
            continue;
        QObject* box = r.box.data();
        shown.removeAt(i);
        closeModelessMessage(box);
    }
}

void installFailureReports() {
    static MessageBoxReporter reporter;
    setFailureReporter(&reporter);
}

} // namespace nimbrel
