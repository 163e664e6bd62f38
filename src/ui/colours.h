#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

namespace nimbrel {

// A stored colour: the decimal text of 0x00BBGGRR (red in the low byte, "255" is red), or with
// the high bit set a system colour by its index (15 the button face, 18 the button text), taken
// from the application's palette so that it follows the user's scheme. Anything else is no colour
// and throws AppError ("Invalid property value").
QColor colourFromNumber(qint32 number);
// The 0x00BBGGRR number of a colour as the colour picker gives it.
qint32 numberFromColour(const QColor& colour);

// One colour role of the widget's palette changed, the rest kept.
void setRole(QWidget* widget, QPalette::ColorRole role, const QColor& colour);
// The widget's whole background in one colour: its window colour and whatever role its kind
// fills its background with (check boxes and option buttons use the button colour).
void fillBackground(QWidget* widget, const QColor& colour);

} // namespace nimbrel
