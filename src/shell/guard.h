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

// Shows the "Application Error" report and returns once it is dismissed. While a report with the
// same name and line is still on screen, the same failure is not shown again: an unattended
// display would otherwise stack one modal box (and one nested event loop) per failed refresh.
// Returns false when the report was suppressed for that reason.
bool reportFailure(const QString& description, const QString& reportName, int line);

// Describes whatever a step threw, for the report.
QString describeCurrentException();

// The uniform guard of a procedure. Each numbered step runs on its own: a failure is reported
// under the procedure's report name and the step's line, and the procedure goes on with the
// next step. A callee without a guard of its own simply throws, which ends it at once and is
// reported here with the caller's line.
//
//     Guard g("Form1.Form_Load");
//     g(100, [&] { ApplySkin(this); });
//     if (g(102, [&] { return FileExists(path); }).value_or(false)) ...
class Guard {
public:
    explicit Guard(QString reportName) : m_reportName(std::move(reportName)) {}

    const QString& reportName() const { return m_reportName; }

    // Failures stay silent while this answers true: a window being discarded (or the program
    // ending) cancels its own fetch, and that is no failure to show the user.
    void silenceWhen(std::function<bool()> quiet) { m_quiet = std::move(quiet); }

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
    template <class F>
    requires(!std::is_void_v<std::invoke_result_t<F>>) std::optional<std::invoke_result_t<F>>
    operator()(int line, F&& step) noexcept {
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
};

} // namespace nimbrel
