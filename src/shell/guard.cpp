#include "guard.h"

#include "messages.h"

#include <QList>
#include <QPair>
#include <new>

namespace nimbrel {

namespace {

// Reports that are on screen right now, innermost last. A modal report runs a nested event loop,
// so timer ticks and clicks keep arriving while it waits for OK.
QList<QPair<QString, int>>& reportsOnScreen() {
    static QList<QPair<QString, int>> shown;
    return shown;
}

class OnScreen {
public:
    OnScreen(const QString& reportName, int line) : m_entry(reportName, line) {
        reportsOnScreen().append(m_entry);
    }
    ~OnScreen() { reportsOnScreen().removeOne(m_entry); }
    OnScreen(const OnScreen&) = delete;
    OnScreen& operator=(const OnScreen&) = delete;

private:
    QPair<QString, int> m_entry;
};

} // namespace

QString errorReportText(const QString& description, const QString& reportName, int line) {
    return description + QLatin1String("\r\n") + QLatin1String("in Nimbrel2021/08/31.") +
           reportName + QLatin1Char(' ') + QLatin1String("at line ") + QString::number(line) +
           QLatin1String("\r\r") + QLatin1String("Please email screenshot of this message to ") +
           QLatin1String(NIMBREL_SUPPORT_EMAIL);
}

bool reportFailure(const QString& description, const QString& reportName, int line) {
    if (reportsOnScreen().contains(qMakePair(reportName, line)))
        return false;
    const OnScreen onScreen(reportName, line);
    showMessage(Message{QStringLiteral("Application Error"),
                        errorReportText(description, reportName, line), MessageIcon::Exclamation});
    return true;
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
        reportFailure(describeCurrentException(), m_reportName, line);
    } catch (...) {
    }
}

} // namespace nimbrel
