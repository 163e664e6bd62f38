#include "guard.h"

#include "messages.h"

#include <QList>
#include <QPointer>
#include <algorithm>
#include <new>

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

} // namespace

QString errorReportText(const QString& description, const QString& reportName, int line) {
    return description + QLatin1String("\r\n") + QLatin1String("in Nimbrel2021/08/31.") +
           reportName + QLatin1Char(' ') + QLatin1String("at line ") + QString::number(line) +
           QLatin1String("\r\r") + QLatin1String("Please email screenshot of this message to ") +
           QLatin1String(NIMBREL_SUPPORT_EMAIL);
}

bool reportFailure(const QString& description, const QString& reportName, int line,
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

void closeReports(const QString& reportName, int line) {
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

QString describeCurrentException() {
    const std::exception_ptr current = std::current_exception();
    if (!current)
        return QStringLiteral("Unexpected error");
    try {
        std::rethrow_exception(current);
    } catch (const AppError& error) {
        return error.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& error) {
        const QString text = QString::fromUtf8(error.what()).trimmed();
        return text.isEmpty() ? QStringLiteral("Unexpected error") : text;
    } catch (...) {
        return QStringLiteral("Unexpected error");
    }
}

void Guard::fail(int line) noexcept {
    // The guard is the last stop: whatever goes wrong while reporting must not escape into the
    // event loop, so a report that cannot be shown is dropped.
    try {
        reportFailure(describeCurrentException(), m_reportName, line, m_mode);
    } catch (...) {
    }
}

} // namespace nimbrel
