#pragma once

#include "displayrequest.h"
#include "settingsschema.h"
#include "weathertext.h"

#include <QColor>

class QWidget;

namespace nimbrel {

class Guard;

// The stored font on a widget of the display, each property as one step of `line`: a bad
// stored value costs that property only.
void applyStoredFont(Guard& g, int line, QWidget* target);

// The request as it stands: the place and unit the start command handed over, the detail boxes
// of the settings window. Reading the boxes may load that window, which lets events run; should
// it offer none, every line is left out.
WeatherQuery queryFor(const DisplayRequest& request);

// The stored key, as the display reads it.
QString storedKey();
// A stored colour, as `user` reads it.
QColor storedColour(settings::Key key, settings::User user);

// What a fetch that got no reply builds: the lines without their figures, or the key hint. The
// key is read as step 108 of `g`.
QStringList linesWithoutReply(Guard& g, const WeatherQuery& query);

} // namespace nimbrel
