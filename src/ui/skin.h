#pragma once

class QString;
class QWidget;

namespace nimbrel {

// The optional skin: when "x/o.cjs" is an ordinary, non-hidden file in the program folder,
// the window is recoloured and the file is applied as a style sheet to the whole application,
// so every window opened later is drawn with it. Throws AppError when the file cannot be used.
void applySkin(QWidget* window);
// The button-face background on the window and its option buttons, check boxes, frames and
// labels; other controls keep their colours.
void applyWindowColours(QWidget* window);

class Form;
class Guard;
// What every small window does first as it loads, as steps 100 to 108 of its load: the colours
// above, the icon, the title, and the hand pointer when its file is there.
void dressWindowAtLoad(Guard& g, Form* window, const QString& title);

} // namespace nimbrel
