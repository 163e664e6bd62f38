#include "settingswindow.h"

#include "apperror.h"
#include "colours.h"
#include "controls.h"
#include "displaywindow.h"
#include "guard.h"
#include "messages.h"
#include "procedure.h"
#include "pushbutton.h"
#include "settingsschema.h"
#include "styling.h"

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

void storeValue(settings::Key key, const QString& value) {
    settings::save(key, settings::User::SettingsWindow, value);
}

// The change handlers of the boxes, buttons, list and location have no guard of their own and
// run inside Qt's signal delivery, where nothing may be thrown; a store that cannot be written
// loses that one value and the window goes on.
template <class F> void storeQuietly(F&& store) noexcept {
    try {
        std::forward<F>(store)();
    } catch (...) {
        qWarning("Nimbrel: a setting could not be stored: %s",
                 qUtf8Printable(describeCurrentException()));
    }
}

} // namespace

SettingsWindow::SettingsWindow(QWidget* parent) : Form(FormId::Settings, parent) {
    setUpDialogWindow(8040, 7605, true);
    fillBackground(this, Qt::white);

    buildControls();
    connectHandlers();

    for (PushButton* button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5,
                               PushButton6, PushButton7}) {
        addHoverRule(button, MousePointer::Custom);
    }
    for (QGroupBox* frame : {Frame1, Frame2, Frame3, Frame4, Frame6})
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

    PushButton6 =
        button(this, "PushButton6", QStringLiteral("Getting Started / Enter Your API Key"),
               twips(120, 120, 7800, 405));
    PushButton1 = button(this, "PushButton1", QStringLiteral("Show Weather At Full Screen"),
                         twips(120, 660, 7800, 405));

    Frame2 = frame("Frame2", QStringLiteral("What's your location?"), twips(120, 1110, 7800, 825));
    Text1 =
        addControl<QLineEdit>(Frame2, "Text1", twips(240, 300, 6735, 345), QStringLiteral("Text1"));
    Text1->setMaxLength(std::numeric_limits<int>::max()); // a stored location is never cut
    PushButton4 = button(Frame2, "PushButton4", QStringLiteral("?"), twips(7080, 300, 495, 345));

    Frame4 = frame("Frame4", QStringLiteral("What details would you like to display?"),
                   twips(120, 2010, 7800, 705));
    Check2 = check(Frame4, "Check2", QStringLiteral("Location"), twips(240, 300, 1095, 255));
    Check3 =
        check(Frame4, "Check3", QStringLiteral("Current Temperature"), twips(1560, 300, 2295, 255));
    Check5 = check(Frame4, "Check5", QStringLiteral("Summary"), twips(3960, 300, 1335, 255));
    Check6 = check(Frame4, "Check6", QStringLiteral("High"), twips(5400, 300, 1095, 255));
    Check7 = check(Frame4, "Check7", QStringLiteral("Low"), twips(6600, 300, 1095, 255));

    Frame3 = frame("Frame3", QStringLiteral("What units would you like to display?"),
                   twips(120, 2790, 7800, 705));
    Option1 = option(Frame3, "Option1", QStringLiteral("Fahrenheit"), twips(240, 300, 1335, 255));
    Option2 = option(Frame3, "Option2", QStringLiteral("Celsius"), twips(2040, 300, 1335, 255));
    Option1->setChecked(true);

    Frame1 = frame("Frame1", QStringLiteral("Prevent Option"), twips(120, 3555, 7800, 1050));
    Check4 = check(Frame1, "Check4",
                   QStringLiteral("Prevent computer from sleeping or starting screensaver"),
                   twips(240, 300, 5295, 255));
    Check1 = check(Frame1, "Check1", QStringLiteral("Hide 'Press ESC To Exit'"),
                   twips(240, 650, 5295, 255));

    Frame6 = frame("Frame6", QStringLiteral("Text Alignment"), twips(120, 4680, 7800, 800));
    Combo1 = addControl<QComboBox>(Frame6, "Combo1", twips(240, 300, 7335, 345));
    Combo1->setEditable(false);

    PushButton2 = button(this, "PushButton2", QStringLiteral("Change Font Style && Size"),
                         twips(120, 5580, 7800, 405));
    PushButton3 = button(this, "PushButton3", QStringLiteral("Reset Font To Default"),
                         twips(120, 6090, 7800, 405));
    PushButton5 =
        button(this, "PushButton5", QStringLiteral("Change Color"), twips(120, 6600, 7800, 405));
    PushButton7 = button(this, "PushButton7", QStringLiteral("Reset Color To Defaults"),
                         twips(120, 7110, 7800, 405));

    // Keyboard order follows the laid-out tab indexes, not the order of creation. The frames
    // (indexes 6, 7, 8, 11 and 16) take no focus and stay out of the chain: a container placed
    // in it would pull its own children along.
    std::vector<std::pair<int, QWidget*>> tabIndexes{
        {0, Text1},        {1, PushButton4},  {2, Check2},       {3, PushButton1},
        {4, Check4},       {5, Check1},       {9, Option1},      {10, Option2},
        {12, Check3},      {13, Check5},      {14, Check6},      {15, Check7},
        {17, Combo1},      {18, PushButton6}, {19, PushButton2}, {20, PushButton3},
        {21, PushButton5}, {22, PushButton7}};
    std::sort(tabIndexes.begin(), tabIndexes.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabIndexes.size(); ++i)
        QWidget::setTabOrder(tabIndexes[i - 1].second, tabIndexes[i].second);

    // The location box is the first stop of the tab order, so it has the focus on opening.
    Text1->setFocus();
    Text1->installEventFilter(this);
}

void SettingsWindow::connectHandlers() {
    using settings::Key;
    const std::pair<QCheckBox*, Key> boxes[] = {
        {Check1, Key::Check1}, {Check2, Key::Check2}, {Check3, Key::Check3}, {Check4, Key::Check4},
        {Check5, Key::Check5}, {Check6, Key::Check6}, {Check7, Key::Check7}};
    for (const auto& [box, key] : boxes)
        connect(box, &QCheckBox::stateChanged, this,
                [box = box, key = key] { Check_Click(box, key); });
    // Only the button that becomes selected runs the handler; the one losing the selection
    // has nothing to add, since both handlers store both buttons.
    for (QRadioButton* option : {Option1, Option2})
        connect(option, &QRadioButton::toggled, this, [this](bool selected) {
            if (selected)
                Option_Click();
        });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [](int index) {
        storeQuietly([index] { storeValue(Key::Combo1, QString::number(index)); });
    });
    connect(Text1, &QLineEdit::textChanged, this,
            [](const QString& text) { storeQuietly([&text] { storeValue(Key::Text1, text); }); });

    connect(PushButton1, &PushButton::clicked, this, &SettingsWindow::PushButton1_Click);
    connect(PushButton2, &PushButton::clicked, this, &SettingsWindow::PushButton2_Click);
    connect(PushButton3, &PushButton::clicked, this, &SettingsWindow::PushButton3_Click);
    connect(PushButton4, &PushButton::clicked, this, &SettingsWindow::PushButton4_Click);
    connect(PushButton5, &PushButton::clicked, this, &SettingsWindow::PushButton5_Click);
    connect(PushButton6, &PushButton::clicked, this, &SettingsWindow::PushButton6_Click);
    connect(PushButton7, &PushButton::clicked, this, &SettingsWindow::PushButton7_Click);
}

void SettingsWindow::Check_Click(QCheckBox* box, settings::Key key) {
    QString state;
    switch (box->checkState()) {
    case Qt::Unchecked:
        state = QStringLiteral("0");
        break;
    case Qt::Checked:
        state = QStringLiteral("1");
        break;
    case Qt::PartiallyChecked:
        state = QStringLiteral("2");
        break;
    }
    // A box shown greyed from the store goes back to two states once it has been changed.
    if (box->checkState() != Qt::PartiallyChecked)
        box->setTristate(false);
    storeQuietly([key, &state] { storeValue(key, state); });
}

void SettingsWindow::Option_Click() {
    storeQuietly([this] {
        storeValue(settings::Key::Option1,
                   Option1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        storeValue(settings::Key::Option2,
                   Option2->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    });
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
    SetAppTitle();
}

void SettingsWindow::onLoad() {
    Guard g(QStringLiteral("Form1.Form_Load"));
    g(100, [this] { ApplySkin(this); });
    if (g(102, [] { return handPointerPresent(); }).value_or(false))
        g(104, [this] { loadHandPointer(this); });
    g(106, [this] { setCaptionIconAndTitle(); });
    using settings::Key;
    constexpr auto user = settings::User::SettingsWindow;
    g(128, [this] { setCheckFromStore(Check1, Key::Check1); });
    g(130, [this] { setCheckFromStore(Check2, Key::Check2); });
    g(132, [this] { setCheckFromStore(Check3, Key::Check3); });
    g(134, [this] { setCheckFromStore(Check4, Key::Check4); });
    g(136, [this] { setCheckFromStore(Check5, Key::Check5); });
    g(138, [this] { setCheckFromStore(Check6, Key::Check6); });
    g(140, [this] { setCheckFromStore(Check7, Key::Check7); });
    g(142, [this] { Text1->setText(settings::text(Key::Text1, user)); });
    g(144, [this] { setOption(Option1, settings::option(Key::Option1, user)); });
    g(146, [this] { setOption(Option2, settings::option(Key::Option2, user)); });
    g(148, [this] { appendListEntry(Combo1, QStringLiteral("Left Justify")); });
    g(150, [this] { appendListEntry(Combo1, QStringLiteral("Center")); });
    g(152, [this] {
        const int index = settings::whole(Key::Combo1, user);
        if (index < 0 || index >= Combo1->count())
            throw AppError::invalidPropertyValue();
        Combo1->setCurrentIndex(index);
    });
    g(154, [this] { mOpeningDisplay = false; });
    g(156, [this] { setCaptionIconAndTitle(); });
}

bool SettingsWindow::closeRequested(CloseReason) {
    Guard g(QStringLiteral("Form1.Form_QueryUnload"));
    if (g(100, [this] { return !mOpeningDisplay; }).value_or(false))
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

void SettingsWindow::PushButton1_Click() {
    // Loading and styling the display fetches the weather and waits for it. Meanwhile this
    // window may be closed: with the flag up that close goes through, and the command carries on
    // without the window, so the display still comes. Only the program ending stops it.
    Procedure g(this, QStringLiteral("Form1.PushButton1_Click"), Procedure::StopsWhen::ProgramEnds);
    if (g(100, [this] { return Text1->text().isEmpty(); }).value_or(false)) {
        g(114, [] { showPlainMessage(QStringLiteral("Please enter a location below.")); });
        return;
    }
    g(102, [this] { mOpeningDisplay = true; });
    QString unit = Option1->isChecked() ? QStringLiteral("Fahrenheit") : QStringLiteral("Celsius");
    OpeningOf opening;
    g(104, [&] {
        // A display created here fetches once as it loads; it is handed the place and unit
        // first, so that fetch asks for the place instead of sending an empty query.
        const QString location = Text1->text();
        DisplayWindow* display =
            Forms::get<DisplayWindow>(FormId::Display, [&](DisplayWindow* created) {
                created->mLocation = location;
                created->mTempType = unit;
                opening.begin(created);
            });
        opening.begin(display);
        display->mLocation = location;
    });
    if (g.gone())
        return;
    g(106, [&] {
        if (!g.windowGone())
            unit = Option1->isChecked() ? QStringLiteral("Fahrenheit") : QStringLiteral("Celsius");
        DisplayWindow* display = Forms::get<DisplayWindow>(FormId::Display);
        opening.begin(display);
        display->mTempType = unit;
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

void SettingsWindow::PushButton2_Click() {
    Procedure g(this, QStringLiteral("Form1.PushButton2_Click"));
    FontChoice dialog = CommonDialog1;
    // (100) The picker always lists the screen fonts and offers no effects section, which is
    // all the dialog's flags would ask of it.
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

    // OK and Cancel alike: after a Cancel the dialog still holds the presets.
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
    CommonDialog1 = dialog;
}

void SettingsWindow::PushButton3_Click() {
    Guard g(QStringLiteral("Form1.PushButton3_Click"));
    using settings::Key;
    g(100, [] { settings::restoreDefault(Key::FontName); });
    g(102, [] { settings::restoreDefault(Key::FontBold); });
    g(104, [] { settings::restoreDefault(Key::FontItalic); });
    g(106, [] { settings::restoreDefault(Key::FontSize); });
    g(108, [] { settings::restoreDefault(Key::FontStrikeThru); });
    g(110, [] { settings::restoreDefault(Key::FontUnderLine); });
}

void SettingsWindow::PushButton4_Click() {
    Guard g(QStringLiteral("Form1.PushButton4_Click"));
    g(100, [] {
        showPlainMessage(QStringLiteral("Please enter you location such as Londonderry, UK or "
                                        "Londonderry, US or San Diego"));
    });
}

void SettingsWindow::PushButton5_Click() {
    Guard g(QStringLiteral("Form1.PushButton5_Click"));
    g(100, [] { Forms::show(FormId::Colours); });
    g(102, [this] { hide(); });
}

void SettingsWindow::PushButton6_Click() {
    Guard g(QStringLiteral("Form1.PushButton6_Click"));
    g(100, [] { Forms::show(FormId::ApiKey); });
    g(102, [this] { hide(); });
}

void SettingsWindow::PushButton7_Click() {
    Guard g(QStringLiteral("Form1.PushButton7_Click"));
    g(100, [] { settings::restoreDefault(settings::Key::FontColor); });
    g(102, [] { settings::restoreDefault(settings::Key::BackgroundColor); });
}

// Each detail box switches the line its caption names: Check6 ("High") the "High: " line,
// Check7 ("Low") the "Low: " line.
bool SettingsWindow::detailChosen(Detail detail) const {
    const QCheckBox* box = nullptr;
    switch (detail) {
    case Detail::Location:
        box = Check2;
        break;
    case Detail::Current:
        box = Check3;
        break;
    case Detail::Summary:
        box = Check5;
        break;
    case Detail::High:
        box = Check6;
        break;
    case Detail::Low:
        box = Check7;
        break;
    }
    return box->checkState() == Qt::Checked;
}

QString SettingsWindow::location() const {
    return Text1->text();
}

bool SettingsWindow::displayOption(DisplayOption option) const {
    const QCheckBox* box = option == DisplayOption::HideHint ? Check1 : Check4;
    return box->checkState() == Qt::Checked;
}

void SettingsWindow::setDisplayOption(DisplayOption option, qint16 value) {
    setCheckValue(option == DisplayOption::HideHint ? Check1 : Check4, value);
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text1 && event->type() == QEvent::FocusIn) {
        // Deferred: a click that brings the focus would otherwise place the cursor and undo
        // the selection straight after.
        QTimer::singleShot(0, Text1, [box = Text1] { box->selectAll(); });
    }
    return Form::eventFilter(watched, event);
}

} // namespace nimbrel
