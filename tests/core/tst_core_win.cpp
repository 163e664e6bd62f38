// The Windows pieces of the shell: the browser opening through the shell, recorded instead of
// launched, and the settings store in the registry of the current user.

#include "open_url.h"
#include "open_url_win.h"
#include "readsetting.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <QWidget>

#include <optional>

using namespace nimbrel;

namespace {

struct ShellCall {
    HWND owner = nullptr;
    std::optional<QByteArray> operation;
    QByteArray file;
    std::optional<QByteArray> parameters;
    QByteArray directory;
    INT show = 0;
};

std::optional<QByteArray> text(LPCSTR value) {
    return value ? std::optional<QByteArray>(value) : std::nullopt;
}

const QString kRegistryPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Corvane\\Nimbrel");

// The test binary as a second copy of the program: saves one value and is killed at once.
int childSaveThenKill(char** argv) {
    saveSetting(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TerminateProcess(GetCurrentProcess(), 9);
    return 1;
}

} // namespace

class TestShellWin : public QObject {
    Q_OBJECT

private slots:
    void browserOpeningPassesQuotedAddressAndOwner();
    void browserOpeningWithoutOwner();

    void registryKeysMatchWithoutCase();
    void registryAbsentAndEmptyValues();
    void registryKeepsValueOfKilledCopy();
    void cleanup();

private:
    void needsThrowawayRegistry();
};

void TestShellWin::browserOpeningPassesQuotedAddressAndOwner() {
    QList<ShellCall> calls;
    setShellExecuteForTesting([&calls](HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                                       LPCSTR directory, INT show) {
        calls.append({owner, text(operation), file, text(parameters), directory, show});
    });
    QWidget owner;
    openInBrowser(QStringLiteral("https://example.invalid/a page?q=1"), &owner);
    setShellExecuteForTesting({});
    QCOMPARE(calls.size(), 1);
    const ShellCall& call = calls.first();
    QCOMPARE(call.owner, reinterpret_cast<HWND>(owner.winId()));
    QVERIFY(call.owner);
    QVERIFY(!call.operation);
    QCOMPARE(call.file, QByteArray("\"https://example.invalid/a page?q=1\""));
    QVERIFY(!call.parameters);
    QCOMPARE(call.directory, QByteArray("C:\\"));
    QCOMPARE(call.show, SW_SHOW);
}

void TestShellWin::browserOpeningWithoutOwner() {
    QList<ShellCall> calls;
    setShellExecuteForTesting([&calls](HWND owner, LPCSTR, LPCSTR file, LPCSTR, LPCSTR, INT show) {
        calls.append({owner, {}, file, {}, {}, show});
    });
    openInBrowser(QStringLiteral("https://example.invalid/"), nullptr);
    setShellExecuteForTesting({});
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().owner, HWND(nullptr));
    QCOMPARE(calls.first().file, QByteArray("\"https://example.invalid/\""));
}

// The registry cases write the user's real settings key, so they only run where the caller says
// the registry is a throwaway one (scripts/windows test makes a fresh Wine prefix per run).
void TestShellWin::needsThrowawayRegistry() {
    if (qgetenv("NIMBREL_THROWAWAY_REGISTRY") != "1")
        QSKIP("set NIMBREL_THROWAWAY_REGISTRY=1 in a throwaway Wine prefix to write the registry");
    setSettingsFileForTesting(QString());
    QCOMPARE(settingsLocation(), kRegistryPath);
    QSettings(kRegistryPath, QSettings::NativeFormat).clear();
}

void TestShellWin::registryKeysMatchWithoutCase() {
    needsThrowawayRegistry();
    saveSetting(QStringLiteral("FontStrikethru"), QStringLiteral("True"));
    QCOMPARE(readSetting(QStringLiteral("FontStrikeThru"), "False"), QStringLiteral("True"));
    saveSetting(QStringLiteral("FontStrikeThru"), QStringLiteral("False"));
    QCOMPARE(readSetting(QStringLiteral("FONTSTRIKETHRU"), "True"), QStringLiteral("False"));
    // One value in the key, not one per spelling.
    const QStringList names = QSettings(kRegistryPath, QSettings::NativeFormat).childKeys();
    QCOMPARE(names.filter(QStringLiteral("fontstrikethru"), Qt::CaseInsensitive).size(), 1);
}

void TestShellWin::registryAbsentAndEmptyValues() {
    needsThrowawayRegistry();
    QCOMPARE(readSetting(QStringLiteral("Text1"), "San Diego CA"), QStringLiteral("San Diego CA"));
    saveSetting(QStringLiteral("Text1"), QString());
    QCOMPARE(readSetting(QStringLiteral("Text1"), "San Diego CA"), QString());
    QCOMPARE(readSetting(QStringLiteral("Combo1"), 1), QStringLiteral("1"));
}

void TestShellWin::registryKeepsValueOfKilledCopy() {
    needsThrowawayRegistry();
    QProcess child;
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--child-save"), QStringLiteral("Font Color"), QStringLiteral("65280")});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 9);
    QCOMPARE(readSetting(QStringLiteral("font color"), 16777215), QStringLiteral("65280"));
}

// What a case stored must not reach the next program run in the same prefix.
void TestShellWin::cleanup() {
    if (qgetenv("NIMBREL_THROWAWAY_REGISTRY") == "1")
        QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\Corvane"), QSettings::NativeFormat)
            .remove(QStringLiteral("Nimbrel"));
}

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--child-save") == 0)
        return childSaveThenKill(argv);
    QApplication app(argc, argv);
    TestShellWin test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_core_win.moc"
