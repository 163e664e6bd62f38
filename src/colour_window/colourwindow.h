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

    void pickTextColour();
    void pickBackgroundColour();
    void closeWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pickColour(QLabel* swatch, settings::Key key);

    QLineEdit* m_focusSink;
    QGroupBox* m_backgroundFrame;
    QLabel* m_backgroundSwatch;
    QGroupBox* m_textFrame;
    QLabel* m_textSwatch;
    PushButton* m_closeButton;
    // The swatch the left button went down on; a click is a release over the same swatch.
    QLabel* m_pressed = nullptr;
};

} // namespace nimbrel
