#pragma once

#include "forms.h"

class QGroupBox;
class QLabel;
class QLineEdit;

namespace nimbrel {

class PushButton;
namespace settings {
enum class Key;
}

// The colour options window: a swatch each for the display's text and background colour. A
// click on a swatch opens the colour picker and stores the outcome at once.
class ColourWindow : public Form {
    Q_OBJECT
public:
    ColourWindow();

    void onLoad() override;
    void onUnload() override;

    void Label1_Click();
    void Label2_Click();
    void PushButton1_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pickColour(QLabel* swatch, settings::Key key);

    QLineEdit* Text1;
    QGroupBox* Frame2;
    QLabel* Label2;
    QGroupBox* Frame1;
    QLabel* Label1;
    PushButton* PushButton1;
    // The swatch the left button went down on; a click is a release over the same swatch.
    QLabel* m_pressed = nullptr;
};

} // namespace nimbrel
