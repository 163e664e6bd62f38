// Stands in for the desktop's screen saver on a private session bus while scripts/measure-display
// measures the display with its idle inhibition held; reports each call on standard output.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <QTextStream>

#include <cstdio>

class ScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public Q_SLOTS:
    uint Inhibit(const QString& application, const QString&) {
        report(QStringLiteral("inhibit %1 by %2").arg(++m_cookie).arg(application));
        return m_cookie;
    }
    void UnInhibit(uint cookie) { report(QStringLiteral("uninhibit %1").arg(cookie)); }
    void SimulateUserActivity() { report(QStringLiteral("activity")); }

private:
    static void report(const QString& line) {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }
    uint m_cookie = 0;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ScreenSaver saver;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))) {
        std::fprintf(stderr, "cannot offer org.freedesktop.ScreenSaver on the session bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "fake_screensaver.moc"
