#include "settingswindow.h"

#include "apperror.h"
#include "colours.h"
#include "controls.h"
#include "displaywindow.h"
#include "failurereports.h"
#include "guard.h"
#include "handpointer.h"
#include "messages.h"
#include "procedure.h"
#include "programidentity.h"
#include "pushbutton.h"
#include "settingsschema.h"
#include "skin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

namespace nimbrel {

namespace {

QString boolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// The decimal text of a point size: "72" for 72, "10.5" for 10.5, never an exponent.
QString sizeText(double size) {
    return QString::number(size, 'g', 15);
}

// The change handlers of the boxes, buttons, list and location have no procedure of their own
// and run inside Qt's signal delivery. A value that could not be stored is reported under the
// handler's own name, line 100 (its one statement), so the window never shows as kept what the
// next start will not find.
bool storeFromHandler(const QString& handlerName, settings::Key key, const QString& value) {
    return settings::saveFromHandler(QStringLiteral("Form1.") + handlerName, 100, {{key, value}},
                                     settings::User::SettingsWindow);
}

} // namespace

SettingsWindow::SettingsWindow(QWidget* parent) : Form(FormId::Settings, parent) {
    setUpDialogWindow(8040, 8115, true);
    fillBackground(this, Qt::white);

    buildControls();
    connectHandlers();

    for (PushButton* button :
         {m_showWeatherButton, m_chooseFontButton, m_resetFontButton, m_locationHelpButton,
          m_changeColourButton, m_apiKeyButton, m_resetColoursButton, m_optionsButton}) {
        addHoverRule(button, MousePointer::Custom);
    }
    for (QGroupBox* frame :
         {m_displayOptionsFrame, m_locationFrame, m_unitsFrame, m_detailsFrame, m_alignmentFrame})
        addHoverRule(frame, MousePointer::Default);
    finishHoverRules();
}

void SettingsWindow::buildControls() {
    auto button = [](QWidget* parent, const char* name, const QString& caption, QRect at) {
        return addControl<PushButton>(parent, name, at, caption);
    };
    // Frames, check boxes and option buttons stand on the window's white.
    auto white = [](auto* control) {
        fillBackground(control, Qt::white);
        return control;
    };
    auto frame = [this, white](const char* name, const QString& caption, QRect at) {
        return white(addControl<QGroupBox>(this, name, at, caption));
    };
    auto check = [white](QWidget* parent, const char* name, const QString& caption, QRect at) {
        return white(addControl<QCheckBox>(parent, name, at, caption));
    };
    auto option = [white](QWidget* parent, const char* name, const QString& caption, QRect at) {
        return white(addControl<QRadioButton>(parent, name, at, caption));
    };

    m_apiKeyButton =
        button(this, "PushButton6", QStringLiteral("Getting Started / Enter Your API Key"),
               twips(120, 120, 7800, 405));
    m_showWeatherButton = button(this, "PushButton1", QStringLiteral("Show Weather At Full Screen"),
                                 twips(120, 660, 7800, 405));

    m_locationFrame =
        frame("Frame2", QStringLiteral("What's your location?"), twips(120, 1110, 7800, 825));
    m_locationEdit = addControl<QLineEdit>(m_locationFrame, "Text1", twips(240, 300, 6735, 345),
                                           QStringLiteral("Text1"));
    m_locationEdit->setMaxLength(std::numeric_limits<int>::max()); // a stored location is never cut
    m_locationHelpButton =
        button(m_locationFrame, "PushButton4", QStringLiteral("?"), twips(7080, 300, 495, 345));

    m_detailsFrame = frame("Frame4", QStringLiteral("What details would you like to display?"),
                           twips(120, 2010, 7800, 705));
    m_showLocationBox =
        check(m_detailsFrame, "Check2", QStringLiteral("Location"), twips(240, 300, 1095, 255));
    m_showCurrentBox = check(m_detailsFrame, "Check3", QStringLiteral("Current Temperature"),
                             twips(1560, 300, 2295, 255));
    m_showSummaryBox =
        check(m_detailsFrame, "Check5", QStringLiteral("Summary"), twips(3960, 300, 1335, 255));
    m_showHighBox =
        check(m_detailsFrame, "Check6", QStringLiteral("High"), twips(5400, 300, 1095, 255));
    m_showLowBox =
        check(m_detailsFrame, "Check7", QStringLiteral("Low"), twips(6600, 300, 1095, 255));

    m_unitsFrame = frame("Frame3", QStringLiteral("What units would you like to display?"),
                         twips(120, 2790, 7800, 705));
    m_fahrenheitButton =
        option(m_unitsFrame, "Option1", QStringLiteral("Fahrenheit"), twips(240, 300, 1335, 255));
    m_celsiusButton =
        option(m_unitsFrame, "Option2", QStringLiteral("Celsius"), twips(2040, 300, 1335, 255));
    m_fahrenheitButton->setChecked(true);

    m_displayOptionsFrame =
        frame("Frame1", QStringLiteral("Prevent Option"), twips(120, 3555, 7800, 1050));
    m_keepAwakeBox = check(m_displayOptionsFrame, "Check4",
                           QStringLiteral("Prevent computer from sleeping or starting screensaver"),
                           twips(240, 300, 5295, 255));
    m_hideHintBox = check(m_displayOptionsFrame, "Check1",
                          QStringLiteral("Hide 'Press ESC To Exit'"), twips(240, 650, 5295, 255));

    m_alignmentFrame =
        frame("Frame6", QStringLiteral("Text Alignment"), twips(120, 4680, 7800, 800));
    m_alignmentList = addControl<QComboBox>(m_alignmentFrame, "Combo1", twips(240, 300, 7335, 345));
    m_alignmentList->setEditable(false);

    m_chooseFontButton = button(this, "PushButton2", QStringLiteral("Change Font Style && Size"),
                                twips(120, 5580, 7800, 405));
    m_resetFontButton = button(this, "PushButton3", QStringLiteral("Reset Font To Default"),
                               twips(120, 6090, 7800, 405));
    m_changeColourButton =
        button(this, "PushButton5", QStringLiteral("Change Color"), twips(120, 6600, 7800, 405));
    m_resetColoursButton = button(this, "PushButton7", QStringLiteral("Reset Color To Defaults"),
                                  twips(120, 7110, 7800, 405));
    m_optionsButton =
        button(this, "PushButton8", QStringLiteral("Clock, Forecast && Night Options"),
               twips(120, 7620, 7800, 405));

    // Keyboard order is this table's, not the order of creation. The gaps are the frames: they
    // take no focus and stay out of the chain, since a container placed in it would pull its own
    // children along.
    std::vector<std::pair<int, QWidget*>> tabIndexes{
        {0, m_locationEdit},      {1, m_locationHelpButton},  {2, m_showLocationBox},
        {3, m_showWeatherButton}, {4, m_keepAwakeBox},        {5, m_hideHintBox},
        {9, m_fahrenheitButton},  {10, m_celsiusButton},      {12, m_showCurrentBox},
        {13, m_showSummaryBox},   {14, m_showHighBox},        {15, m_showLowBox},
        {17, m_alignmentList},    {18, m_apiKeyButton},       {19, m_chooseFontButton},
        {20, m_resetFontButton},  {21, m_changeColourButton}, {22, m_resetColoursButton},
        {23, m_optionsButton}};
    std::sort(tabIndexes.begin(), tabIndexes.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabIndexes.size(); ++i)
        QWidget::setTabOrder(tabIndexes[i - 1].second, tabIndexes[i].second);

    // The location box is the first stop of the tab order, so it has the focus on opening.
    m_locationEdit->setFocus();
    m_locationEdit->installEventFilter(this);
}

void SettingsWindow::connectHandlers() {
    using settings::Key;
    const std::pair<QCheckBox*, Key> boxes[] = {
        {m_hideHintBox, Key::HideHint},       {m_showLocationBox, Key::ShowLocation},
        {m_showCurrentBox, Key::ShowCurrent}, {m_keepAwakeBox, Key::KeepAwake},
        {m_showSummaryBox, Key::ShowSummary}, {m_showHighBox, Key::ShowHigh},
        {m_showLowBox, Key::ShowLow}};
    // Every change of state, greyed to ticked included: that one is no toggle, and a box shown
    // greyed from the store would otherwise show ticked while the store still says greyed.
    for (const auto& [box, key] : boxes)
        connect(box, &QCheckBox::stateChanged, this,
                [box = box, key = key] { storeCheckState(box, key); });
    // Only the button that becomes selected runs the handler; the one losing the selection
    // has nothing to add, since both handlers store both buttons.
    for (QRadioButton* option : {m_fahrenheitButton, m_celsiusButton})
        connect(option, &QRadioButton::toggled, this, [this, option](bool selected) {
            if (selected)
                storeUnit(option);
        });
    connect(m_alignmentList, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!storeFromHandler(QStringLiteral("Combo1_Click"), Key::Alignment,
                              QString::number(index)))
            showStoredValue(m_alignmentList, [this] {
                m_alignmentList->setCurrentIndex(
                    settings::whole(Key::Alignment, settings::User::SettingsWindow));
            });
    });
    // What is being typed stays, so that nothing typed is lost; the report has said it is not
    // stored, and the next keystroke tries again.
    connect(m_locationEdit, &QLineEdit::textChanged, this, [](const QString& text) {
        storeFromHandler(QStringLiteral("Text1_Change"), Key::Location, text);
    });

    connect(m_showWeatherButton, &PushButton::clicked, this, &SettingsWindow::showWeather);
    connect(m_chooseFontButton, &PushButton::clicked, this, &SettingsWindow::chooseFont);
    connect(m_resetFontButton, &PushButton::clicked, this, &SettingsWindow::resetFont);
    connect(m_locationHelpButton, &PushButton::clicked, this, &SettingsWindow::showLocationHelp);
    connect(m_changeColourButton, &PushButton::clicked, this, &SettingsWindow::openColourWindow);
    connect(m_apiKeyButton, &PushButton::clicked, this, &SettingsWindow::openKeyWindow);
    connect(m_resetColoursButton, &PushButton::clicked, this, &SettingsWindow::resetColours);
    connect(m_optionsButton, &PushButton::clicked, this, &SettingsWindow::openOptionsWindow);
}

void SettingsWindow::storeCheckState(QCheckBox* box, settings::Key key) {
    // A box shown greyed from the store goes back to two states once it has been changed.
    if (box->checkState() != Qt::PartiallyChecked)
        box->setTristate(false);
    if (!storeFromHandler(box->objectName() + QStringLiteral("_Click"), key,
                          QString::number(checkValue(box))))
        showStoredValue(box, [box, key] { setCheckFromStore(box, key); });
}

QString SettingsWindow::chosenUnit() const {
    return m_fahrenheitButton->isChecked() ? QStringLiteral("Fahrenheit")
                                           : QStringLiteral("Celsius");
}

void SettingsWindow::storeUnit(const QRadioButton* selected) {
    // One choice kept in two keys, stored in one save: a file never holds both units selected.
    auto flag = [](const QRadioButton* option) {
        return option->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    };
    if (settings::saveFromHandler(
            QStringLiteral("Form1.") + selected->objectName() + QStringLiteral("_Click"), 100,
            {{settings::Key::Fahrenheit, flag(m_fahrenheitButton)},
             {settings::Key::Celsius, flag(m_celsiusButton)}},
            settings::User::SettingsWindow))
        return;
    for (QRadioButton* option : {m_fahrenheitButton, m_celsiusButton}) {
        const settings::Key key =
            option == m_fahrenheitButton ? settings::Key::Fahrenheit : settings::Key::Celsius;
        showStoredValue(option, [option, key] {
            if (settings::option(key, settings::User::SettingsWindow))
                option->setChecked(true);
        });
    }
}

void SettingsWindow::setCheckFromStore(QCheckBox* box, settings::Key key) {
    setCheckValue(box, settings::whole(key, settings::User::SettingsWindow));
}

namespace {

void setOption(QRadioButton* option, bool selected) {
    if (selected) {
        option->setChecked(true);
        return;
    }
    // An exclusive button refuses to be cleared while it is the selected one, but the stored
    // options may ask for neither unit to be selected.
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

void appendListEntry(QComboBox* list, const QString& entry) {
    // Filling a list selects nothing; only setting its position does. Qt's combo box selects
    // the first entry it receives, which must neither show nor be stored.
    const QSignalBlocker quiet(list);
    list->addItem(entry);
    list->setCurrentIndex(-1);
}

} // namespace

void SettingsWindow::setCaptionIconAndTitle() {
    setWindowTitle(productName());
    setWindowIcon(applicationIcon());
    setApplicationTitle();
}

void SettingsWindow::onLoad() {
    Guard g(QStringLiteral("Form1.Form_Load"));
    g(100, [this] { applySkin(this); });
    if (g(102, [] { return handPointerPresent(); }).value_or(false))
        g(104, [this] { loadHandPointer(this); });
    g(106, [this] { setCaptionIconAndTitle(); });
    using settings::Key;
    constexpr auto user = settings::User::SettingsWindow;
    g(128, [this] { setCheckFromStore(m_hideHintBox, Key::HideHint); });
    g(130, [this] { setCheckFromStore(m_showLocationBox, Key::ShowLocation); });
    g(132, [this] { setCheckFromStore(m_showCurrentBox, Key::ShowCurrent); });
    g(134, [this] { setCheckFromStore(m_keepAwakeBox, Key::KeepAwake); });
    g(136, [this] { setCheckFromStore(m_showSummaryBox, Key::ShowSummary); });
    g(138, [this] { setCheckFromStore(m_showHighBox, Key::ShowHigh); });
    g(140, [this] { setCheckFromStore(m_showLowBox, Key::ShowLow); });
    g(142, [this] { m_locationEdit->setText(settings::text(Key::Location, user)); });
    g(144, [this] { setOption(m_fahrenheitButton, settings::option(Key::Fahrenheit, user)); });
    g(146, [this] { setOption(m_celsiusButton, settings::option(Key::Celsius, user)); });
    g(148, [this] { appendListEntry(m_alignmentList, QStringLiteral("Left Justify")); });
    g(150, [this] { appendListEntry(m_alignmentList, QStringLiteral("Center")); });
    g(152, [this] {
        const int index = settings::whole(Key::Alignment, user);
        if (index < 0 || index >= m_alignmentList->count())
            throw AppError::invalidPropertyValue();
        m_alignmentList->setCurrentIndex(index);
    });
    g(154, [this] { m_openingDisplay = false; });
    g(156, [this] { setCaptionIconAndTitle(); });
}

bool SettingsWindow::closeRequested(CloseReason) {
    Guard g(QStringLiteral("Form1.Form_QueryUnload"));
    if (g(100, [this] { return !m_openingDisplay; }).value_or(false))
        g(102, [] { Forms::endProgram(); });
    return true;
}

namespace {

// Ends the display's opening however the start command returns.
class OpeningOf {
public:
    OpeningOf() = default;
    ~OpeningOf() { end(); }
    OpeningOf(const OpeningOf&) = delete;
    OpeningOf& operator=(const OpeningOf&) = delete;

    void begin(DisplayWindow* display) {
        if (display == m_display)
            return;
        end();
        m_display = display;
        display->beginOpening();
    }

private:
    void end() {
        if (m_display)
            m_display->endOpening();
        m_display = nullptr;
    }
    QPointer<DisplayWindow> m_display;
};

} // namespace

void SettingsWindow::showWeather() {
    // Loading and styling the display fetches the weather and waits for it. Meanwhile this
    // window may be closed: once m_openingDisplay is up that close goes through, and the command
    // carries on without the window, so the display still comes. Only the program ending stops it.
    Procedure g(this, QStringLiteral("Form1.PushButton1_Click"), Procedure::StopsWhen::ProgramEnds);
    if (g(100, [this] { return m_locationEdit->text().isEmpty(); }).value_or(false)) {
        g(114, [] { showPlainMessage(QStringLiteral("Please enter a location below.")); });
        return;
    }
    g(102, [this] { m_openingDisplay = true; });
    DisplayRequest request{QString(), chosenUnit()};
    OpeningOf opening;
    g(104, [&] {
        // A display created here fetches once as it loads; it is handed the request first, so
        // that fetch asks for the place instead of sending an empty query.
        request.location = m_locationEdit->text();
        DisplayWindow* display =
            Forms::get<DisplayWindow>(FormId::Display, [&](DisplayWindow* created) {
                created->setRequest(request);
                opening.begin(created);
            });
        opening.begin(display);
        display->setRequest(request);
    });
    if (g.gone())
        return;
    g(106, [&] {
        // The unit counts as it stands now: it may have been switched while the load waited.
        if (!g.windowGone())
            request.unit = chosenUnit();
        DisplayWindow* display = Forms::get<DisplayWindow>(FormId::Display);
        opening.begin(display);
        display->setRequest(request);
    });
    if (g.gone())
        return;
    g(108, [] { Forms::get<DisplayWindow>(FormId::Display)->reloadStyle(); });
    if (g.gone())
        return;
    g(110, [] { Forms::show(FormId::Display); });
    // A settings window loaded since (the display reads its boxes) stays hidden in the
    // background; unloading it would end the program.
    if (g.gone() || g.windowGone())
        return;
    g(112, [] { Forms::unload(FormId::Settings); });
}

void SettingsWindow::openDisplayAtStart() {
    // Nobody may be there to press OK, so nothing that fails on the way (the load's write-backs
    // to a store that cannot be written, a fetch before the network is up) holds the display
    // back: it is told once the display is up, over it.
    const ReportsAfterwards afterwards;
    Forms::get<SettingsWindow>(FormId::Settings)->showWeather();
    if (Form* stillThere = Forms::loaded(FormId::Settings);
        stillThere && !static_cast<SettingsWindow*>(stillThere)->openingDisplay() &&
        !Forms::ending())
        Forms::show(FormId::Settings);
}

void SettingsWindow::chooseFont() {
    Procedure g(this, QStringLiteral("Form1.PushButton2_Click"));
    FontChoice dialog = m_lastFontChoice;
    // The steps start at 102: the picker needs no set-up, it always lists the screen fonts and
    // offers no effects section.
    using settings::Key;
    constexpr auto user = settings::User::FontCommand;
    g(102, [&dialog] { dialog.name = settings::text(Key::FontName, user); });
    g(104, [&dialog] { dialog.bold = settings::boolean(Key::FontBold, user); });
    g(106, [&dialog] { dialog.italic = settings::boolean(Key::FontItalic, user); });
    g(108, [&dialog] { dialog.size = settings::whole(Key::FontSize, user); });
    g(110, [&dialog] { dialog.strikeout = settings::boolean(Key::FontStrikeThru, user); });
    g(112, [&dialog] { dialog.underline = settings::boolean(Key::FontUnderLine, user); });

    g(114, [this, &dialog] { fontPicker().pick(this, dialog); });
    if (g.gone())
        return;

    // OK and Cancel alike: a Cancel stores the values the picker opened with.
    g(116, [&dialog] { settings::save(Key::FontName, user, dialog.name); });
    g(118, [&dialog] { settings::save(Key::FontBold, user, boolText(dialog.bold)); });
    g(120, [&dialog] { settings::save(Key::FontItalic, user, boolText(dialog.italic)); });
    g(122, [&dialog] {
        if (dialog.size > 250)
            dialog.size = 250;
    });
    g(124, [&dialog] { settings::save(Key::FontSize, user, sizeText(dialog.size)); });
    g(126, [&dialog] { settings::save(Key::FontStrikeThru, user, boolText(dialog.strikeout)); });
    g(128, [&dialog] { settings::save(Key::FontUnderLine, user, boolText(dialog.underline)); });
    m_lastFontChoice = dialog;
}

void SettingsWindow::resetFont() {
    Guard g(QStringLiteral("Form1.PushButton3_Click"));
    using settings::Key;
    g(100, [] { settings::restoreDefault(Key::FontName); });
    g(102, [] { settings::restoreDefault(Key::FontBold); });
    g(104, [] { settings::restoreDefault(Key::FontItalic); });
    g(106, [] { settings::restoreDefault(Key::FontSize); });
    g(108, [] { settings::restoreDefault(Key::FontStrikeThru); });
    g(110, [] { settings::restoreDefault(Key::FontUnderLine); });
}

void SettingsWindow::showLocationHelp() {
    Guard g(QStringLiteral("Form1.PushButton4_Click"));
    g(100, [] {
        showPlainMessage(QStringLiteral("Please enter you location such as Londonderry, UK or "
                                        "Londonderry, US or San Diego"));
    });
}

void SettingsWindow::openColourWindow() {
    Guard g(QStringLiteral("Form1.PushButton5_Click"));
    g(100, [] { Forms::show(FormId::Colours); });
    g(102, [this] { hide(); });
}

void SettingsWindow::openOptionsWindow() {
    Guard g(QStringLiteral("Form1.PushButton8_Click"));
    g(100, [] { Forms::show(FormId::Options); });
    g(102, [this] { hide(); });
}

void SettingsWindow::openKeyWindow() {
    Guard g(QStringLiteral("Form1.PushButton6_Click"));
    g(100, [] { Forms::show(FormId::ApiKey); });
    g(102, [this] { hide(); });
}

void SettingsWindow::resetColours() {
    Guard g(QStringLiteral("Form1.PushButton7_Click"));
    g(100, [] { settings::restoreDefault(settings::Key::FontColor); });
    g(102, [] { settings::restoreDefault(settings::Key::BackgroundColor); });
}

bool SettingsWindow::detailChosen(Detail detail) const {
    const QCheckBox* box = nullptr;
    switch (detail) {
    case Detail::Location:
        box = m_showLocationBox;
        break;
    case Detail::Current:
        box = m_showCurrentBox;
        break;
    case Detail::Summary:
        box = m_showSummaryBox;
        break;
    case Detail::High:
        box = m_showHighBox;
        break;
    case Detail::Low:
        box = m_showLowBox;
        break;
    }
    return box->checkState() == Qt::Checked;
}

QString SettingsWindow::location() const {
    return m_locationEdit->text();
}

QCheckBox* SettingsWindow::displayOptionBox(DisplayOption option) const {
    return option == DisplayOption::HideHint ? m_hideHintBox : m_keepAwakeBox;
}

bool SettingsWindow::displayOptionChosen(DisplayOption option) const {
    return displayOptionBox(option)->checkState() == Qt::Checked;
}

void SettingsWindow::applyStoredDisplayOption(DisplayOption option) {
    const settings::Key key =
        option == DisplayOption::HideHint ? settings::Key::HideHint : settings::Key::KeepAwake;
    const qint16 stored = settings::whole(key, settings::User::Display);
    QCheckBox* box = displayOptionBox(option);
    setCheckValue(box, stored);
    // A store that cannot take the write-back puts the box back to what this window reads while
    // the key is absent. The display reads otherwise (keep-awake is on until stored), and it goes
    // by the box: a frozen kiosk store without the key would never keep the screen awake.
    const QSignalBlocker quiet(box);
    setCheckValue(box, stored);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_locationEdit && event->type() == QEvent::FocusIn) {
        // Deferred: a click that brings the focus would otherwise place the cursor and undo
        // the selection straight after.
        QTimer::singleShot(0, m_locationEdit, [box = m_locationEdit] { box->selectAll(); });
    }
    return Form::eventFilter(watched, event);
}

} // namespace nimbrel
