#include "idle_inhibitor.h"

#include "session_bus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

namespace nimbrel {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString screenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString reason = QStringLiteral("Showing the weather full screen");
// The portal's flag for "the session must not go idle".
constexpr uint portalIdleFlag = 8;

// A granted inhibition as the desktop answered it: the portal's request object, or the screen
// saver's cookie. None when the desktop refused.
QVariant grantedToken(const QDBusPendingCall& answer) {
    const QDBusMessage reply = answer.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst();
}

void endInhibition(bool portal, const QVariant& token) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !token.isValid())
        return;
    if (portal) {
        const QString request = qvariant_cast<QDBusObjectPath>(token).path();
        if (!request.isEmpty())
            bus.send(QDBusMessage::createMethodCall(
                portalService, request, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Close")));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        screenSaverService, QStringLiteral("/org/freedesktop/ScreenSaver"), screenSaverService,
        QStringLiteral("UnInhibit"));
    call << token.toUInt();
    bus.send(call);
}

// The desktop portal first (sandboxes and GNOME offer it), else the screen saver's own
// interface (KDE and most others). Each answers with a token that ends the inhibition.
class DBusIdleInhibitor final : public QObject, public IdleInhibitor {
public:
    ~DBusIdleInhibitor() override {
        release();
        // The display went while the desktop was still answering: whatever it grants then is
        // ended as it arrives, or it would stay held for as long as the program runs.
        if (m_state == State::Asking && m_pending && QCoreApplication::instance()) {
            QDBusPendingCallWatcher* pending = m_pending;
            pending->setParent(QCoreApplication::instance());
            const bool portal = m_route == Route::Portal;
            connect(pending, &QDBusPendingCallWatcher::finished, pending,
                    [portal](QDBusPendingCallWatcher* answer) {
                        answer->deleteLater();
                        endInhibition(portal, grantedToken(*answer));
                    });
        }
    }

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
        m_route = route;
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        m_pending = watcher;
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, route](QDBusPendingCallWatcher* answer) {
                    answer->deleteLater();
                    answered(route, *answer);
                });
    }

    void answered(Route route, const QDBusPendingCall& answer) {
        m_token = grantedToken(answer);
        if (!m_token.isValid()) {
            // Not offered here (or refused): the next route, then nothing, and no error shown.
            // A release asked for meanwhile still stops the next route before it is tried.
            m_state = State::Released;
            m_route = route == Route::Portal ? Route::ScreenSaver : Route::None;
            if (m_wanted)
                ask(m_route);
            return;
        }
        m_state = State::Held;
        // Released while the desktop was still answering.
        if (!m_wanted)
            drop();
    }

    void drop() {
        m_state = State::Released;
        endInhibition(m_route == Route::Portal, m_token);
        m_token.clear();
    }

    State m_state = State::Released;
    Route m_route = Route::Portal;
    bool m_wanted = false;
    QVariant m_token;
    QPointer<QDBusPendingCallWatcher> m_pending;
};

} // namespace

std::unique_ptr<IdleInhibitor> createPlatformIdleInhibitor() {
    return std::make_unique<DBusIdleInhibitor>();
}

} // namespace nimbrel
