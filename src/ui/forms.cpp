#include "forms.h"

#include "controls.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMap>
#include <QMouseEvent>
#include <QPixmapCache>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

namespace nimbrel {

namespace {

struct Registry {
    QMap<FormId, Forms::Factory> factories;
    QMap<FormId, QPointer<Form>> live;
    // Windows handed to deleteLater; reset() finishes any that are still around.
    QList<QPointer<Form>> dying;
    bool ending = false;
};

Registry& registry() {
    static Registry r;
    return r;
}

// The window system's frame around a top-level window. Under X11 it is known only once a window
// manager has framed the window, after its first showing; until then a title bar is guessed, on
// the generous side: a window a little short of the screen costs nothing, one that ends below
// it hides its last controls.
QMargins frameAround(const QWidget& window) {
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    const QMargins known(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (!known.isNull())
        return known;
    const int line = window.fontMetrics().lineSpacing();
    return {line / 4, line * 5 / 2, line / 4, line / 4};
}

// The controls of a window too large for the room it has (a 7-inch panel of 800x480) move, as
// they stand, onto a page that scrolls, and the window becomes as large as the room allows.
// Returns false, and changes nothing, when the window fits.
bool scrollWhenTooLarge(QWidget& window, const QSize& room) {
    const QSize laidOut = window.size();
    if (laidOut.width() <= room.width() && laidOut.height() <= room.height())
        return false;
    auto* area = new QScrollArea(&window);
    // The tab order stays the controls' own.
    area->setFocusPolicy(Qt::NoFocus);
    area->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget(area);
    page->setFixedSize(laidOut);
    const QObjectList children = window.children();
    for (QObject* child : children) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control == nullptr || control == area || control->isWindow())
            continue;
        const QRect place = control->geometry();
        const bool shown = !control->isHidden();
        control->setParent(page);
        control->setGeometry(place);
        if (shown)
            control->show();
    }
    area->setWidget(page);
    // The window's own background, white or the skin's, shows through.
    area->viewport()->setAutoFillBackground(false);
    page->setAutoFillBackground(false);
    // Each scroll bar takes room from the other direction.
    const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
    bool tooTall = laidOut.height() > room.height();
    bool tooWide =
        laidOut.width() > room.width() || (tooTall && laidOut.width() + bar > room.width());
    tooTall = tooTall || (tooWide && laidOut.height() + bar > room.height());
    window.setFixedSize(std::min(room.width(), laidOut.width() + (tooTall ? bar : 0)),
                        std::min(room.height(), laidOut.height() + (tooWide ? bar : 0)));
    area->setGeometry(window.rect());
    area->show();
    return true;
}

} // namespace

Form::Form(FormId id, QWidget* parent) : QWidget(parent), m_id(id) {
    static const char* const names[] = {"Form1", "Form2", "Form3", "Form4", "Form5"};
    setObjectName(QLatin1String(names[static_cast<int>(id)]));
    setMouseTracking(true);
}

Form::~Form() {
    auto& live = registry().live;
    auto it = live.find(m_id);
    if (it != live.end() && (it->isNull() || it->data() == this))
        live.erase(it);
    // The style keeps the pixmaps it drew the controls with, keyed by the window's palette, and
    // every new window has a palette of its own: what it drew for a discarded window is never
    // used again, yet would pile up (to the cache's 10 MB) as the display is opened and closed.
    QPixmapCache::clear();
}

Form::HandlerScope::HandlerScope(Form* form) : m_form(form) {
    if (form)
        ++form->m_handlerDepth;
}

Form::HandlerScope::~HandlerScope() {
    if (!m_form)
        return;
    if (--m_form->m_handlerDepth == 0 && m_form->m_discardPending) {
        m_form->m_discardPending = false;
        m_form->deleteLater();
    }
}

void Form::setMousePointer(MousePointer pointer) {
    m_pointer = pointer;
    switch (pointer) {
    case MousePointer::Default:
        unsetCursor();
        break;
    case MousePointer::Hourglass:
        setCursor(Qt::WaitCursor);
        break;
    case MousePointer::Custom:
        // Without a loaded image the custom pointer looks like the arrow.
        if (m_hasMouseIcon)
            setCursor(m_mouseIcon);
        else
            unsetCursor();
        break;
    }
}

void Form::setMouseIcon(const QCursor& cursor) {
    m_mouseIcon = cursor;
    m_hasMouseIcon = true;
    if (m_pointer == MousePointer::Custom)
        setMousePointer(MousePointer::Custom);
}

void Form::hoverPointer(MousePointer pointer) {
    if (m_pointer == MousePointer::Hourglass || m_pointer == pointer)
        return;
    setMousePointer(pointer);
}

void Form::addHoverRule(QWidget* widget, MousePointer pointer) {
    widget->setMouseTracking(true);
    // The control's own rule decides; the frame or window behind it must not undo it.
    if (widget != this)
        widget->setAttribute(Qt::WA_NoMousePropagation);
    widget->setProperty("nimbrelHover", static_cast<int>(pointer));
    widget->installEventFilter(this);
}

void Form::finishHoverRules() {
    // Controls without a rule keep the pointer as it is, so their moves must not reach the
    // frame or window behind them.
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (!child->property("nimbrelHover").isValid())
            child->setAttribute(Qt::WA_NoMousePropagation);
    }
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        const QVariant rule = watched->property("nimbrelHover");
        if (rule.isValid())
            hoverPointer(static_cast<MousePointer>(rule.toInt()));
    }
    return QWidget::eventFilter(watched, event);
}

void Form::mouseMoveEvent(QMouseEvent* event) {
    backgroundMouseMoved();
    QWidget::mouseMoveEvent(event);
}

void Form::backgroundMouseMoved() {
    hoverPointer(MousePointer::Default);
}

void Form::setUpDialogWindow(int widthTwips, int heightTwips, bool minimiseButton) {
    centreWhenFirstShown();
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    flags |= minimiseButton ? Qt::WindowMinimizeButtonHint : Qt::MSWindowsFixedSizeDialogHint;
    setWindowFlags(flags);
    setFixedSize(px(widthTwips), px(heightTwips));
    QFont standard(QStringLiteral("Arial"));
    standard.setPointSize(9);
    standard.setBold(true);
    setFont(standard);
}

void Form::showEvent(QShowEvent* event) {
    if (m_centreOnShow) {
        m_centreOnShow = false;
        if (const QScreen* s = screen()) {
            const QRect available = s->availableGeometry();
            const QMargins frameMargins = frameAround(*this);
            if (scrollWhenTooLarge(*this, available.size().shrunkBy(frameMargins))) {
                // Placed by its inside, with room left for the frame: a window placed by its
                // frame before X11 has framed it is placed by its inside all the same, and its
                // title bar would start above the screen.
                QRect frame = geometry().marginsAdded(frameMargins);
                frame.moveCenter(available.center());
                frame.moveTop(std::max(frame.top(), available.top()));
                frame.moveLeft(std::max(frame.left(), available.left()));
                setGeometry(frame.marginsRemoved(frameMargins));
            } else {
                // The frame counts: the whole window, title bar included, sits in the middle.
                QRect frame = frameGeometry();
                frame.moveCenter(available.center());
                move(frame.topLeft());
            }
        }
    }
    QWidget::showEvent(event);
}

void Form::closeEvent(QCloseEvent* event) {
    // The registry decides: the window's own close handling may refuse, end the program, or
    // have the window discarded.
    event->ignore();
    if (m_unloading || Forms::ending())
        return;
    Forms::unload(m_id, event->spontaneous() ? CloseReason::User : CloseReason::Code);
}

void Forms::discard(Form* form) {
    form->hide();
    registry().dying.removeIf([](const QPointer<Form>& gone) { return gone.isNull(); });
    registry().dying.append(form);
    // Never while one of the window's own handlers is still on the stack: a handler that lets
    // events run (a fetch, a message box) would return into a deleted window. deleteLater alone
    // is not enough, since such a handler's own event processing would run the deletion.
    if (form->m_handlerDepth > 0)
        form->m_discardPending = true;
    else
        form->deleteLater();
}

void Forms::registerFactory(FormId id, const Factory& factory) {
    registry().factories.insert(id, factory);
}

Form* Forms::get(FormId id) {
    return get(id, {});
}

Form* Forms::get(FormId id, const std::function<void(Form*)>& beforeLoad) {
    Registry& r = registry();
    if (Form* f = loaded(id))
        return f;
    auto factory = r.factories.value(id);
    Q_ASSERT_X(factory, "Forms::get", "no factory registered for this window");
    Form* form = factory();
    // Registered before its load handling, so code run by onLoad that refers to the
    // window finds this instance instead of loading a second one.
    r.live.insert(id, form);
    if (beforeLoad)
        beforeLoad(form);
    form->onLoad();
    return form;
}

Form* Forms::loaded(FormId id) {
    Registry& r = registry();
    auto it = r.live.find(id);
    if (it == r.live.end())
        return nullptr;
    Form* f = it->data();
    if (!f || f->m_unloading) {
        r.live.erase(it);
        return nullptr;
    }
    return f;
}

void Forms::show(FormId id) {
    if (ending())
        return;
    Form* f = get(id);
    if (f->isUnloading())
        return;
    f->show();
    f->raise();
    f->activateWindow();
}

void Forms::hide(FormId id) {
    if (Form* f = loaded(id))
        f->hide();
}

bool Forms::unload(FormId id, Form::CloseReason reason) {
    Form* f = loaded(id);
    if (!f)
        return true;
    QPointer<Form> guard(f);
    if (!f->closeRequested(reason))
        return false;
    if (ending() || !guard || guard->m_unloading)
        return true;
    f->m_unloading = true;
    registry().live.remove(id);
    f->onUnload();
    if (guard)
        discard(f);
    return true;
}

void Forms::endProgram() {
    Registry& r = registry();
    if (r.ending)
        return;
    r.ending = true;
    const auto live = r.live;
    r.live.clear();
    for (const QPointer<Form>& f : live) {
        if (!f)
            continue;
        f->m_unloading = true;
        discard(f);
    }
    // Every running event loop returns, nested ones (a fetch waiting) included.
    QCoreApplication::exit(0);
}

bool Forms::ending() {
    return registry().ending;
}

void Forms::reset() {
    Registry& r = registry();
    const auto live = r.live;
    r.live.clear();
    for (const QPointer<Form>& f : live) {
        if (f) {
            f->m_unloading = true;
            delete f.data();
        }
    }
    for (const QPointer<Form>& f : std::as_const(r.dying))
        delete f.data();
    r.dying.clear();
    r.ending = false;
}

} // namespace nimbrel
