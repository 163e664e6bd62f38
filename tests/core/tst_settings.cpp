#include "apperror.h"
#include "readsetting.h"
#include "settings_backend.h"
#include "settingsschema.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace nimbrel;
using namespace Qt::StringLiterals;
using nimbrel::test::TempSettings;

namespace {

const uid_t kNobody = 65534;

// The test binary run as a second copy of the program:
//   --child-save <file> <uid or -1> <file size limit or 0> <kill|wait|exit|die> key value ...
// It reports "saved <key>" after each save, or "error <description>" and exit code 3. Keys
// joined by "+" ("Option1+Option2", values "1+0") are stored in one save.
int childSave(int argc, char** argv) {
    if (argc < 6)
        return 2;
    setSettingsFileForTesting(QString::fromLocal8Bit(argv[2]));
    const long uid = std::atol(argv[3]);
    const long long sizeLimit = std::atoll(argv[4]);
    const QByteArray then = argv[5];
    if (sizeLimit > 0) {
        // "die": the limit kills the copy half-way through its write, as a crash would.
        if (then != "die")
            std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(sizeLimit), rlim_t(sizeLimit)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 4;
    }
    if (uid >= 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0))
        return 4;
    for (int i = 6; i + 1 < argc; i += 2) {
        const QStringList keys = QString::fromLocal8Bit(argv[i]).split(QLatin1Char('+'));
        const QStringList values = QString::fromLocal8Bit(argv[i + 1]).split(QLatin1Char('+'));
        SettingChanges changes;
        for (qsizetype k = 0; k < keys.size() && k < values.size(); ++k)
            changes.append({keys[k], values[k]});
        try {
            saveSettings(changes);
        } catch (const AppError& error) {
            std::printf("error %s\n", error.what());
            std::fflush(stdout);
            return 3;
        }
        std::printf("saved %s\n", argv[i]);
        std::fflush(stdout);
    }
    if (then == "kill")
        std::raise(SIGKILL);
    if (then == "wait")
        (void)std::getchar(); // killed by the parent while it waits here
    return 0;
}

struct ChildRun {
    QStringList lines;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int code = -1;
};

ChildRun runChild(const QString& file, long uid, qint64 sizeLimit, const QString& then,
                  const QStringList& pairs) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--child-save"), file, QString::number(uid),
                            QString::number(sizeLimit), then} +
                    pairs);
    ChildRun run;
    if (!child.waitForFinished(30000))
        child.kill();
    child.waitForFinished(5000);
    run.lines = QString::fromLocal8Bit(child.readAllStandardOutput())
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.status = child.exitStatus();
    run.code = child.exitCode();
    return run;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString saveFailure(const QString& key, const QString& value) {
    try {
        saveSetting(key, value);
        return QString();
    } catch (const AppError& error) {
        return error.description();
    }
}

QStringList folderListing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

bool isRoot() {
    return ::geteuid() == 0;
}

class EnvironmentOverride {
public:
    explicit EnvironmentOverride(const char* name)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name)) {}
    ~EnvironmentOverride() {
        if (m_had)
            qputenv(m_name, m_value);
        else
            qunsetenv(m_name);
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_value;
};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void absentKeyGivesDefaultText();
    void emptyValueIsNotAbsent();
    void keysIgnoreCaseAndStayOneEntry();
    void valuesReadBackExactly_data();
    void valuesReadBackExactly();
    void keysAreSpelledAsQSettingsDoes();
    void readsAFileWrittenByQSettings();
    void everyReadSeesTheFile();
    void unchangedFileIsNotReadAgainButEveryChangeIsSeen();
    void savedValueSurvivesSelfKill();
    void savedValueSurvivesKillByParent();
    void damagedFileKeepsEveryLine();
    void binaryFileStillStartsAndKeepsItsBytes();
    void missingHeaderStillReads();
    void writeFailsWhenParentIsAFile();
    void writeFailsWhenStoreIsAFolder();
    void writeFailsInReadOnlyFolder();
    void writeFailsOnReadOnlyFile();
    void failedWriteLeavesOldFileAndNoDebris();
    void saveGoesThroughAChainOfLinks();
    void replacementKeepsPermissions();
    void interruptedSaveLeavesOnlyAPrivateFileThatIsClearedLater();
    void bigFileKeepsEveryByteAroundTheChanges();
    void twoCopiesLoseNoChange();
    void heldLockCostsOneShortWait();
    void saveCutAtTheRenameLeavesOnlyAPrivateFile();
    void folderWithoutModesStillSaves();
    void platformLocationFollowsXdg();
    void everyKeyRoundTripsWithItsDefault();
};

void TestSettings::absentKeyGivesDefaultText() {
    TempSettings store;
    QCOMPARE(readSetting(QStringLiteral("Text1"), QStringLiteral("San Diego CA")),
             QStringLiteral("San Diego CA"));
    QCOMPARE(readSetting(QStringLiteral("FontBold"), "True"), QStringLiteral("True"));
    QCOMPARE(readSetting(QStringLiteral("Check4"), qint64(1)), QStringLiteral("1"));
    QCOMPARE(readSetting(QStringLiteral("Check1"), 0), QStringLiteral("0"));
    QCOMPARE(readSetting(QStringLiteral("Font Color"), qint64(16777215)),
             QStringLiteral("16777215"));
    QCOMPARE(readSetting(QStringLiteral("Offset"), qint64(-2147483647 - 1)),
             QStringLiteral("-2147483648"));
    // Reading creates nothing.
    QVERIFY(!QFile::exists(store.path()));
}

void TestSettings::emptyValueIsNotAbsent() {
    TempSettings store;
    saveSetting(QStringLiteral("Text1"), QString());
    QCOMPARE(readSetting(QStringLiteral("Text1"), QStringLiteral("San Diego CA")), QString());
    QVERIFY(store.entries().contains(QStringLiteral("Text1")));
    QCOMPARE(store.entries().value(QStringLiteral("Text1")), QString());
    QCOMPARE(readSetting(QStringLiteral("Text2"), QStringLiteral("San Diego CA")),
             QStringLiteral("San Diego CA"));
}

void TestSettings::keysIgnoreCaseAndStayOneEntry() {
    TempSettings store;
    // The font command and the reset commands spell these keys differently.
    saveSetting(QStringLiteral("FontStrikethru"), QStringLiteral("True"));
    saveSetting(QStringLiteral("FontUnderline"), QStringLiteral("True"));
    saveSetting(QStringLiteral("FontStrikeThru"), QStringLiteral("False"));
    saveSetting(QStringLiteral("FONTUNDERLINE"), QStringLiteral("False"));
    saveSetting(QStringLiteral("FontUnderLine"), QStringLiteral("True"));
    QCOMPARE(readSetting(QStringLiteral("FontStrikeThru"), "x"), QStringLiteral("False"));
    QCOMPARE(readSetting(QStringLiteral("fontstrikethru"), "x"), QStringLiteral("False"));
    QCOMPARE(readSetting(QStringLiteral("FontUnderLine"), "x"), QStringLiteral("True"));
    const QMap<QString, QString> entries = store.entries();
    QCOMPARE(entries.keys(), QStringList({u"FontStrikethru"_s, u"FontUnderline"_s}));
    QCOMPARE(entries.value(QStringLiteral("FontStrikethru")), QStringLiteral("False"));
    QCOMPARE(entries.value(QStringLiteral("FontUnderline")), QStringLiteral("True"));

    // A hand-edited file may hold both spellings: the last counts, and the next save leaves one.
    store.writeRaw("[Nimbrel]\nFontStrikethru=True\nCheck1=1\nFONTSTRIKETHRU=False\n");
    QCOMPARE(readSetting(QStringLiteral("FontStrikeThru"), "x"), QStringLiteral("False"));
    saveSetting(QStringLiteral("FontStrikeThru"), QStringLiteral("True"));
    QCOMPARE(readAll(store.path()), QByteArray("[Nimbrel]\nFontStrikethru=True\nCheck1=1\n"));
}

void TestSettings::valuesReadBackExactly_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "San Diego CA";
    QTest::newRow("comma") << "San Diego, CA";
    QTest::newRow("semicolon and equals") << "a;b=c";
    QTest::newRow("quotes") << "say \"hi\" \"";
    QTest::newRow("backslashes") << "C:\\x\\o.cjs\\";
    QTest::newRow("leading and trailing blanks") << "  padded\t ";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("newlines") << "line 1\r\nline 2\nline 3\r";
    QTest::newRow("control then hex digits")
        << QStringLiteral("a") + QChar(u'\x01') + u"BEEF"_s + QChar(u'\0') + u"7"_s;
    QTest::newRow("non-ASCII") << QString::fromUtf8("Zürich – 東京 🌧");
    QTest::newRow("at sign") << "@Variant(abc)";
    QTest::newRow("double at") << "@@";
    QTest::newRow("brackets") << "[Nimbrel]";
    QTest::newRow("comment-like") << "; not a comment";
    QTest::newRow("long") << QString(5000, QLatin1Char('k'));
}

void TestSettings::valuesReadBackExactly() {
    QFETCH(QString, value);
    TempSettings store;
    saveSetting(QStringLiteral("Text1"), value);
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("after"));
    QCOMPARE(readSetting(QStringLiteral("Text1"), "absent"), value);
    QCOMPARE(readSetting(QStringLiteral("APIKey"), "absent"), QStringLiteral("after"));
    // Another ini reader sees the same texts.
    QCOMPARE(store.entries().value(QStringLiteral("Text1")), value);
    QCOMPARE(store.entries().size(), 2);
}

void TestSettings::keysAreSpelledAsQSettingsDoes() {
    TempSettings store;
    saveSetting(QStringLiteral("Font Color"), QStringLiteral("255"));
    saveSetting(QStringLiteral("Background Color"), QStringLiteral("0"));
    saveSetting(QString::fromUtf8("Größe€"), QStringLiteral("1"));
    const QByteArray raw = readAll(store.path());
    QVERIFY2(raw.startsWith("[Nimbrel]\n"), raw.constData());
    QVERIFY2(raw.contains("\nFont%20Color=255\n"), raw.constData());
    QVERIFY2(raw.contains("\nBackground%20Color=0\n"), raw.constData());
    QVERIFY2(raw.contains("\nGr%F6%DFe%U20AC=1\n"), raw.constData());
    QCOMPARE(readSetting(QStringLiteral("FONT COLOR"), qint64(1)), QStringLiteral("255"));
    QCOMPARE(store.entries().keys(),
             QStringList({u"Background Color"_s, u"Font Color"_s, QString::fromUtf8("Größe€")}));
}

void TestSettings::readsAFileWrittenByQSettings() {
    TempSettings store;
    {
        QSettings other(store.path(), QSettings::IniFormat);
        other.beginGroup(QStringLiteral("Nimbrel"));
        other.setValue(QStringLiteral("Font Color"), QStringLiteral("65280"));
        other.setValue(QStringLiteral("Text1"), QStringLiteral(" Paris, FR "));
        other.setValue(QStringLiteral("APIKey"), QStringLiteral("@key\twith\ttabs"));
        other.endGroup();
        other.setValue(QStringLiteral("Other/Check1"), QStringLiteral("1"));
        other.sync();
        QCOMPARE(other.status(), QSettings::NoError);
    }
    QCOMPARE(readSetting(QStringLiteral("font color"), qint64(0)), QStringLiteral("65280"));
    QCOMPARE(readSetting(QStringLiteral("Text1"), "x"), QStringLiteral(" Paris, FR "));
    QCOMPARE(readSetting(QStringLiteral("APIKey"), "x"), QStringLiteral("@key\twith\ttabs"));
    QCOMPARE(readSetting(QStringLiteral("Check1"), "absent"), QStringLiteral("absent"));
}

void TestSettings::everyReadSeesTheFile() {
    TempSettings store;
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("1"));
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("1"));
    store.writeRaw("[Nimbrel]\nCombo1=0\nCheck2=0\n");
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("0"));
    // A write starts from what is in the file now, not from what this copy saw before.
    saveSetting(QStringLiteral("Check1"), QStringLiteral("1"));
    QCOMPARE(readAll(store.path()), QByteArray("[Nimbrel]\nCombo1=0\nCheck2=0\nCheck1=1\n"));
}

// Reads skip an old file whose status is unchanged; no change may be missed because of that,
// whether the file is replaced, rewritten in place with the same size, or given its old times.
void TestSettings::unchangedFileIsNotReadAgainButEveryChangeIsSeen() {
    TempSettings store;
    const QByteArray path = QFile::encodeName(store.path());
    const auto age = [&path] {
        struct timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        QVERIFY(::utimes(path.constData(), past) == 0);
    };
    // Rewritten in place at once, same size: the times are too fresh to be trusted.
    store.writeRaw("[Nimbrel]\nCombo1=0\n");
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("0"));
    store.writeRaw("[Nimbrel]\nCombo1=5\n");
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("5"));

    // Changed in place with its old modification time put back: its change time still tells.
    age();
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("5"));
    QFile file(store.path());
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(17));
    QCOMPARE(file.write("7"), qint64(1));
    file.close();
    age();
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("7"));

    // This program's own write replaces the file; a removed file is absent at once.
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("7"));
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("1"));
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(1)), QStringLiteral("1"));
    QVERIFY(QFile::remove(store.path()));
    QCOMPARE(readSetting(QStringLiteral("Combo1"), qint64(9)), QStringLiteral("9"));
}

void TestSettings::savedValueSurvivesSelfKill() {
    TempSettings store;
    saveSetting(QStringLiteral("Check1"), QStringLiteral("0"));
    const ChildRun run =
        runChild(store.path(), -1, 0, QStringLiteral("kill"),
                 {u"Check1"_s, u"1"_s, u"Text1"_s, u"Oslo, NO"_s, u"fontstrikethru"_s, u"True"_s});
    QCOMPARE(run.status, QProcess::CrashExit);
    QCOMPARE(run.lines,
             QStringList({u"saved Check1"_s, u"saved Text1"_s, u"saved fontstrikethru"_s}));
    QCOMPARE(readSetting(QStringLiteral("Check1"), "x"), QStringLiteral("1"));
    QCOMPARE(readSetting(QStringLiteral("Text1"), "x"), QStringLiteral("Oslo, NO"));
    QCOMPARE(readSetting(QStringLiteral("FontStrikeThru"), "x"), QStringLiteral("True"));
    QCOMPARE(folderListing(QFileInfo(store.path()).absolutePath()),
             QStringList({u"Corvane.ini"_s}));
}

void TestSettings::savedValueSurvivesKillByParent() {
    TempSettings store;
    QProcess child;
    child.start(
        QCoreApplication::applicationFilePath(),
        {u"--child-save"_s, store.path(), u"-1"_s, u"0"_s, u"wait"_s, u"APIKey"_s, u"0123abcd"_s});
    QVERIFY(child.waitForStarted(10000));
    QByteArray out;
    QDeadlineTimer deadline(30000);
    while (!out.contains('\n') && !deadline.hasExpired() && child.state() == QProcess::Running) {
        child.waitForReadyRead(1000);
        out += child.readAllStandardOutput();
    }
    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(out, QByteArray("saved APIKey\n"));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(readSetting(QStringLiteral("apikey"), "x"), QStringLiteral("0123abcd"));
}

void TestSettings::damagedFileKeepsEveryLine() {
    TempSettings store;
    const QByteArray before = "\xEF\xBB\xBF; hand-edited\r\n"
                              "[Other]\r\n"
                              "Check2=from another section\r\n"
                              "[Nimbrel]\r\n"
                              "garbage line without equals\r\n"
                              "Check1=1\r\n"
                              "\xFF\xFE=not text\r\n"
                              "Text1=caf\xC3\xA9 \xFF\r\n"
                              "  Check2 = 0  \r\n"
                              "=no key\r\n"
                              "[Tail]\r\n"
                              "x=y";
    store.writeRaw(before);
    QCOMPARE(readSetting(QStringLiteral("Check1"), qint64(0)), QStringLiteral("1"));
    QCOMPARE(readSetting(QStringLiteral("check2"), qint64(1)), QStringLiteral("0"));
    QCOMPARE(readSetting(QStringLiteral("Text1"), "San Diego CA"), QStringLiteral("San Diego CA"));
    QCOMPARE(readSetting(QStringLiteral("x"), "absent"), QStringLiteral("absent"));

    saveSetting(QStringLiteral("CHECK2"), QStringLiteral("1"));
    saveSetting(QStringLiteral("Text1"), QStringLiteral("Paris"));
    const QByteArray after = "\xEF\xBB\xBF; hand-edited\r\n"
                             "[Other]\r\n"
                             "Check2=from another section\r\n"
                             "[Nimbrel]\r\n"
                             "garbage line without equals\r\n"
                             "Check1=1\r\n"
                             "\xFF\xFE=not text\r\n"
                             "Text1=caf\xC3\xA9 \xFF\r\n"
                             "  Check2 = 1\r\n"
                             "Text1=Paris\r\n"
                             "=no key\r\n"
                             "[Tail]\r\n"
                             "x=y";
    QCOMPARE(readAll(store.path()), after);
    QCOMPARE(readSetting(QStringLiteral("Text1"), "x"), QStringLiteral("Paris"));
    QCOMPARE(readSetting(QStringLiteral("Check2"), "x"), QStringLiteral("1"));
}

void TestSettings::binaryFileStillStartsAndKeepsItsBytes() {
    TempSettings store;
    QByteArray garbage(4096, '\0');
    QRandomGenerator random(20210831);
    for (char& byte : garbage) {
        byte = char(random.bounded(256));
        if (byte == '=')
            byte = '\0';
    }
    store.writeRaw(garbage);
    QCOMPARE(readSetting(QStringLiteral("Check1"), qint64(0)), QStringLiteral("0"));
    saveSetting(QStringLiteral("Check1"), QStringLiteral("1"));
    const QByteArray after = readAll(store.path());
    QVERIFY(after.startsWith(garbage));
    QVERIFY(after.endsWith("[Nimbrel]\nCheck1=1\n"));
    QCOMPARE(readSetting(QStringLiteral("Check1"), qint64(0)), QStringLiteral("1"));
}

void TestSettings::missingHeaderStillReads() {
    TempSettings store;
    store.writeRaw("Check1=1\nFontName=Courier New\n");
    QCOMPARE(readSetting(QStringLiteral("check1"), qint64(0)), QStringLiteral("1"));
    saveSetting(QStringLiteral("FontName"), QStringLiteral("Arial"));
    saveSetting(QStringLiteral("Check4"), QStringLiteral("1"));
    QCOMPARE(readAll(store.path()), QByteArray("Check1=1\nFontName=Arial\nCheck4=1\n"));

    // Lines before the first header are not ours when the section has its own header.
    store.writeRaw("Check1=1\n[Nimbrel]\nCheck4=0");
    QCOMPARE(readSetting(QStringLiteral("Check1"), qint64(0)), QStringLiteral("0"));
    saveSetting(QStringLiteral("Check1"), QStringLiteral("0"));
    QCOMPARE(readAll(store.path()), QByteArray("Check1=1\n[Nimbrel]\nCheck4=0\nCheck1=0\n"));
}

void TestSettings::writeFailsWhenParentIsAFile() {
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("config"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a folder");
    file.close();
    setSettingsFileForTesting(blocker + QLatin1String("/Corvane.ini"));
    const QString failure = saveFailure(QStringLiteral("Check1"), QStringLiteral("1"));
    QCOMPARE(readSetting(QStringLiteral("Check1"), qint64(0)), QStringLiteral("0"));
    setSettingsFileForTesting(QString());
    QCOMPARE(failure, QStringLiteral("Path not found"));
    QCOMPARE(readAll(blocker), QByteArray("not a folder"));
}

void TestSettings::writeFailsWhenStoreIsAFolder() {
    TempSettings store;
    QVERIFY(QDir().mkpath(store.path() + QLatin1String("/inside")));
    QCOMPARE(readSetting(QStringLiteral("Check1"), qint64(0)), QStringLiteral("0"));
    QCOMPARE(saveFailure(QStringLiteral("Check1"), QStringLiteral("1")),
             QStringLiteral("Path/File access error"));
    // Such a store shows each reader its default, and writing that back changes nothing.
    const auto key = settings::Key::ShowLocation;
    const auto user = settings::User::SettingsWindow;
    QVERIFY_THROWS_NO_EXCEPTION(settings::save(key, user, settings::defaultFor(key, user)));
    QVERIFY(QFileInfo(store.path()).isDir());
    QCOMPARE(folderListing(store.path()), QStringList({u"inside"_s}));
    QCOMPARE(folderListing(QFileInfo(store.path()).absolutePath()),
             QStringList({u"Corvane.ini"_s}));
}

// Root passes every permission check, so as root the write is made by a second copy that has
// given up its rights first.
void TestSettings::writeFailsInReadOnlyFolder() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("readonly"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QLatin1String("/Corvane.ini");
    if (isRoot()) {
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        const ChildRun run =
            runChild(path, kNobody, 0, QStringLiteral("exit"), {u"Check1"_s, u"1"_s});
        QCOMPARE(run.lines, QStringList({u"error Permission denied"_s}));
        QCOMPARE(run.code, 3);
    } else {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        setSettingsFileForTesting(path);
        const QString failure = saveFailure(QStringLiteral("Check1"), QStringLiteral("1"));
        setSettingsFileForTesting(QString());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(failure, QStringLiteral("Permission denied"));
    }
    QCOMPARE(folderListing(folder), QStringList());
}

void TestSettings::writeFailsOnReadOnlyFile() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("store"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QLatin1String("/Corvane.ini");
    const QByteArray content = "[Nimbrel]\nCheck1=0\n";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    // Root may write any file; a kiosk frozen this way and run as root stays frozen all the same.
    setSettingsFileForTesting(path);
    const QString failure = saveFailure(QStringLiteral("Check1"), QStringLiteral("1"));
    setSettingsFileForTesting(QString());
    QCOMPARE(failure, QStringLiteral("Permission denied"));
    if (isRoot()) {
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        QVERIFY(::chown(QFile::encodeName(folder).constData(), kNobody, kNobody) == 0);
        QVERIFY(::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
        const ChildRun run =
            runChild(path, kNobody, 0, QStringLiteral("exit"), {u"Check1"_s, u"1"_s});
        QCOMPARE(run.lines, QStringList({u"error Permission denied"_s}));
    }
    QCOMPARE(readAll(path), content);
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0444));
    QCOMPARE(folderListing(folder), QStringList({u"Corvane.ini"_s}));
}

// A write that breaks off half-way (here at the file size limit, as a full disk would) must
// leave the old store whole and no temporary file behind.
void TestSettings::failedWriteLeavesOldFileAndNoDebris() {
    TempSettings store;
    saveSetting(QStringLiteral("Text1"), QString(200, QLatin1Char('a')));
    const QByteArray before = readAll(store.path());
    const ChildRun run = runChild(store.path(), -1, 64, QStringLiteral("exit"),
                                  {u"Text1"_s, QString(300, QLatin1Char('b'))});
    QCOMPARE(run.code, 3);
    QCOMPARE(run.lines, QStringList({QStringLiteral("error ") + qt_error_string(EFBIG)}));
    QCOMPARE(readAll(store.path()), before);
    QCOMPARE(folderListing(QFileInfo(store.path()).absolutePath()),
             QStringList({u"Corvane.ini"_s}));
}

// A dotfile folder may link the store to a link of its own: the save goes to the end of the
// chain, each relative link counted from its own folder, and leaves every link in place.
void TestSettings::saveGoesThroughAChainOfLinks() {
    TempSettings store;
    const QString folder = QFileInfo(store.path()).absolutePath();
    QVERIFY(QDir(folder).mkdir(QStringLiteral("dot")));
    const QString middle = folder + QLatin1String("/dot/mid.ini");
    QCOMPARE(::symlink("dot/mid.ini", QFile::encodeName(store.path()).constData()), 0);
    QCOMPARE(::symlink("../real.ini", QFile::encodeName(middle).constData()), 0);
    // The first save creates the file the chain ends at, the second changes it.
    saveSetting(QStringLiteral("Check1"), QStringLiteral("1"));
    saveSetting(QStringLiteral("Text1"), QStringLiteral("Oslo"));
    QCOMPARE(readAll(folder + QLatin1String("/real.ini")),
             QByteArray("[Nimbrel]\nCheck1=1\nText1=Oslo\n"));
    QVERIFY(QFileInfo(store.path()).isSymLink());
    QVERIFY(QFileInfo(middle).isSymLink());
}

void TestSettings::replacementKeepsPermissions() {
    TempSettings store;
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("secret"));
    const QByteArray name = QFile::encodeName(store.path());
    struct stat status = {};
    // The key is private to its owner from the first write on.
    QCOMPARE(::stat(name.constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));
    QVERIFY(::chmod(name.constData(), 0640) == 0);
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("changed"));
    QCOMPARE(::stat(name.constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0640));
    QCOMPARE(readSetting(QStringLiteral("APIKey"), "x"), QStringLiteral("changed"));
}

// A save killed half-way leaves a temporary file that holds the key: it is the owner's alone
// whatever the store's mode. A later start clears such a file away once it is a minute old, and
// nothing else: not the fresh one of a save going on in another copy, nor the user's own copies
// of the store, owner-only as the store is.
void TestSettings::interruptedSaveLeavesOnlyAPrivateFileThatIsClearedLater() {
    TempSettings store;
    const QString folder = QFileInfo(store.path()).absolutePath();
    saveSetting(QStringLiteral("APIKey"), QString(200, QLatin1Char('k')));
    QVERIFY(::chmod(QFile::encodeName(store.path()).constData(), 0644) == 0);
    for (int i = 0; i < 2; ++i) {
        const ChildRun run = runChild(store.path(), -1, 100, QStringLiteral("die"),
                                      {u"APIKey"_s, QString(300, QLatin1Char('s'))});
        QCOMPARE(run.status, QProcess::CrashExit);
    }
    QStringList leftovers = folderListing(folder);
    // The dead copies' lock stays until the next copy takes it over.
    leftovers.removeAll(QStringLiteral("Corvane.ini.lock"));
    QVERIFY(leftovers.removeAll(QStringLiteral("Corvane.ini")) == 1);
    QCOMPARE(leftovers.size(), 2);
    const auto age = [&folder](const QString& name, time_t seconds) {
        const struct timeval times[2] = {{time(nullptr) - seconds, 0},
                                         {time(nullptr) - seconds, 0}};
        QVERIFY(::utimes(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), times) ==
                0);
    };
    for (const QString& leftover : std::as_const(leftovers)) {
        struct stat status = {};
        QCOMPARE(
            ::stat(QFile::encodeName(folder + QLatin1Char('/') + leftover).constData(), &status),
            0);
        QCOMPARE(status.st_mode & 07777, mode_t(0600));
    }
    age(leftovers.front(), 120);

    QStringList kept{u"Corvane.ini"_s, leftovers.back()};
    for (const QString& name :
         {u"Corvane.ini.backup"_s, u"Corvane.ini.Backup"_s, u"Corvane.ini.before"_s,
          u".Corvane.ini.old123"_s, u".Corvane.ini.backup"_s}) {
        const QString path = folder + QLatin1Char('/') + name;
        QVERIFY(QFile::copy(store.path(), path));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0600) == 0);
        age(name, 120);
        kept << name;
    }
    QCOMPARE(runChild(store.path(), -1, 0, QStringLiteral("exit"), {u"Check1"_s, u"1"_s}).code, 0);
    QStringList listing = folderListing(folder);
    listing.sort();
    kept.sort();
    QCOMPARE(listing, kept);
    QCOMPARE(readSetting(QStringLiteral("APIKey"), "x"), QString(200, QLatin1Char('k')));
}

// Two copies changing different settings at the same moment: no save undoes another's. The one
// adds a key with each save, the other too, while switching the unit, both of its keys in one
// save.
void TestSettings::twoCopiesLoseNoChange() {
    TempSettings store;
    constexpr int saves = 100;
    QStringList first;
    QStringList second;
    for (int i = 0; i < saves; ++i) {
        first << u"First%1"_s.arg(i) << QString::number(i);
        second << u"Second%1"_s.arg(i) << QString::number(i) << u"Option1+Option2"_s
               << (i % 2 == 0 ? u"1+0"_s : u"0+1"_s);
    }
    QProcess copies[2];
    const QStringList common{u"--child-save"_s, store.path(), u"-1"_s, u"0"_s, u"exit"_s};
    copies[0].start(QCoreApplication::applicationFilePath(), common + first);
    copies[1].start(QCoreApplication::applicationFilePath(), common + second);
    for (QProcess& copy : copies) {
        QVERIFY(copy.waitForFinished(60000));
        QVERIFY2(copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0,
                 qPrintable(QString::number(copy.exitStatus()) + u' ' +
                            QString::number(copy.exitCode()) +
                            QString::fromLocal8Bit(copy.readAllStandardOutput().right(100))));
    }
    const QMap<QString, QString> entries = store.entries();
    for (int i = 0; i < saves; ++i) {
        QCOMPARE(entries.value(u"First%1"_s.arg(i)), QString::number(i));
        QCOMPARE(entries.value(u"Second%1"_s.arg(i)), QString::number(i));
    }
    QCOMPARE(entries.value(u"Option1"_s), u"0"_s);
    QCOMPARE(entries.value(u"Option2"_s), u"1"_s);
}

// Another copy hangs holding the lock: what the store already holds is stored without it, and a
// change waits briefly once, then fails at once for the rest of the burst, or at once when the
// program is asked to stop.
void TestSettings::heldLockCostsOneShortWait() {
    TempSettings store;
    saveSetting(u"Check1"_s, u"1"_s);
    const QByteArray before = readAll(store.path());
    QLockFile held(store.path() + u".lock"_s);
    QVERIFY(held.tryLock(0));
    QElapsedTimer took;
    took.start();
    QCOMPARE(saveFailure(u"check1"_s, u"1"_s), QString());
    QVERIFY(took.elapsed() < 500);
    took.restart();
    const QString failure = saveFailure(u"Check1"_s, u"0"_s);
    QVERIFY2(failure.startsWith(u"another copy of Nimbrel is saving"_s), qPrintable(failure));
    QVERIFY(took.elapsed() < 4000); // well before the held lock counts as stale
    took.restart();
    QCOMPARE(saveFailure(u"Check2"_s, u"0"_s), failure);
    QVERIFY(took.elapsed() < 500);
    QCOMPARE(readAll(store.path()), before);

    setSettingsFileForTesting(store.path()); // a new burst
    setStopRequestCheck([] { return true; });
    took.restart();
    QCOMPARE(saveFailure(u"Check2"_s, u"0"_s), failure);
    const qint64 stopping = took.elapsed();
    const bool told = storeFailureIsNews(failure);
    setStopRequestCheck(nullptr);
    QVERIFY(stopping < 500);
    QVERIFY(!told);
}

// A save killed at the very rename (as a log-out's kill can) leaves a file that holds the key:
// it is its owner's alone, whatever the store's mode, and the next start clears it away.
void TestSettings::saveCutAtTheRenameLeavesOnlyAPrivateFile() {
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        QSKIP("strace is not installed");
    TempSettings store;
    const QString folder = QFileInfo(store.path()).absolutePath();
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("old"));
    QVERIFY(::chmod(QFile::encodeName(store.path()).constData(), 0644) == 0);
    QProcess child;
    child.start(strace, {u"-f"_s, u"-o"_s, u"/dev/null"_s, u"-e"_s,
                         u"inject=rename,renameat,renameat2:error=EIO:signal=SIGKILL"_s,
                         QCoreApplication::applicationFilePath(), u"--child-save"_s, store.path(),
                         u"-1"_s, u"0"_s, u"exit"_s, u"APIKey"_s, u"secret"_s});
    QVERIFY(child.waitForFinished(30000));
    if (child.readAllStandardError().contains("ptrace"))
        QSKIP("tracing is not allowed here");
    QCOMPARE(readSetting(QStringLiteral("APIKey"), "x"), QStringLiteral("old"));
    QStringList leftovers = folderListing(folder);
    leftovers.removeAll(u"Corvane.ini"_s);
    leftovers.removeAll(u"Corvane.ini.lock"_s); // the dead copy's lock, taken over by the next
    QCOMPARE(leftovers.size(), 1);
    const QString leftover = folder + QLatin1Char('/') + leftovers.front();
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(leftover).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));
    const struct timeval old[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
    QCOMPARE(::utimes(QFile::encodeName(leftover).constData(), old), 0);
    QCOMPARE(runChild(store.path(), -1, 0, u"exit"_s, {u"Check1"_s, u"1"_s}).code, 0);
    QCOMPARE(folderListing(folder), QStringList({u"Corvane.ini"_s}));
}

// A file system without Unix modes (FAT) refuses every mode: the save goes through without one.
void TestSettings::folderWithoutModesStillSaves() {
    TempSettings store;
    const QString folder = QFileInfo(store.path()).absolutePath();
    for (const int error : {ENOSYS, EPERM, ENOTSUP}) {
        detail::failFileModesForTesting(error);
        const QString failure = saveFailure(QStringLiteral("Check1"), QString::number(error));
        detail::failFileModesForTesting(0);
        QCOMPARE(failure, QString());
        QCOMPARE(readSetting(QStringLiteral("Check1"), "x"), QString::number(error));
    }
    QCOMPARE(folderListing(folder), QStringList({u"Corvane.ini"_s}));
}

// A store that other programs share can grow huge. Every line around the changed ones stays as it
// was, however many there are: groups of others, lines that cannot be read, repeated sections.
void TestSettings::bigFileKeepsEveryByteAroundTheChanges() {
    TempSettings store;
    QRandomGenerator random(8);
    const auto filler = [&random](int lines) {
        QByteArray text;
        for (int i = 0; i < lines; ++i) {
            switch (random.bounded(6)) {
            case 0:
                text += "[Group" + QByteArray::number(i) + "]\n";
                break;
            case 1:
                text += "Check1=not ours " + QByteArray::number(i) + "\r\n";
                break;
            case 2:
                text += "\xFF\xFEText1=\xC0 broken " + QByteArray::number(i) + "\n";
                break;
            case 3:
                text += "; comment [Nimbrel] Text1=" + QByteArray::number(i) + "\n";
                break;
            case 4:
                text += "line without an equals sign " + QByteArray::number(i) + "\n";
                break;
            default:
                text += "key" + QByteArray::number(i) + "=value " + QByteArray::number(i) + "\n";
                break;
            }
        }
        return text;
    };
    const QByteArray head = filler(60000) + "[Other]\n";
    const QByteArray section = "[nimbrel]\r\n"
                               "Text1=Oslo\r\n"
                               "\xFF=broken\r\n"
                               "FontStrikethru=False\r\n";
    const QByteArray middle = "[Other]\n" + filler(60000) + "[Other]\n";
    const QByteArray second = "[NIMBREL]\n"
                              "fontstrikethru=True\n";
    const QByteArray tail = "[Tail]\n" + filler(60000);
    store.writeRaw(head + section + middle + second + tail);
    QVERIFY(head.size() + middle.size() + tail.size() > 3'000'000);

    QCOMPARE(readSetting(QStringLiteral("FontStrikeThru"), "x"), QStringLiteral("True"));
    QCOMPARE(readSetting(QStringLiteral("Check1"), qint64(0)), QStringLiteral("0"));
    QCOMPARE(readSetting(QStringLiteral("key12"), "absent"), QStringLiteral("absent"));
    saveSetting(QStringLiteral("Text1"), QStringLiteral("Bergen"));
    saveSetting(QStringLiteral("FontStrikeThru"), QStringLiteral("False"));
    saveSetting(QStringLiteral("Check1"), QStringLiteral("1"));
    saveSetting(QStringLiteral("Text1"), QStringLiteral("Bergen"));

    // The second spelling of the font key goes; a new key follows the section's last entry, with
    // the line end the file starts with.
    const QByteArray changedSection = "[nimbrel]\r\n"
                                      "Text1=Bergen\r\n"
                                      "\xFF=broken\r\n"
                                      "FontStrikethru=False\r\n"
                                      "Check1=1\n";
    const QByteArray after = readAll(store.path());
    const QByteArray expected = head + changedSection + middle + "[NIMBREL]\n" + tail;
    qsizetype differsAt = 0;
    while (differsAt < qMin(after.size(), expected.size()) &&
           after.at(differsAt) == expected.at(differsAt))
        ++differsAt;
    QVERIFY2(
        after == expected,
        qPrintable(QStringLiteral("differs at byte %1 of %2").arg(differsAt).arg(expected.size())));
    QCOMPARE(readSetting(QStringLiteral("fontstrikethru"), "x"), QStringLiteral("False"));
    QCOMPARE(readSetting(QStringLiteral("TEXT1"), "x"), QStringLiteral("Bergen"));
}

void TestSettings::platformLocationFollowsXdg() {
    QTemporaryDir home;
    const EnvironmentOverride keepHome("HOME");
    const EnvironmentOverride keepXdg("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    setSettingsFileForTesting(QString());

    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(settingsLocation(), home.path() + QLatin1String("/.config/Corvane.ini"));
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(settingsLocation(), home.path() + QLatin1String("/.config/Corvane.ini"));
    const QString xdg = home.filePath(QStringLiteral("xdg/deeper"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdg + QLatin1Char('/')));
    QCOMPARE(settingsLocation(), xdg + QLatin1String("/Corvane.ini"));

    // The folder is made on the first save.
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("0"));
    QCOMPARE(readAll(xdg + QLatin1String("/Corvane.ini")), QByteArray("[Nimbrel]\nCombo1=0\n"));
    QCOMPARE(readSetting(QStringLiteral("combo1"), qint64(1)), QStringLiteral("0"));

    setSettingsFileForTesting(home.filePath(QStringLiteral("elsewhere.ini")));
    QCOMPARE(settingsLocation(), home.filePath(QStringLiteral("elsewhere.ini")));
    setSettingsFileForTesting(QString());
}

namespace {

// Reads the value as its users do, so a default that its own reader cannot convert fails here.
QString readTyped(settings::Key key, settings::User user) {
    using settings::Encoding;
    switch (settings::entry(key).encoding) {
    case Encoding::CheckState:
    case Encoding::ListIndex:
    case Encoding::FontSize:
        return QString::number(settings::whole(key, user));
    case Encoding::OptionFlag:
        return settings::option(key, user) ? QStringLiteral("1") : QStringLiteral("0");
    case Encoding::Boolean:
        return settings::boolean(key, user) ? QStringLiteral("True") : QStringLiteral("False");
    case Encoding::Colour:
        return QString::number(settings::colour(key, user));
    case Encoding::Text:
        return settings::text(key, user);
    }
    return {};
}

} // namespace

// Every user of every key, through the real store: an absent key reads as that user's default,
// the default survives being stored and read back by its own typed reader, and whatever
// spelling a user writes under, every other user reads the same one value.
void TestSettings::everyKeyRoundTripsWithItsDefault() {
    using settings::User;
    const User users[] = {User::SettingsWindow, User::Display,      User::ExitHint,
                          User::FontCommand,    User::ColourWindow, User::KeyWindow,
                          User::OptionsWindow};
    TempSettings store;
    for (const settings::KeyEntry& entry : settings::kKeys) {
        for (const User user : users) {
            const QString expected = settings::defaultFor(entry.key, user);
            QCOMPARE(settings::text(entry.key, user), expected);
            QCOMPARE(readTyped(entry.key, user), expected);
        }
    }
    QVERIFY(!QFile::exists(store.path()));

    for (const settings::KeyEntry& entry : settings::kKeys) {
        for (const User writer : users) {
            const QString value = settings::defaultFor(entry.key, writer);
            settings::save(entry.key, writer, value);
            for (const User reader : users)
                QCOMPARE(readTyped(entry.key, reader), value);
        }
        // A reset leaves the value that users without a default of their own see, for all.
        settings::restoreDefault(entry.key);
        for (const User reader : users)
            QCOMPARE(settings::text(entry.key, reader), QStringView(entry.defaultText).toString());
    }
    // No two keys share an entry, and no key was stored twice under two spellings.
    QCOMPARE(store.entries().size(), qsizetype(settings::kKeys.size()));
}

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--child-save") == 0)
        return childSave(argc, argv);
    QCoreApplication app(argc, argv);
    TestSettings test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings.moc"
