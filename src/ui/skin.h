#pragma once

class QWidget;

namespace nimbrel {

// The optional skin: when "x/o.cjs" is an ordinary, non-hidden file in the program folder,
// the window is recoloured and the file is applied as a style sheet to the whole application,
// so every window opened later is drawn with it. Throws AppError when the file cannot be used.
void applySkin(QWidget* window);
// The button-face background on the window and its option buttons, check boxes, frames and
// labels; other controls keep their colours.
void applyWindowColours(QWidget* window);

} // namespace nimbrel
