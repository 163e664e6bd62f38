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

    // The start button of a freshly loaded settings window, pressed before anyone sees it (the
    // start straight into the display). When it refuses (no location), the settings window is
    // what the user needs to see.
    static void openDisplayAtStart();

    // True once the start command has gone past its checks and is handing over to the display:
    // this window's close then no longer ends the program.
    bool openingDisplay() const { return m_openingDisplay; }

    void onLoad() override;
    bool closeRequested(CloseReason reason) override;

    // The commands, one per button.
    void showWeather();
    void chooseFont();
    void resetFont();
    void showLocationHelp();
    void openColourWindow();
    void openOptionsWindow();
    void openKeyWindow();
    void resetColours();

    bool detailChosen(Detail detail) const override;
    QString location() const override;
    bool displayOptionChosen(DisplayOption option) const override;
    void applyStoredDisplayOption(DisplayOption option) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    void setCaptionIconAndTitle();
    static void setCheckFromStore(QCheckBox* box, settings::Key key);
    static void storeCheckState(QCheckBox* box, settings::Key key);
    void storeUnit(const QRadioButton* selected);
    QString chosenUnit() const;
    QCheckBox* displayOptionBox(DisplayOption option) const;

    PushButton* m_showWeatherButton = nullptr;
    PushButton* m_chooseFontButton = nullptr;
    PushButton* m_resetFontButton = nullptr;
    PushButton* m_locationHelpButton = nullptr;
    PushButton* m_changeColourButton = nullptr;
    PushButton* m_apiKeyButton = nullptr;
    PushButton* m_resetColoursButton = nullptr;
    PushButton* m_optionsButton = nullptr;
    QGroupBox* m_displayOptionsFrame = nullptr;
    QGroupBox* m_locationFrame = nullptr;
    QGroupBox* m_unitsFrame = nullptr;
    QGroupBox* m_detailsFrame = nullptr;
    QGroupBox* m_alignmentFrame = nullptr;
    QLineEdit* m_locationEdit = nullptr;
    QCheckBox* m_hideHintBox = nullptr;
    QCheckBox* m_showLocationBox = nullptr;
    QCheckBox* m_showCurrentBox = nullptr;
    QCheckBox* m_keepAwakeBox = nullptr;
    QCheckBox* m_showSummaryBox = nullptr;
    QCheckBox* m_showHighBox = nullptr;
    QCheckBox* m_showLowBox = nullptr;
    QRadioButton* m_fahrenheitButton = nullptr;
    QRadioButton* m_celsiusButton = nullptr;
    QComboBox* m_alignmentList = nullptr;

    bool m_openingDisplay = false;
    // The font command's last choice. Each run starts from it, so a stored value that cannot be
    // read leaves the previous choice in place rather than a blank one.
    FontChoice m_lastFontChoice{QString(), false, false, 8, false, false};
};

} // namespace nimbrel
