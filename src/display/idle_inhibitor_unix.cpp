#include "idle_inhibitor.h"

#include "session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QVariantMap>

namespace nimbrel {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString reason = QStringLiteral("Showing the weather full screen");
// The portal's flag for "the session must not go idle".
constexpr uint portalIdleFlag = 8;

// The desktop portal first (sandboxes and GNOME offer it), else the screen saver's own
// interface (KDE and most others). Each answers with a token that ends the inhibition.
class DBusIdleInhibitor final : public QObject, public IdleInhibitor {
public:
    ~DBusIdleInhibitor() override { release(); }

    void hold() override {
        m_wanted = true;
        if (m_state == State::Released && m_route != Route::None)
            ask(m_route);
    }

    void release() override {
        m_wanted = false;
        if (m_state == State::Held)
            drop();
    }

private:
    enum class State { Released, Asking, Held };
    enum class Route { Portal, ScreenSaver, None };

    void ask(Route route) {
        if (route == Route::None || !sessionBusRunning()) {
            m_state = State::Released;
            return;
        }
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            m_state = State::Released;
            return;
        }
        QDBusMessage call;
        if (route == Route::Portal) {
            call = QDBusMessage::createMethodCall(
                portalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
            call << QString() << portalIdleFlag << QVariantMap{{QStringLiteral("reason"), reason}};
        } else {
            call = QDBusMessage::createMethodCall(screenSaverService,
                                                  QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                  screenSaverService, QStringLiteral("Inhibit"));
            call << QStringLiteral("Nimbrel") << reason;
            // No screen saver is started just to be told not to start.
            call.setAutoStartService(false);
        }
        m_state = State::Asking;
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, route](QDBusPendingCallWatcher* answer) {
                    answer->deleteLater();
                    answered(route, *answer);
                });
    }

    void answered(Route route, const QDBusPendingCall& answer) {
        const QDBusMessage reply = answer.reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            // Not offered here (or refused): the next route, then nothing, and no error shown.
            // A release asked for meanwhile still stops the next route before it is tried.
            m_state = State::Released;
            m_route = route == Route::Portal ? Route::ScreenSaver : Route::None;
            if (m_wanted)
                ask(m_route);
            return;
        }
        if (route == Route::Portal)
            m_portalRequest = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
        else
            m_cookie = reply.arguments().constFirst().toUInt();
        m_state = State::Held;
        // Released while the desktop was still answering.
        if (!m_wanted)
            drop();
    }

    void drop() {
        m_state = State::Released;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        if (m_route == Route::Portal) {
            if (m_portalRequest.isEmpty())
                return;
            bus.send(QDBusMessage::createMethodCall(
                portalService, m_portalRequest, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Close")));
        } else {
            QDBusMessage call = QDBusMessage::createMethodCall(
                screenSaverService, QStringLiteral("/org/freedesktop/ScreenSaver"),
                screenSaverService, QStringLiteral("UnInhibit"));
            call << m_cookie;
            bus.send(call);
        }
    }

    State m_state = State::Released;
    Route m_route = Route::Portal;
    bool m_wanted = false;
    QString m_portalRequest;
    uint m_cookie = 0;
};

} // namespace

std::unique_ptr<IdleInhibitor> createPlatformIdleInhibitor() {
    return std::make_unique<DBusIdleInhibitor>();
}

} // namespace nimbrel
