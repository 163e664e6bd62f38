#pragma once

#include <QCloseEvent>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace nimbrel {

enum class FormId { Settings, Display, ApiKey, Colours, Options };
enum class MousePointer { Default = 0, Hourglass = 11, Custom = 99 };

// A window of the program. It is created and loaded (onLoad runs) the first time anything refers
// to it, then shown or hidden, and discarded when unloaded, so a window opened again starts
// afresh. Windows are reached through the registry below, never owned by each other, so the
// settings window and the display can refer to one another without a cycle.
class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(FormId id, QWidget* parent = nullptr);
    ~Form() override;

    FormId formId() const { return m_id; }

    // Why a close was asked for; only the settings window cares (the program ends).
    enum class CloseReason { User, Code, Session };

    // The load handling; runs once per load, right after the registry has created the window.
    virtual void onLoad() {}
    // A close request. Return false to refuse the close.
    virtual bool closeRequested(CloseReason) { return true; }
    // Runs when the window is being discarded (after a close request went ahead).
    virtual void onUnload() {}

    // The window's pointer (0 arrow, 11 hourglass, 99 the custom image) and custom image.
    MousePointer mousePointer() const { return m_pointer; }
    void setMousePointer(MousePointer pointer);
    void setMouseIcon(const QCursor& cursor);
    bool hasMouseIcon() const { return m_hasMouseIcon; }
    // The hover rule: does nothing while the hourglass shows.
    void hoverPointer(MousePointer pointer);
    // Moving the mouse over the widget sets the window's pointer (a frame, a push button).
    void addHoverRule(QWidget* widget, MousePointer pointer);
    // Call once all rules are in: moves over other controls then change nothing.
    void finishHoverRules();
    // Moving over the bare window, outside every control, brings the arrow back.
    virtual void backgroundMouseMoved();

    // True once the registry has started discarding this window; code that resumes after a
    // wait checks it before touching the window again.
    bool isUnloading() const { return m_unloading; }

    // While one of these lives, the window is not deleted: a discard waits until the last one
    // ends. The application opens one around every event delivered to the window or its
    // controls; a procedure that other windows call and that lets events run (a fetch, a
    // restyle) opens its own.
    class HandlerScope {
    public:
        explicit HandlerScope(Form* form);
        ~HandlerScope();
        HandlerScope(const HandlerScope&) = delete;
        HandlerScope& operator=(const HandlerScope&) = delete;

    private:
        QPointer<Form> m_form;
    };

protected:
    // Dialog windows open centred on the screen the first time they are shown after a load;
    // shown again later they stay where the user left them.
    void centreWhenFirstShown() { m_centreOnShow = true; }
    // The look the settings, key and colour windows share: a fixed client size given in twips,
    // a title bar with a close box (and a minimise button where asked), centred when first
    // shown, "Arial" 9 pt bold for the standard controls.
    void setUpDialogWindow(int widthTwips, int heightTwips, bool minimiseButton);
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class Forms;
    FormId m_id;
    MousePointer m_pointer = MousePointer::Default;
    QCursor m_mouseIcon;
    bool m_hasMouseIcon = false;
    bool m_unloading = false;
    bool m_centreOnShow = false;
    int m_handlerDepth = 0;
    bool m_discardPending = false;
};

// The window registry: one live instance per window at most.
class Forms {
public:
    using Factory = std::function<Form*()>;
    static void registerFactory(FormId id, const Factory& factory);

    // The live window, created and loaded (hidden) on first use.
    static Form* get(FormId id);
    template <class T> static T* get(FormId id) { return static_cast<T*>(get(id)); }
    // As get(), with a hand-over that runs on a newly created window before its load
    // handling, so the load already sees what the caller hands it.
    static Form* get(FormId id, const std::function<void(Form*)>& beforeLoad);
    template <class T> static T* get(FormId id, const std::function<void(T*)>& beforeLoad) {
        return static_cast<T*>(get(id, [&beforeLoad](Form* f) { beforeLoad(static_cast<T*>(f)); }));
    }
    // The live window, or nullptr when it is not loaded; never loads.
    static Form* loaded(FormId id);

    static void show(FormId id);
    static void hide(FormId id);
    // Asks the window's close handling, then discards it unless refused. Returns true when the
    // window is gone (or was not loaded).
    static bool unload(FormId id, Form::CloseReason reason = Form::CloseReason::Code);

    // Ends the program at once: every window goes, without its own close handling, and the
    // event loops return.
    static void endProgram();
    static bool ending();

    // Discards every window without running handlers; for tests and for the end of main().
    static void reset();

private:
    static void discard(Form* form);
};

} // namespace nimbrel
