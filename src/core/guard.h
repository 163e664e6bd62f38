#pragma once

#include "apperror.h"

#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace nimbrel {

// The report text for a failed step, exactly as the user sees it.
QString errorReportText(const QString& description, const QString& reportName, int line);

// Modal reports hold the procedure until OK is pressed, as a person who just clicked expects.
// Modeless ones are for the display's own timers: an unattended display must go on refreshing
// while the report waits for somebody to come by.
enum class ReportMode { Modal, Modeless };

// Where the guard's reports go. The core only words them; the user interface installs the
// reporter that shows them (nothing is shown until one is installed).
class FailureReporter {
public:
    virtual ~FailureReporter() = default;
    virtual bool report(const QString& description, const QString& reportName, int line,
                        ReportMode mode) = 0;
    virtual void closeReports(const QString& reportName, int line) = 0;
};
void setFailureReporter(FailureReporter* reporter);

// Shows the "Application Error" report; a modal one returns once it is dismissed, a modeless one
// at once. While a report with the same name and line is still on screen, the same failure is
// not shown again, so a display with the network down does not stack boxes. Returns false when
// the report was suppressed for that reason.
bool reportFailure(const QString& description, const QString& reportName, int line,
                   ReportMode mode = ReportMode::Modal);

// Takes off the screen any modeless report of that name and line that is still up: a later
// success has made it stale.
void closeReports(const QString& reportName, int line);

// Describes whatever a step threw, for the report.
QString describeCurrentException();

// A step that hands back a value; the guard passes it on, or nothing when the step failed.
template <class F>
concept ValueStep = !std::is_void_v<std::invoke_result_t<F>>;

// The uniform guard of a procedure. Each numbered step runs on its own: a failure is reported
// under the procedure's report name and the step's line, and the procedure goes on with the
// next step. A callee without a guard of its own simply throws, which ends it at once and is
// reported here with the caller's line.
//
//     Guard g("Form1.Form_Load");
//     g(100, [&] { applySkin(this); });
//     if (g(102, [&] { return fileExists(path); }).value_or(false)) ...
class Guard {
public:
    explicit Guard(QString reportName) : m_reportName(std::move(reportName)) {}

    const QString& reportName() const { return m_reportName; }

    // Failures stay silent while this answers true: a window being discarded (or the program
    // ending) cancels its own fetch, and that is no failure to show the user.
    void silenceWhen(std::function<bool()> quiet) { m_quiet = std::move(quiet); }
    void setReportMode(ReportMode mode) { m_mode = mode; }
    // Shows a failure only when this answers true for its description: a handler that runs on
    // every keystroke reports a lasting failure once, not once per key.
    void reportOnlyWhen(std::function<bool(const QString&)> isNews) {
        m_isNews = std::move(isNews);
    }

    // Runs one step; returns true when it completed.
    template <class F>
    requires std::is_void_v<std::invoke_result_t<F>>
    bool operator()(int line, F&& step) noexcept {
        try {
            std::forward<F>(step)();
            return true;
        } catch (...) {
            if (!(m_quiet && m_quiet()))
                fail(line);
            return false;
        }
    }

    // Runs one step that produces a value; an empty result means the step failed.
    template <ValueStep F>
    std::optional<std::invoke_result_t<F>> operator()(int line, F&& step) noexcept {
        try {
            return std::forward<F>(step)();
        } catch (...) {
            if (!(m_quiet && m_quiet()))
                fail(line);
            return std::nullopt;
        }
    }

private:
    void fail(int line) noexcept;
    QString m_reportName;
    std::function<bool()> m_quiet;
    std::function<bool(const QString&)> m_isNews;
    ReportMode m_mode = ReportMode::Modal;
};

} // namespace nimbrel
