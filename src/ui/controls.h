#pragma once

#include <QLatin1String>
#include <QRect>
#include <QWidget>
#include <QtGlobal>

#include <QSignalBlocker>

#include <utility>

class QCheckBox;

namespace nimbrel {

// The windows are laid out in twips: 1440 to the inch, 15 to a logical pixel at 96 DPI.
constexpr int px(int twips) {
    return (twips + 7) / 15;
}
constexpr QRect twips(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

// A control of a window: made with what its kind takes before the parent (a caption, mostly),
// given its object name and put at its place, given with twips(). A skin's style sheet may
// select controls by these names, so a skin written for one release fits the next.
template <class Control, class... Arguments>
Control* addControl(QWidget* parent, const char* name, QRect place, Arguments&&... arguments) {
    auto* control = new Control(std::forward<Arguments>(arguments)..., parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(place);
    return control;
}

// A stored check state put into a box: 0 cleared, 1 ticked, 2 greyed. A box takes nothing
// else; any other value throws AppError ("Invalid property value") and leaves the box as it was.
void setCheckValue(QCheckBox* box, qint16 value);

// After a change that could not be stored, the control goes back to what the store holds, without
// storing that again, so the window never shows what the next start will not find. A store that
// cannot even be read leaves the control as it is.
template <class Refill> void showStoredValue(QObject* control, const Refill& refill) noexcept {
    const QSignalBlocker quiet(control);
    try {
        refill();
    } catch (...) {
    }
}

} // namespace nimbrel
