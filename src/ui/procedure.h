#pragma once

#include "forms.h"
#include "guard.h"

#include <QPointer>
#include <QString>
#include <utility>

namespace nimbrel {

// A guarded procedure of a window that lets events run (a fetch, a restyle, a wait for a reply,
// a picker). Anything may happen while it waits: its window closed, the program ended. It holds
// its window open until it returns, tells after each wait whether it should stop, and keeps the
// failures of a procedure that was cut short off the screen.
//
//     Procedure p(this, "Form2.ReLoadStyle");
//     p(100, [&] { fetch(); });
//     if (p.gone())
//         return;
class Procedure {
public:
    // What ends the procedure early. Most belong to their window; a command that hands over to
    // another window (the start command, the key test) carries on without its own and stops
    // only with the program.
    enum class StopsWhen { WindowGoes, ProgramEnds };

    Procedure(Form* window, QString reportName, StopsWhen stops = StopsWhen::WindowGoes);
    Procedure(const Procedure&) = delete;
    Procedure& operator=(const Procedure&) = delete;

    // Runs one numbered step, as the guard does.
    template <class F> decltype(auto) operator()(int line, F&& step) noexcept {
        return m_guard(line, std::forward<F>(step));
    }

    // True once the procedure should stop: from here on it touches nothing of its window.
    bool gone() const;
    // True once the window has gone away or is going, whatever the procedure stops on.
    bool windowGone() const;
    // The window while it still exists (it may be on its way out); null once it was deleted.
    Form* window() const { return m_window.data(); }

    void setReportMode(ReportMode mode) { m_guard.setReportMode(mode); }
    const QString& reportName() const { return m_guard.reportName(); }
    // For callees that run numbered steps of this procedure.
    Guard& guard() { return m_guard; }

private:
    Form::HandlerScope m_scope;
    QPointer<Form> m_window;
    StopsWhen m_stops;
    Guard m_guard;
};

} // namespace nimbrel
