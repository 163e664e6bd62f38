#include "colourwindow.h"

#include "colours.h"
#include "controls.h"
#include "dialogs.h"
#include "guard.h"
#include "pushbutton.h"
#include "settingsschema.h"
#include "styling.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

#include <initializer_list>

namespace nimbrel {

namespace {

QColor swatchColour(const QLabel* swatch) {
    return swatch->palette().color(QPalette::Window);
}

} // namespace

ColourWindow::ColourWindow() : Form(FormId::Colours) {
    setUpDialogWindow(8040, 1755, false);
    setWindowTitle(QStringLiteral("Color Option"));

    // Lies below the visible area: it takes the focus when the window opens, so no visible
    // control shows a focus mark.
    Text1 =
        addControl<QLineEdit>(this, "Text1", twips(3480, 2500, 1215, 510), QStringLiteral("Text1"));

    Frame2 = addControl<QGroupBox>(this, "Frame2", twips(4080, 120, 3840, 975),
                                   QStringLiteral("Background Color Option"));
    Label2 = addControl<QLabel>(Frame2, "Label2", twips(240, 300, 3300, 495));

    Frame1 = addControl<QGroupBox>(this, "Frame1", twips(120, 120, 3840, 975),
                                   QStringLiteral("Text Color Option"));
    Label1 = addControl<QLabel>(Frame1, "Label1", twips(240, 300, 3300, 495));

    PushButton1 = addControl<PushButton>(this, "PushButton1", twips(120, 1230, 7800, 405),
                                         QStringLiteral("Close"));

    setTabOrder(Text1, PushButton1);
    Text1->setFocus();

    Label1->installEventFilter(this);
    Label2->installEventFilter(this);
    connect(PushButton1, &PushButton::clicked, this, &ColourWindow::PushButton1_Click);

    for (QWidget* w : std::initializer_list<QWidget*>{PushButton1, Label1, Label2})
        addHoverRule(w, MousePointer::Custom);
    addHoverRule(Frame1, MousePointer::Default);
    addHoverRule(Frame2, MousePointer::Default);
    finishHoverRules();
}

void ColourWindow::onLoad() {
    Guard g(QStringLiteral("Form4.Form_Load"));
    g(100, [this] { ApplyFormColors(this); });
    g(102, [this] { setWindowIcon(applicationIcon()); });
    g(104, [this] { setWindowTitle(productName()); });
    if (g(106, [] { return handPointerPresent(); }).value_or(false))
        g(108, [this] { loadHandPointer(this); });
    using settings::Key;
    constexpr auto user = settings::User::ColourWindow;
    // A stored colour that is no colour leaves its swatch with the button face of step 100.
    g(110,
      [this] { fillBackground(Label1, colourFromNumber(settings::colour(Key::FontColor, user))); });
    g(112, [this] {
        fillBackground(Label2, colourFromNumber(settings::colour(Key::BackgroundColor, user)));
    });
}

void ColourWindow::onUnload() {
    Forms::show(FormId::Settings);
}

// The picks have no numbered steps of their own; the guard only keeps a failed write from
// escaping into the event loop.
void ColourWindow::Label1_Click() {
    Guard g(QStringLiteral("Form4.Label1_Click"));
    g(100, [this] { pickColour(Label1, settings::Key::FontColor); });
}

void ColourWindow::Label2_Click() {
    Guard g(QStringLiteral("Form4.Label2_Click"));
    g(100, [this] { pickColour(Label2, settings::Key::BackgroundColor); });
}

void ColourWindow::pickColour(QLabel* swatch, settings::Key key) {
    QColor colour = swatchColour(swatch);
    const QPointer<QLabel> alive(swatch);
    colourPicker().pick(this, colour);
    if (!alive)
        return;
    fillBackground(swatch, colour);
    // Written after Cancel too: the swatch's colour then goes to the store unchanged, so a key
    // that was absent becomes present.
    settings::save(key, settings::User::ColourWindow,
                   QString::number(numberFromColour(swatchColour(swatch))));
}

void ColourWindow::PushButton1_Click() {
    Guard g(QStringLiteral("Form4.PushButton1_Click"));
    g(100, [] { Forms::unload(FormId::Colours); });
}

bool ColourWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* swatch = qobject_cast<QLabel*>(watched);
    if (swatch && (swatch == Label1 || swatch == Label2)) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton)
                return Form::eventFilter(watched, event);
            if (type == QEvent::MouseButtonPress) {
                m_pressed = swatch;
                return true;
            }
            const bool click =
                m_pressed == swatch && swatch->rect().contains(mouse->position().toPoint());
            m_pressed = nullptr;
            if (click) {
                // The pick may outlast the window; nothing here touches it afterwards.
                if (swatch == Label1)
                    Label1_Click();
                else
                    Label2_Click();
            }
            return true;
        }
    }
    return Form::eventFilter(watched, event);
}

} // namespace nimbrel
