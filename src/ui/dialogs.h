#pragma once

#include <QColor>
#include <QString>

class QWidget;

namespace nimbrel {

// What the font command hands to the font dialog and reads back, after OK and Cancel alike.
struct FontChoice {
    QString name;
    bool bold = false;
    bool italic = false;
    double size = 0;
    bool strikeout = false; // passed through untouched: the dialog offers no effects
    bool underline = false;
};

// The font and colour pickers sit behind these so tests can script them. Both are modal; a
// Cancel leaves the value as it was handed in.
class FontPicker {
public:
    virtual ~FontPicker() = default;
    virtual void pick(QWidget* parent, FontChoice& font) = 0;
};

class ColourPicker {
public:
    virtual ~ColourPicker() = default;
    virtual void pick(QWidget* parent, QColor& colour) = 0;
};

// The picker in use; nullptr restores the real dialog.
FontPicker& fontPicker();
void setFontPicker(FontPicker* picker);
ColourPicker& colourPicker();
void setColourPicker(ColourPicker* picker);

} // namespace nimbrel
