// The store keeps its own ini code (inifile.h) instead of QSettings: the file is shared with other
// programs, so a save has to leave everything but the one key it changes byte for byte as it was
// (other programs' groups and keys, comments, lines that cannot be read, line ends), and keys
// have to match without regard to case, as they do in the registry. QSettings rewrites the whole
// file in its own form and tells keys apart by case.
#include "settings.h"

#include "apperror.h"
#include "inifile.h"
#include "settings_backend.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QThread>
#include <memory>
#include <utility>

namespace nimbrel {

namespace detail {

namespace {

const QString kSection = QStringLiteral("Nimbrel");

// The display reads the store for every line it draws, every second, for days, and a file shared
// with other programs can grow to tens of megabytes. So the file last read is kept with its index
// and gone through again only when it changed: its stamp tells that without reading the file
// where the platform can give one, and otherwise the file is compared with the bytes kept. A
// changed file is always read again, so every read still sees the last write.
struct LastRead {
    QString path;
    QByteArray stamp;
    std::unique_ptr<IniFile> file;
};

struct StoreState {
    // Where the tests put the store; empty for the platform's own place.
    QString testFile;
    LastRead last;
    // Stores whose leftovers of cut-off saves have been cleared away in this process.
    QSet<QString> tidied;
    // The description of the store's failure the user was last told of, until a save goes through.
    QString failureTold;
    // Since a save last gave up on the lock, until one takes it.
    QElapsedTimer gaveUpOnLock;
    bool (*stopRequested)() = nullptr;
};

StoreState& state() {
    static StoreState kept;
    return kept;
}

bool stopRequested() {
    return state().stopRequested != nullptr && state().stopRequested();
}

bool sameBuffer(const QByteArray& a, const QByteArray& b) {
    return a.constData() == b.constData() && a.size() == b.size();
}

// The file as it is now; an absent one reads as empty. Throws AppError when it cannot be read.
const IniFile& currentFile(const QString& path) {
    LastRead& last = state().last;
    const bool kept = last.file && last.path == path;
    if (kept && storeFileHasStamp(path, last.stamp))
        return *last.file;
    std::optional<StoreFileContent> now;
    try {
        now = readStoreFile(path, kept ? last.file->content() : QByteArray());
    } catch (...) {
        last = LastRead{};
        throw;
    }
    if (kept && now && sameBuffer(now->bytes, last.file->content())) {
        last.stamp = now->stamp;
        return *last.file;
    }
    // The old bytes go first, so that a big file is not held twice for longer than it must.
    last = LastRead{};
    last.path = path;
    if (now)
        last.stamp = now->stamp;
    last.file = std::make_unique<IniFile>(now ? std::move(now->bytes) : QByteArray(), kSection);
    return *last.file;
}

QString lockFileOf(const QString& path) {
    return path + QLatin1String(".lock");
}

// An interrupted save of an earlier run may have left its temporary file behind; the first use
// of a store in this process clears them away. A copy that holds the lock is saving, and its
// temporary is no leftover however slow the disk makes it; the clean-up then waits for a later
// start rather than for the lock.
void tidyOnFirstUse(const QString& path) {
    QSet<QString>& tidied = state().tidied;
    if (tidied.contains(path))
        return;
    tidied.insert(path);
    QLockFile lock(lockFileOf(path));
    if (lock.tryLock(0))
        removeLeftoverTemporaries(path);
}

// Two copies of the program may share the file. Each read-change-write holds a lock beside it, so
// no copy writes back a file that the other changed after it was read, undoing that change.
class StoreLock {
public:
    explicit StoreLock(const QString& path) : m_lock(lockFileOf(path)) {
        // A save takes milliseconds; a lock this old belongs to a copy that hangs or died on
        // another machine sharing the folder (a dead one on this machine is noticed at once).
        constexpr int staleAfterMs = 5000;
        m_lock.setStaleLockTime(staleAfterMs);
        if (take())
            return;
        // A folder that cannot take the lock file (read-only, full) cannot take the save either;
        // the save goes on and fails with its own, more telling error.
        if (m_lock.error() == QLockFile::LockFailedError)
            throw AppError(
                QStringLiteral("another copy of Nimbrel is saving the settings and holds their "
                               "lock, so this change could not be stored"));
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    // The wait allows for a busy disk, yet stays short: a window that fills its controls saves
    // one value after another, and the user sees nothing until they are through. Once a wait
    // failed, the rest of such a burst fails at once rather than each waiting in turn. The wait
    // goes in slices so that a request to stop is answered even while another copy hangs.
    bool take() {
        constexpr int waitMs = 2000;
        constexpr int sliceMs = 50;
        constexpr qint64 burstMs = 5000;
        QElapsedTimer& gaveUp = state().gaveUpOnLock;
        const bool inBurst = gaveUp.isValid() && !gaveUp.hasExpired(burstMs);
        const QDeadlineTimer deadline(inBurst ? 0 : waitMs);
        for (;;) {
            if (m_lock.tryLock(0)) {
                gaveUp.invalidate();
                return true;
            }
            if (m_lock.error() != QLockFile::LockFailedError)
                return false;
            if (deadline.hasExpired() || stopRequested())
                break;
            QThread::msleep(
                static_cast<unsigned long>(qMin<qint64>(sliceMs, deadline.remainingTime())));
        }
        gaveUp.start();
        return false;
    }

    QLockFile m_lock;
};

class IniFileBackend : public SettingsBackend {
public:
    explicit IniFileBackend(QString path) : m_path(std::move(path)) { tidyOnFirstUse(m_path); }

    std::optional<QString> read(const QString& key) const override {
        try {
            return currentFile(m_path).value(key);
        } catch (const AppError&) {
            return std::nullopt;
        }
    }

    bool readable() const override {
        try {
            (void)currentFile(m_path);
            return true;
        } catch (const AppError&) {
            return false;
        }
    }

    // Starts from the file as it is now, not from what this copy saw before.
    void write(const SettingChanges& changes) override {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        const StoreLock lock(m_path);
        const IniFile* from = &currentFile(m_path);
        // Every key past the first is changed in the text the earlier ones made.
        std::unique_ptr<IniFile> staged;
        std::optional<QList<QByteArray>> pieces;
        for (qsizetype i = 0; i < changes.size(); ++i) {
            std::optional<QList<QByteArray>> next =
                from->withValue(changes[i].first, changes[i].second);
            if (!next)
                continue;
            pieces = std::move(next);
            if (i + 1 < changes.size()) {
                staged = std::make_unique<IniFile>(pieces->join(), kSection);
                from = staged.get();
                pieces = QList<QByteArray>{staged->content()};
            }
        }
        // Filling a window writes back every value it read; an unchanged file is already on disk.
        if (!pieces)
            return;
        // The pieces point into the kept file, which is let go once they are written: whatever the
        // outcome, it is no longer known to be what is on disk.
        const std::unique_ptr<IniFile> before = std::move(state().last.file);
        state().last = LastRead{};
        writeStoreFileAtomically(m_path, *pieces);
    }

    QString location() const override { return m_path; }

private:
    QString m_path;
};

} // namespace

std::unique_ptr<SettingsBackend> iniFileSettingsBackend(const QString& path) {
    return std::make_unique<IniFileBackend>(path);
}

} // namespace detail

namespace {

// Made afresh for every call, so a new test file or a changed configuration folder counts at once.
std::unique_ptr<detail::SettingsBackend> store() {
    const QString& testFile = detail::state().testFile;
    if (!testFile.isEmpty())
        return detail::iniFileSettingsBackend(testFile);
    return detail::platformSettingsBackend();
}

// Filling a window writes back every value it read, and the program's own saves must not wait
// for or fail on a store that already holds what they write (one locked or read-only).
bool changesNothing(const detail::SettingsBackend& backend, const SettingChanges& changes,
                    const QStringList& shownWhenAbsent) {
    // An absent key counts as holding what is shown for it only in a store that cannot be read;
    // that is asked when the first such key turns up, not again for every one.
    std::optional<bool> readable;
    for (qsizetype i = 0; i < changes.size(); ++i) {
        const auto& [key, value] = changes[i];
        if (const std::optional<QString> held = backend.read(key)) {
            if (*held != value)
                return false;
            continue;
        }
        if (i >= shownWhenAbsent.size() || shownWhenAbsent[i] != value)
            return false;
        if (!readable)
            readable = backend.readable();
        if (*readable)
            return false;
    }
    return true;
}

} // namespace

QString readSetting(const QString& key, const QString& defaultText) {
    if (key.isEmpty())
        return defaultText;
    return store()->read(key).value_or(defaultText);
}

void saveSetting(const QString& key, const QString& value) {
    saveSettings({{key, value}});
}

void saveSettings(const SettingChanges& changes, const QStringList& shownWhenAbsent) {
    for (const auto& change : changes) {
        if (change.first.isEmpty())
            throw AppError(QStringLiteral("Invalid procedure call or argument"));
    }
    const std::unique_ptr<detail::SettingsBackend> backend = store();
    if (changesNothing(*backend, changes, shownWhenAbsent))
        return;
    backend->write(changes);
    detail::state().failureTold.clear();
}

bool storeFailureIsNews(const QString& description) {
    // A program on its way out has nobody left to tell, and a box would hold up the end.
    if (detail::stopRequested())
        return false;
    QString& told = detail::state().failureTold;
    if (told == description)
        return false;
    told = description;
    return true;
}

QString settingsLocation() {
    return store()->location();
}

void setStopRequestCheck(bool (*stopRequested)()) {
    detail::state().stopRequested = stopRequested;
}

void setSettingsFileForTesting(const QString& path) {
    detail::state().testFile = path;
    // Another store: its failures are news, and its lock was not given up on.
    detail::state().failureTold.clear();
    detail::state().gaveUpOnLock.invalidate();
}

} // namespace nimbrel
