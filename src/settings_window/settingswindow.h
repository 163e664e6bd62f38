#pragma once

#include "dialogs.h"
#include "forms.h"
#include "settingschoices.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace nimbrel {

class PushButton;
namespace settings {
enum class Key;
}

// The settings window: the program's first window and its hub. Every option is stored the
// moment its control changes, whether the user or the program changed it, so filling the
// window from the store writes back whatever differs from the laid-out state. The display and
// the key window read its choices through SettingsChoices.
class SettingsWindow : public Form, public SettingsChoices {
    Q_OBJECT
public:
    explicit SettingsWindow(QWidget* parent = nullptr);

    // Raised by the start command just before it closes the window, so that this one close
    // hands over to the display instead of ending the program.
    bool mOpeningDisplay = false;

    void onLoad() override;
    bool closeRequested(CloseReason reason) override;

    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();

    bool detailChosen(Detail detail) const override;
    QString location() const override;
    bool displayOption(DisplayOption option) const override;
    void setDisplayOption(DisplayOption option, qint16 value) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    void setCaptionIconAndTitle();
    static void setCheckFromStore(QCheckBox* box, settings::Key key);
    static void Check_Click(QCheckBox* box, settings::Key key);
    void Option_Click();

    PushButton* PushButton1 = nullptr;
    PushButton* PushButton2 = nullptr;
    PushButton* PushButton3 = nullptr;
    PushButton* PushButton4 = nullptr;
    PushButton* PushButton5 = nullptr;
    PushButton* PushButton6 = nullptr;
    PushButton* PushButton7 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QLineEdit* Text1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;
    QCheckBox* Check5 = nullptr;
    QCheckBox* Check6 = nullptr;
    QCheckBox* Check7 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QComboBox* Combo1 = nullptr;

    // What the font dialog holds. Like a dialog control kept on the window, it remembers the
    // last values between two runs of the font command, so a preset step that fails leaves the
    // previous value in place rather than a blank one.
    FontChoice CommonDialog1{QString(), false, false, 8, false, false};
};

} // namespace nimbrel
