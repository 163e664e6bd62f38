#include "settings_backend.h"

#include "apperror.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

#include <io.h>
#include <windows.h>

namespace nimbrel::detail {

namespace {

const wchar_t kSubKey[] = L"Software\\Corvane\\Nimbrel";

QString registryPath() {
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\Corvane\\Nimbrel");
}

// Registry value names match without regard to case by themselves, and QSettings reads the
// registry on every lookup of a fresh object, so another running copy's writes are seen.
class RegistryBackend : public SettingsBackend {
public:
    std::optional<QString> read(const QString& key) const override {
        const QSettings store(registryPath(), QSettings::NativeFormat);
        if (store.status() != QSettings::NoError)
            return std::nullopt;
        const QVariant value = store.value(key);
        if (!value.isValid())
            return std::nullopt;
        return value.toString();
    }

    // Registry values are written one by one and each stands alone, so another copy's change to
    // other keys is never undone; the keys of one choice go in together.
    void write(const QList<std::pair<QString, QString>>& changes) override {
        {
            QSettings store(registryPath(), QSettings::NativeFormat);
            for (const auto& [key, value] : changes)
                store.setValue(key, value);
            store.sync();
            switch (store.status()) {
            case QSettings::NoError:
                break;
            case QSettings::AccessError:
                throw AppError(QStringLiteral("Permission denied"));
            case QSettings::FormatError:
                throw AppError(QStringLiteral("Path/File access error"));
            }
        }
        // The registry writes its hives lazily; flushing makes the change survive a power cut too.
        HKEY handle = nullptr;
        LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, kSubKey, 0, KEY_READ, &handle);
        if (result == ERROR_SUCCESS) {
            result = RegFlushKey(handle);
            RegCloseKey(handle);
        }
        if (result != ERROR_SUCCESS)
            throw AppError(qt_error_string(int(result)));
    }

    QString location() const override { return registryPath(); }
};

AppError fileError(const QFileDevice& file) {
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return AppError(QStringLiteral("Permission denied"));
    case QFileDevice::ResourceError:
        return AppError(QStringLiteral("Disk full"));
    default:
        return AppError(file.errorString());
    }
}

} // namespace

std::unique_ptr<SettingsBackend> platformSettingsBackend() {
    return std::make_unique<RegistryBackend>();
}

// The ini store only serves tests on Windows (the real store is the registry), and their files are
// small: every read reads the file whole.
bool storeFileHasStamp(const QString&, const QByteArray&) {
    return false;
}

std::optional<StoreFileContent> readStoreFile(const QString& path, const QByteArray& known) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile())
        throw AppError(QStringLiteral("Path/File access error"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw fileError(file);
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw fileError(file);
    return StoreFileContent{content == known && !known.isNull() ? known : content, QByteArray()};
}

// The registry leaves no files behind, and the ini files here belong to tests that remove their
// own folders.
void removeLeftoverTemporaries(const QString&) {}

// Windows files have no Unix modes to fail.
void failFileModesForTesting(int) {}

void writeStoreFileAtomically(const QString& path, const QList<QByteArray>& content) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw fileError(file);
    bool written = true;
    for (const QByteArray& piece : content)
        written = written && file.write(piece) == piece.size();
    if (!written || !file.flush()) {
        const AppError error = fileError(file);
        file.cancelWriting();
        throw error;
    }
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    if (handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle)) {
        const DWORD error = GetLastError();
        file.cancelWriting();
        throw AppError(qt_error_string(int(error)));
    }
    if (!file.commit())
        throw fileError(file);
}

} // namespace nimbrel::detail
