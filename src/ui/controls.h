#pragma once

#include <QLatin1String>
#include <QRect>
#include <QWidget>
#include <QtGlobal>

#include <QSignalBlocker>

#include <initializer_list>
#include <utility>
#include <vector>

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
// The box's check state as it is stored: 0, 1 or 2, as above.
qint16 checkValue(const QCheckBox* box);

// After a change that could not be stored, the controls go back to what the store holds, without
// storing that again, so the window never shows what the next start will not find. A store that
// cannot even be read leaves them as they are. A group of option buttons is kept quiet as one:
// selecting one clears another, which must not store that either.
template <class Refill>
void showStoredValue(std::initializer_list<QObject*> controls, const Refill& refill) noexcept {
    std::vector<QSignalBlocker> quiet;
    quiet.reserve(controls.size());
    for (QObject* control : controls)
        quiet.emplace_back(control);
    try {
        refill();
    } catch (...) {
    }
}
template <class Refill> void showStoredValue(QObject* control, const Refill& refill) noexcept {
    showStoredValue({control}, refill);
}

} // namespace nimbrel
