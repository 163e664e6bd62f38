#include "optionswindow.h"

#include "apperror.h"
#include "controls.h"
#include "guard.h"
#include "handpointer.h"
#include "programidentity.h"
#include "pushbutton.h"
#include "settingsschema.h"
#include "skin.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QRadioButton>

#include <exception>
#include <utility>

namespace nimbrel {

namespace {

constexpr auto kUser = settings::User::OptionsWindow;

// Twips. Rows are placed from a running top, so a row added later pushes Close and the
// window's bottom down with it.
constexpr int kWindowWidth = 8040;
constexpr int kMargin = 120;
constexpr int kFullWidth = 7800;
constexpr int kRowHeight = 255;
constexpr int kRowGap = 95;
constexpr int kRowStep = kRowHeight + kRowGap;
constexpr int kIndent = 240;
constexpr int kFrameCaption = 300;
constexpr int kButtonHeight = 405;

qint16 checkValue(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

// Filling the window moves its controls like a click does. What the store already holds is not
// written again, so opening the window leaves the file alone; a value it cannot read counts as
// different and is replaced by the new choice.
bool storeHolds(settings::Key key, qint16 value) noexcept {
    try {
        return settings::whole(key, kUser) == value;
    } catch (const std::exception&) {
        return false;
    }
}

// The controls' change handlers run inside Qt's signal delivery with no procedure of their own;
// a failed write is reported under the control's click name, line 100.
void storeChoice(const QObject* control, settings::Key key, qint16 value) {
    if (storeHolds(key, value))
        return;
    settings::saveFromHandler(QStringLiteral("Form5.") + control->objectName() +
                                  QStringLiteral("_Click"),
                              100, {{key, QString::number(value)}}, kUser);
}

void storeCheckState(QCheckBox* box, settings::Key key) {
    // A box shown greyed from the store goes back to two states once it has been changed.
    if (box->checkState() != Qt::PartiallyChecked)
        box->setTristate(false);
    storeChoice(box, key, checkValue(box));
}

} // namespace

OptionsWindow::OptionsWindow() : Form(FormId::Options) {
    buildControls();
    connectHandlers();

    addHoverRule(m_closeButton, MousePointer::Custom);
    addHoverRule(m_forecastFrame, MousePointer::Default);
    finishHoverRules();
}

void OptionsWindow::buildControls() {
    int top = kMargin;
    auto box = [this, &top](const char* name, const QString& caption) {
        auto* made = addControl<QCheckBox>(
            this, name, twips(kIndent, top, kFullWidth - 2 * kMargin, kRowHeight), caption);
        top += kRowStep;
        return made;
    };
    m_showTimeBox = box("Check1", QStringLiteral("Show the time"));
    m_showDateBox = box("Check2", QStringLiteral("Show the date"));
    m_showDetailsBox = box("Check3", QStringLiteral("Show feels like, humidity and wind"));
    m_showSymbolBox = box("Check4", QStringLiteral("Show a weather symbol"));

    // The frame's height follows from its rows, so it is placed once they are in.
    m_forecastFrame = addControl<QGroupBox>(this, "Frame1", QRect(), QStringLiteral("Forecast"));
    int inFrame = kFrameCaption;
    const char* const names[] = {"Option1", "Option2", "Option3"};
    const QString captions[] = {QStringLiteral("No forecast"),
                                QStringLiteral("Forecast for the next hours"),
                                QStringLiteral("Forecast for the next days")};
    for (std::size_t i = 0; i < m_forecastButtons.size(); ++i) {
        m_forecastButtons[i] = addControl<QRadioButton>(
            m_forecastFrame, names[i],
            twips(kIndent, inFrame, kFullWidth - 2 * kIndent, kRowHeight), captions[i]);
        inFrame += kRowStep;
    }
    const int frameHeight = inFrame - kRowGap + kMargin;
    m_forecastFrame->setGeometry(twips(kMargin, top, kFullWidth, frameHeight));
    m_forecastButtons[0]->setChecked(true);
    top += frameHeight + kMargin;

    m_closeButton =
        addControl<PushButton>(this, "PushButton1", twips(kMargin, top, kFullWidth, kButtonHeight),
                               QStringLiteral("Close"));
    top += kButtonHeight + kMargin;

    setUpDialogWindow(kWindowWidth, top, false);
}

void OptionsWindow::connectHandlers() {
    using settings::Key;
    const std::pair<QCheckBox*, Key> boxes[] = {{m_showTimeBox, Key::ShowTime},
                                                {m_showDateBox, Key::ShowDate},
                                                {m_showDetailsBox, Key::ShowDetails},
                                                {m_showSymbolBox, Key::ShowSymbol}};
    for (const auto& [box, key] : boxes)
        connect(box, &QCheckBox::toggled, this,
                [box = box, key = key] { storeCheckState(box, key); });
    // Only the button that becomes selected stores: the one losing the selection would store
    // the same choice again.
    for (std::size_t i = 0; i < m_forecastButtons.size(); ++i) {
        QRadioButton* option = m_forecastButtons[i];
        connect(option, &QRadioButton::toggled, this, [option, i](bool selected) {
            if (selected)
                storeChoice(option, Key::Forecast, static_cast<qint16>(i));
        });
    }
    connect(m_closeButton, &PushButton::clicked, this, &OptionsWindow::closeWindow);
}

void OptionsWindow::onLoad() {
    Guard g(QStringLiteral("Form5.Form_Load"));
    dressWindowAtLoad(g, this, productName());
    using settings::Key;
    // A stored value that cannot be read leaves its control as laid out: cleared, no forecast.
    g(110, [this] { setCheckValue(m_showTimeBox, settings::whole(Key::ShowTime, kUser)); });
    g(112, [this] { setCheckValue(m_showDateBox, settings::whole(Key::ShowDate, kUser)); });
    g(114, [this] { setCheckValue(m_showDetailsBox, settings::whole(Key::ShowDetails, kUser)); });
    g(116, [this] { setCheckValue(m_showSymbolBox, settings::whole(Key::ShowSymbol, kUser)); });
    g(118, [this] { setForecastFromStore(); });
}

void OptionsWindow::setForecastFromStore() {
    const qint16 index = settings::whole(settings::Key::Forecast, kUser);
    if (index < 0 || static_cast<std::size_t>(index) >= m_forecastButtons.size())
        throw AppError::invalidPropertyValue();
    m_forecastButtons[static_cast<std::size_t>(index)]->setChecked(true);
}

void OptionsWindow::onUnload() {
    Forms::show(FormId::Settings);
}

void OptionsWindow::closeWindow() {
    Guard g(QStringLiteral("Form5.PushButton1_Click"));
    g(100, [] { Forms::unload(FormId::Options); });
}

} // namespace nimbrel
