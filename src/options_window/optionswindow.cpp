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
#include <QLabel>
#include <QRadioButton>
#include <QTimeEdit>

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
constexpr int kEditHeight = 345;
constexpr int kTimeLabelWidth = 600;
constexpr int kTimeEditWidth = 1215;

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

// Compared as times, so that no spelling the reader accepts is rewritten by a load alone.
bool storeHolds(settings::Key key, const QTime& time) noexcept {
    try {
        return settings::clockTime(key, kUser) == time;
    } catch (const std::exception&) {
        return false;
    }
}

// The controls' change handlers run inside Qt's signal delivery with no procedure of their own;
// a failed write is reported under the control's click name, line 100.
bool storeChoice(const QObject* control, settings::Key key, qint16 value) {
    if (storeHolds(key, value))
        return true;
    return settings::saveFromHandler(QStringLiteral("Form5.") + control->objectName() +
                                         QStringLiteral("_Click"),
                                     100, {{key, QString::number(value)}}, kUser);
}

void storeCheckState(QCheckBox* box, settings::Key key) {
    // A box shown greyed from the store goes back to two states once it has been changed.
    if (box->checkState() != Qt::PartiallyChecked)
        box->setTristate(false);
    if (!storeChoice(box, key, checkValue(box)))
        showStoredValue(box, [box, key] { setCheckValue(box, settings::whole(key, kUser)); });
}

// Every keystroke that makes a time stores it, under the edit's change name.
void storeTime(QTimeEdit* edit, settings::Key key, const QTime& time) {
    if (storeHolds(key, time))
        return;
    if (!settings::saveFromHandler(QStringLiteral("Form5.") + edit->objectName() +
                                       QStringLiteral("_Change"),
                                   100, {{key, settings::clockTimeText(time)}}, kUser))
        showStoredValue(edit, [edit, key] { edit->setTime(settings::clockTime(key, kUser)); });
}

void selectStored(const std::array<QRadioButton*, 3>& buttons, settings::Key key) {
    const qint16 index = settings::whole(key, kUser);
    if (index < 0 || static_cast<std::size_t>(index) >= buttons.size())
        throw AppError::invalidPropertyValue();
    buttons[static_cast<std::size_t>(index)]->setChecked(true);
}

// Option buttons a row each inside their frame, the first selected; returns the top of the next row
// in the frame.
int addOptionRows(QGroupBox* frame, std::array<QRadioButton*, 3>& buttons,
                  const std::array<const char*, 3>& names, const std::array<QString, 3>& captions) {
    int inFrame = kFrameCaption;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i] = addControl<QRadioButton>(
            frame, names[i], twips(kIndent, inFrame, kFullWidth - 2 * kIndent, kRowHeight),
            captions[i]);
        inFrame += kRowStep;
    }
    buttons[0]->setChecked(true);
    return inFrame;
}

// A frame's height follows from its rows, so it is placed once they are in; returns the top of the
// row below it.
int placeFrame(QGroupBox* frame, int top, int inFrame) {
    const int frameHeight = inFrame - kRowGap + kMargin;
    frame->setGeometry(twips(kMargin, top, kFullWidth, frameHeight));
    return top + frameHeight + kMargin;
}

// A time edit behind its caption. It starts at the time the store gives when it holds none, and
// keeps it when the stored time cannot be read.
QTimeEdit* addTimeEdit(QGroupBox* frame, const char* labelName, const char* name,
                       const QString& caption, int left, int top, settings::Key key) {
    auto* label = addControl<QLabel>(frame, labelName,
                                     twips(left, top, kTimeLabelWidth, kEditHeight), caption);
    auto* edit = addControl<QTimeEdit>(
        frame, name, twips(left + kTimeLabelWidth, top, kTimeEditWidth, kEditHeight),
        settings::defaultClockTime(key, kUser));
    edit->setDisplayFormat(QStringLiteral("HH:mm"));
    label->setBuddy(edit);
    return edit;
}

} // namespace

OptionsWindow::OptionsWindow() : Form(FormId::Options) {
    buildControls();
    connectHandlers();

    addHoverRule(m_closeButton, MousePointer::Custom);
    addHoverRule(m_forecastFrame, MousePointer::Default);
    addHoverRule(m_nightFrame, MousePointer::Default);
    finishHoverRules();
}

void OptionsWindow::buildControls() {
    using settings::Key;
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

    m_forecastFrame = addControl<QGroupBox>(this, "Frame1", QRect(), QStringLiteral("Forecast"));
    const int forecastRows =
        addOptionRows(m_forecastFrame, m_forecastButtons, {"Option1", "Option2", "Option3"},
                      {QStringLiteral("No forecast"), QStringLiteral("Forecast for the next hours"),
                       QStringLiteral("Forecast for the next days")});
    top = placeFrame(m_forecastFrame, top, forecastRows);

    m_nightFrame = addControl<QGroupBox>(this, "Frame2", QRect(), QStringLiteral("At night:"));
    const int nightRows =
        addOptionRows(m_nightFrame, m_nightButtons, {"Option4", "Option5", "Option6"},
                      {QStringLiteral("Keep showing the weather"),
                       QStringLiteral("Dim the display"), QStringLiteral("Turn the screen off")});
    constexpr int toLeft = kIndent + kTimeLabelWidth + kTimeEditWidth + kIndent;
    m_nightFromEdit = addTimeEdit(m_nightFrame, "Label1", "Text1", QStringLiteral("From"), kIndent,
                                  nightRows, Key::NightFrom);
    m_nightToEdit = addTimeEdit(m_nightFrame, "Label2", "Text2", QStringLiteral("To"), toLeft,
                                nightRows, Key::NightTo);
    top = placeFrame(m_nightFrame, top, nightRows + kEditHeight + kRowGap);

    m_moveTextBox = box("Check5", QStringLiteral("Move the text a little every few minutes"));

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
                                                {m_showSymbolBox, Key::ShowSymbol},
                                                {m_moveTextBox, Key::MoveText}};
    // Greyed to ticked is no toggle, so every change of state stores.
    for (const auto& [box, key] : boxes)
        connect(box, &QCheckBox::stateChanged, this,
                [box = box, key = key] { storeCheckState(box, key); });
    // Only the button that becomes selected stores: the one losing the selection would store
    // the same choice again.
    const std::pair<const std::array<QRadioButton*, 3>*, Key> groups[] = {
        {&m_forecastButtons, Key::Forecast}, {&m_nightButtons, Key::NightMode}};
    for (const auto& [buttons, key] : groups) {
        for (std::size_t i = 0; i < buttons->size(); ++i) {
            QRadioButton* option = (*buttons)[i];
            connect(option, &QRadioButton::toggled, this,
                    [option, buttons = buttons, key = key, i](bool selected) {
                        if (selected && !storeChoice(option, key, static_cast<qint16>(i)))
                            showStoredValue({(*buttons)[0], (*buttons)[1], (*buttons)[2]},
                                            [buttons, key] { selectStored(*buttons, key); });
                    });
        }
    }
    const std::pair<QTimeEdit*, Key> edits[] = {{m_nightFromEdit, Key::NightFrom},
                                                {m_nightToEdit, Key::NightTo}};
    for (const auto& [edit, key] : edits)
        connect(edit, &QTimeEdit::timeChanged, this,
                [edit = edit, key = key](QTime time) { storeTime(edit, key, time); });
    connect(m_closeButton, &PushButton::clicked, this, &OptionsWindow::closeWindow);
}

void OptionsWindow::onLoad() {
    Guard g(QStringLiteral("Form5.Form_Load"));
    dressWindowAtLoad(g, this, productName());
    using settings::Key;
    // A stored value that cannot be read leaves its control as laid out: cleared, no forecast,
    // the weather kept showing, the default times.
    g(110, [this] { setCheckValue(m_showTimeBox, settings::whole(Key::ShowTime, kUser)); });
    g(112, [this] { setCheckValue(m_showDateBox, settings::whole(Key::ShowDate, kUser)); });
    g(114, [this] { setCheckValue(m_showDetailsBox, settings::whole(Key::ShowDetails, kUser)); });
    g(116, [this] { setCheckValue(m_showSymbolBox, settings::whole(Key::ShowSymbol, kUser)); });
    g(118, [this] { selectStored(m_forecastButtons, Key::Forecast); });
    g(120, [this] { selectStored(m_nightButtons, Key::NightMode); });
    g(122, [this] { m_nightFromEdit->setTime(settings::clockTime(Key::NightFrom, kUser)); });
    g(124, [this] { m_nightToEdit->setTime(settings::clockTime(Key::NightTo, kUser)); });
    g(126, [this] { setCheckValue(m_moveTextBox, settings::whole(Key::MoveText, kUser)); });
}

void OptionsWindow::onUnload() {
    Forms::show(FormId::Settings);
}

void OptionsWindow::closeWindow() {
    Guard g(QStringLiteral("Form5.PushButton1_Click"));
    g(100, [] { Forms::unload(FormId::Options); });
}

} // namespace nimbrel
