#pragma once

#include "forms.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QRadioButton;
class QTimeEdit;

namespace nimbrel {

class PushButton;
namespace settings {
enum class Key;
}

// The wall's extra elements: the clock, the details line, the symbol and the forecast, and what
// the display does at night. Each choice is stored the moment it changes; Close and the close box
// bring the settings window back.
class OptionsWindow : public Form {
    Q_OBJECT
public:
    OptionsWindow();

    void onLoad() override;
    void onUnload() override;

    void closeWindow();

private:
    void buildControls();
    void connectHandlers();

    QCheckBox* m_showTimeBox = nullptr;
    QCheckBox* m_showDateBox = nullptr;
    QCheckBox* m_showDetailsBox = nullptr;
    QCheckBox* m_showSymbolBox = nullptr;
    QGroupBox* m_forecastFrame = nullptr;
    QGroupBox* m_nightFrame = nullptr;
    // Each in the order of the stored list index.
    std::array<QRadioButton*, 3> m_forecastButtons{};
    std::array<QRadioButton*, 3> m_nightButtons{};
    QTimeEdit* m_nightFromEdit = nullptr;
    QTimeEdit* m_nightToEdit = nullptr;
    QCheckBox* m_moveTextBox = nullptr;
    PushButton* m_closeButton = nullptr;
};

} // namespace nimbrel
