#include "failurereports.h"

#include "forms.h"
#include "messages.h"

#include <QList>
#include <QPointer>
#include <algorithm>
#include <utility>

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

struct WaitingReport {
    QString description;
    QString reportName;
    int line = 0;
};

struct Waiting {
    int holders = 0;
    QList<WaitingReport> reports;
};

Waiting& waiting() {
    static Waiting kept;
    return kept;
}

// A report that waits counts as shown: it will be.
bool isOnScreen(const QString& reportName, int line) {
    auto& shown = reportsOnScreen();
    shown.removeIf([](const OnScreenReport& r) { return !r.modal && r.box.isNull(); });
    const auto same = [&](const auto& r) { return r.reportName == reportName && r.line == line; };
    const QList<WaitingReport>& held = waiting().reports;
    return std::any_of(shown.cbegin(), shown.cend(), same) ||
           std::any_of(held.cbegin(), held.cend(), same);
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

MessageBoxReporter& messageBoxReporter() {
    static MessageBoxReporter reporter;
    return reporter;
}

} // namespace

bool MessageBoxReporter::report(const QString& description, const QString& reportName, int line,
                                ReportMode mode) {
    if (isOnScreen(reportName, line))
        return false;
    if (waiting().holders > 0) {
        waiting().reports.append(WaitingReport{description, reportName, line});
        return true;
    }
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
    waiting().reports.removeIf(
        [&](const WaitingReport& r) { return r.reportName == reportName && r.line == line; });
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
    setFailureReporter(&messageBoxReporter());
}

ReportsAfterwards::ReportsAfterwards() {
    ++waiting().holders;
}

ReportsAfterwards::~ReportsAfterwards() {
    if (--waiting().holders > 0)
        return;
    const QList<WaitingReport> reports = std::exchange(waiting().reports, {});
    // A program on its way out has nobody left to tell.
    if (Forms::ending())
        return;
    try {
        for (const WaitingReport& r : reports)
            messageBoxReporter().report(r.description, r.reportName, r.line, ReportMode::Modeless);
    } catch (...) {
    }
}

} // namespace nimbrel
