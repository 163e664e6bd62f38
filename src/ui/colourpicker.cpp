#include "dialogs.h"

#include <QColorDialog>

namespace nimbrel {

namespace {

class QtColourPicker : public ColourPicker {
public:
    void pick(QWidget* parent, QColor& colour) override {
        QColorDialog dialog(colour, parent);
        dialog.setOption(QColorDialog::DontUseNativeDialog);
        if (dialog.exec() == QDialog::Accepted)
            colour = dialog.selectedColor();
    }
};

ColourPicker* s_colourPicker = nullptr;

} // namespace

ColourPicker& colourPicker() {
    static QtColourPicker real;
    return s_colourPicker ? *s_colourPicker : real;
}

void setColourPicker(ColourPicker* picker) {
    s_colourPicker = picker;
}

} // namespace nimbrel
