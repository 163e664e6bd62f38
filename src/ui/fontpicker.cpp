#include "dialogs.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QGroupBox>

namespace nimbrel {

namespace {

// Qt's own (non-native) font dialog, without its effects section: strikeout and underline are
// not the user's to change here, so the values handed in come back untouched.
class QtFontPicker : public FontPicker {
public:
    void pick(QWidget* parent, FontChoice& choice) override {
        QFontDialog dialog(parent);
        dialog.setOption(QFontDialog::DontUseNativeDialog);
        dialog.setOption(QFontDialog::ScalableFonts, false);
        QFont preset(choice.name);
        preset.setBold(choice.bold);
        preset.setItalic(choice.italic);
        if (choice.size > 0)
            preset.setPointSizeF(choice.size);
        dialog.setCurrentFont(preset);
        hideEffects(dialog);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const QFont picked = dialog.selectedFont();
        choice.name = picked.family();
        choice.bold = picked.bold();
        choice.italic = picked.italic();
        choice.size = picked.pointSizeF();
    }

private:
    // The effects group is found through its check boxes, not its (translated) title.
    static void hideEffects(QFontDialog& dialog) {
        const auto boxes = dialog.findChildren<QCheckBox*>();
        for (QCheckBox* box : boxes) {
            if (auto* group = qobject_cast<QGroupBox*>(box->parentWidget()))
                group->hide();
        }
    }
};

FontPicker* s_fontPicker = nullptr;

} // namespace

FontPicker& fontPicker() {
    static QtFontPicker real;
    return s_fontPicker ? *s_fontPicker : real;
}

void setFontPicker(FontPicker* picker) {
    s_fontPicker = picker;
}

} // namespace nimbrel
