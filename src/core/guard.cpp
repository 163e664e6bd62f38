#include "guard.h"

#include <new>

namespace nimbrel {

QString errorReportText(const QString& description, const QString& reportName, int line) {
    return description + QLatin1String("\r\n") + QLatin1String("in Nimbrel2021/08/31.") +
           reportName + QLatin1Char(' ') + QLatin1String("at line ") + QString::number(line) +
           QLatin1String("\r\r") + QLatin1String("Please email screenshot of this message to ") +
           QLatin1String(NIMBREL_SUPPORT_EMAIL);
}

namespace {

FailureReporter*& installedReporter() {
    static FailureReporter* reporter = nullptr;
    return reporter;
}

} // namespace

void setFailureReporter(FailureReporter* reporter) {
    installedReporter() = reporter;
}

bool reportFailure(const QString& description, const QString& reportName, int line,
                   ReportMode mode) {
    FailureReporter* reporter = installedReporter();
    return reporter != nullptr && reporter->report(description, reportName, line, mode);
}

void closeReports(const QString& reportName, int line) {
    if (FailureReporter* reporter = installedReporter())
        reporter->closeReports(reportName, line);
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
        const QString description = describeCurrentException();
        if (m_isNews && !m_isNews(description))
            return;
        reportFailure(description, m_reportName, line, m_mode);
    } catch (...) {
    }
}

} // namespace nimbrel
