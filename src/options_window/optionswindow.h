#pragma once

#include "forms.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QRadioButton;

namespace nimbrel {

class PushButton;
namespace settings {
enum class Key;
}

// The wall's extra elements: the clock, the details line, the symbol and the forecast. Each
// choice is stored the moment it changes; Close and the close box bring the settings window back.
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
    void setForecastFromStore();

    QCheckBox* m_showTimeBox = nullptr;
    QCheckBox* m_showDateBox = nullptr;
    QCheckBox* m_showDetailsBox = nullptr;
    QCheckBox* m_showSymbolBox = nullptr;
    QGroupBox* m_forecastFrame = nullptr;
    // In the order of the stored list index.
    std::array<QRadioButton*, 3> m_forecastButtons{};
    PushButton* m_closeButton = nullptr;
};

} // namespace nimbrel
