#include "procedure.h"

namespace nimbrel {

Procedure::Procedure(Form* window, QString reportName, StopsWhen stops)
    : m_scope(window), m_window(window), m_stops(stops), m_guard(std::move(reportName)) {
    // A procedure cut short cancels its own wait, and a window being discarded (or the program
    // ending) is no failure to show the user.
    m_guard.silenceWhen([this] { return gone(); });
}

bool Procedure::windowGone() const {
    return !m_window || m_window->isUnloading();
}

bool Procedure::gone() const {
    if (Forms::ending())
        return true;
    return m_stops == StopsWhen::WindowGoes && windowGone();
}

} // namespace nimbrel
