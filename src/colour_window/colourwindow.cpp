#include "colourwindow.h"

#include "colours.h"
#include "controls.h"
#include "dialogs.h"
#include "guard.h"
#include "handpointer.h"
#include "programidentity.h"
#include "pushbutton.h"
#include "settingsschema.h"
#include "skin.h"

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
    m_focusSink =
        addControl<QLineEdit>(this, "Text1", twips(3480, 2500, 1215, 510), QStringLiteral("Text1"));

    m_backgroundFrame = addControl<QGroupBox>(this, "Frame2", twips(4080, 120, 3840, 975),
                                              QStringLiteral("Background Color Option"));
    m_backgroundSwatch =
        addControl<QLabel>(m_backgroundFrame, "Label2", twips(240, 300, 3300, 495));

    m_textFrame = addControl<QGroupBox>(this, "Frame1", twips(120, 120, 3840, 975),
                                        QStringLiteral("Text Color Option"));
    m_textSwatch = addControl<QLabel>(m_textFrame, "Label1", twips(240, 300, 3300, 495));

    m_closeButton = addControl<PushButton>(this, "PushButton1", twips(120, 1230, 7800, 405),
                                           QStringLiteral("Close"));

    setTabOrder(m_focusSink, m_closeButton);
    m_focusSink->setFocus();

    m_textSwatch->installEventFilter(this);
    m_backgroundSwatch->installEventFilter(this);
    connect(m_closeButton, &PushButton::clicked, this, &ColourWindow::closeWindow);

    for (QWidget* w :
         std::initializer_list<QWidget*>{m_closeButton, m_textSwatch, m_backgroundSwatch})
        addHoverRule(w, MousePointer::Custom);
    addHoverRule(m_textFrame, MousePointer::Default);
    addHoverRule(m_backgroundFrame, MousePointer::Default);
    finishHoverRules();
}

void ColourWindow::onLoad() {
    Guard g(QStringLiteral("Form4.Form_Load"));
    dressWindowAtLoad(g, this, productName());
    using settings::Key;
    constexpr auto user = settings::User::ColourWindow;
    // A stored colour that is no colour leaves its swatch with the button face it was given by
    // applyWindowColours.
    g(110, [this] {
        fillBackground(m_textSwatch, colourFromNumber(settings::colour(Key::FontColor, user)));
    });
    g(112, [this] {
        fillBackground(m_backgroundSwatch,
                       colourFromNumber(settings::colour(Key::BackgroundColor, user)));
    });
}

void ColourWindow::onUnload() {
    Forms::show(FormId::Settings);
}

// The picks have no numbered steps of their own; the guard only keeps a failed write from
// escaping into the event loop.
void ColourWindow::pickTextColour() {
    Guard g(QStringLiteral("Form4.Label1_Click"));
    g(100, [this] { pickColour(m_textSwatch, settings::Key::FontColor); });
}

void ColourWindow::pickBackgroundColour() {
    Guard g(QStringLiteral("Form4.Label2_Click"));
    g(100, [this] { pickColour(m_backgroundSwatch, settings::Key::BackgroundColor); });
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

void ColourWindow::closeWindow() {
    Guard g(QStringLiteral("Form4.PushButton1_Click"));
    g(100, [] { Forms::unload(FormId::Colours); });
}

bool ColourWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* swatch = qobject_cast<QLabel*>(watched);
    if (swatch && (swatch == m_textSwatch || swatch == m_backgroundSwatch)) {
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
                if (swatch == m_textSwatch)
                    pickTextColour();
                else
                    pickBackgroundColour();
            }
            return true;
        }
    }
    return Form::eventFilter(watched, event);
}

} // namespace nimbrel
