#include "settings_backend.h"

#include "apperror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace nimbrel::detail {

namespace {

// The user reads these; they follow the wording of the platform's own file errors.
QString describeErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("Permission denied");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disk full");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Path not found");
    case EISDIR:
        return QStringLiteral("Path/File access error");
    case EIO:
        return QStringLiteral("Device I/O error");
    default:
        return qt_error_string(error);
    }
}

[[noreturn]] void throwErrno(int error) {
    throw AppError(describeErrno(error));
}

// $XDG_CONFIG_HOME counts only when absolute, as the base directory rules say.
QString configFolder() {
    const QString configured = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return QDir::cleanPath(configured);
    return QDir::cleanPath(QDir::homePath() + QLatin1String("/.config"));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    const int m_fd;
};

void writeAll(int fd, const QByteArray& content) {
    const char* data = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno);
        }
        data += written;
        left -= written;
    }
}

void syncFolder(const QByteArray& folder) {
    const FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        throwErrno(errno);
    // Some file systems cannot sync a folder; the rename is then as safe as they make it.
    if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != ENOTSUP)
        throwErrno(errno);
}

} // namespace

std::unique_ptr<SettingsBackend> platformSettingsBackend() {
    return iniFileSettingsBackend(configFolder() + QLatin1String("/Corvane.ini"));
}

namespace {

// What tells this version of the file from any later one, as far as its status can.
QByteArray stampOf(const struct stat& status) {
    const qint64 fields[] = {qint64(status.st_dev),  qint64(status.st_ino),
                             qint64(status.st_size), qint64(status.st_mtim.tv_sec),
                             status.st_mtim.tv_nsec, qint64(status.st_ctim.tv_sec),
                             status.st_ctim.tv_nsec};
    QByteArray stamp;
    for (const qint64 field : fields)
        stamp += QByteArray::number(field) + ' ';
    return stamp;
}

// File times are coarse: a file changed in place within the same moment can keep its times and
// size. Its status is taken to show every later change only when its times were well in the past
// when it was read.
QByteArray trustedStampOf(const struct stat& status) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    constexpr time_t margin = 2;
    if (status.st_mtim.tv_sec + margin < now.tv_sec && status.st_ctim.tv_sec + margin < now.tv_sec)
        return stampOf(status);
    return {};
}

ssize_t readSome(int fd, char* into, size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, into, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// Whether what is left to read from the file is exactly the content. Comparing costs less than
// reading a big store into a second buffer, and holds it in memory only once.
bool fileHolds(int fd, const QByteArray& content) {
    char buffer[65536];
    qsizetype matched = 0;
    for (;;) {
        const ssize_t got = readSome(fd, buffer, sizeof buffer);
        if (got < 0)
            throwErrno(errno);
        if (got == 0)
            return matched == content.size();
        if (got > content.size() - matched ||
            std::memcmp(content.constData() + matched, buffer, size_t(got)) != 0)
            return false;
        matched += got;
    }
}

} // namespace

bool storeFileHasStamp(const QString& path, const QByteArray& stamp) {
    struct stat status = {};
    return !stamp.isEmpty() && ::stat(QFile::encodeName(path).constData(), &status) == 0 &&
           stampOf(status) == stamp;
}

std::optional<StoreFileContent> readStoreFile(const QString& path, const QByteArray& known) {
    // Non-blocking, so that a pipe put in the file's place cannot hang the program.
    const FileDescriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throwErrno(errno);
    }
    struct stat status = {};
    if (::fstat(fd.get(), &status) != 0)
        throwErrno(errno);
    if (!S_ISREG(status.st_mode))
        throwErrno(EISDIR);
    const QByteArray stamp = trustedStampOf(status);

    if (!known.isNull() && qsizetype(status.st_size) == known.size()) {
        if (fileHolds(fd.get(), known))
            return StoreFileContent{known, stamp};
        if (::lseek(fd.get(), 0, SEEK_SET) != 0)
            throwErrno(errno);
    }

    // Read into one buffer of the size the file has, so a big store is held once, not in the
    // doubling steps of a growing buffer; a file that grows meanwhile is still read to its end.
    QByteArray content;
    content.reserve(qsizetype(status.st_size) + 1);
    for (;;) {
        if (content.capacity() == content.size())
            content.reserve(content.size() * 2 + 16384);
        const qsizetype before = content.size();
        content.resize(content.capacity());
        const ssize_t got =
            readSome(fd.get(), content.data() + before, size_t(content.size() - before));
        content.resize(before + qMax<ssize_t>(got, 0));
        if (got < 0)
            throwErrno(errno);
        if (got == 0)
            break;
    }
    return StoreFileContent{std::move(content), stamp};
}

namespace {

// A store kept as a link (a dotfile folder) stays a link, and so does every link of a chain
// (a dotfile folder linking into another): only the file at its end is replaced. Relative
// targets count from their link's folder. Throws AppError for a chain that never ends.
QByteArray replacedFile(const QString& path) {
    QByteArray current = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    // As many as the kernel follows before it calls a chain a loop.
    constexpr int maxLinks = 40;
    for (int followed = 0; followed <= maxLinks; ++followed) {
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(current.constData(), target.data(), size_t(PATH_MAX));
        // Not a link (or nothing there yet, which the save creates): the end of the chain.
        if (length < 0)
            return current;
        if (length >= PATH_MAX)
            throwErrno(ENAMETOOLONG);
        target.truncate(length);
        if (target.startsWith('/'))
            current = target;
        else
            current = current.left(current.lastIndexOf('/') + 1) + target;
    }
    throwErrno(ELOOP);
}

QByteArray folderOf(const QByteArray& file) {
    const qsizetype slash = file.lastIndexOf('/');
    return slash > 0 ? file.left(slash) : QByteArray("/");
}

bool isLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Temporaries carry a marker of this program's own that no user gives a copy of the store, and
// the clean-up takes nothing without it: a user's "Corvane.ini.backup" is owner-only like the
// store itself, so neither its name's shape nor its mode tells it from a leftover.
const char temporaryMarker[] = ".nimbrel-save-";
constexpr qsizetype temporaryUniqueLength = 6;

bool isOwnTemporary(const QByteArray& entry, const QByteArray& storeName) {
    const QByteArray prefix = storeName + temporaryMarker;
    if (entry.size() != prefix.size() + temporaryUniqueLength || !entry.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < entry.size(); ++i) {
        if (!isLetterOrDigit(entry.at(i)))
            return false;
    }
    return true;
}

} // namespace

void removeLeftoverTemporaries(const QString& path) {
    QByteArray target;
    try {
        target = replacedFile(path);
    } catch (const AppError&) {
        return; // a looping chain has no folder to clear; its saves fail on their own
    }
    const QByteArray storeName = target.mid(target.lastIndexOf('/') + 1);
    DIR* listing = ::opendir(folderOf(target).constData());
    if (!listing)
        return;
    const int folderFd = ::dirfd(listing);
    const time_t now = ::time(nullptr);
    constexpr time_t minute = 60;
    while (const dirent* entry = ::readdir(listing)) {
        if (!isOwnTemporary(QByteArray(entry->d_name), storeName))
            continue;
        struct stat status = {};
        if (::fstatat(folderFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
            status.st_mtime + minute < now)
            ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(listing);
}

namespace {

int failModesWith = 0;

int setMode(int fd, mode_t mode) {
    if (failModesWith != 0) {
        errno = failModesWith;
        return -1;
    }
    return ::fchmod(fd, mode);
}

// File systems without Unix modes (FAT, exFAT, some shares) refuse to set one. The mode keeps the
// key private where it can; it is no condition of saving.
bool modesUnsupported(int error) {
    return error == ENOSYS || error == EPERM || error == ENOTSUP;
}

// The new content's file beside the store: owner-only from its creation until it has replaced
// the store, so whatever cuts a save off (a kill, a power cut) leaves only a file its owner can
// read, which the clean-up of a later start takes. Removed again unless it replaced the store.
class TemporaryFile {
public:
    explicit TemporaryFile(const QByteArray& target)
        : m_name(target + temporaryMarker + QByteArray(temporaryUniqueLength, 'X')) {
        m_fd = ::mkostemp(m_name.data(), O_CLOEXEC);
        if (m_fd < 0)
            throwErrno(errno);
    }
    ~TemporaryFile() {
        ::close(m_fd);
        if (!m_replaced)
            ::unlink(m_name.constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_fd; }
    void replace(const QByteArray& target) {
        if (::rename(m_name.constData(), target.constData()) != 0)
            throwErrno(errno);
        m_replaced = true;
    }

private:
    QByteArray m_name;
    int m_fd = -1;
    bool m_replaced = false;
};

} // namespace

void failFileModesForTesting(int error) {
    failModesWith = error;
}

void writeStoreFileAtomically(const QString& path, const QList<QByteArray>& content) {
    const QByteArray targetName = replacedFile(path);

    struct stat existing = {};
    const bool exists = ::stat(targetName.constData(), &existing) == 0;
    if (exists) {
        if (!S_ISREG(existing.st_mode))
            throwErrno(EISDIR);
        // The rename would replace a file the user marked read-only; respect the mark. Root's
        // access() allows every file, and a kiosk run as root is frozen by taking the owner's
        // write bit off, so that bit is the mark whoever runs the program.
        if ((existing.st_mode & S_IWUSR) == 0)
            throwErrno(EACCES);
        if (::access(targetName.constData(), W_OK) != 0)
            throwErrno(errno);
    }

    TemporaryFile file(targetName);
    const int fd = file.fd();
    // Created owner-only, but a umask may have taken bits off and that is all it can do; this
    // makes sure of it.
    if (setMode(fd, 0600) != 0 && !modesUnsupported(errno))
        throwErrno(errno);
    for (const QByteArray& piece : content)
        writeAll(fd, piece);
    if (::fsync(fd) != 0)
        throwErrno(errno);
    if (exists && existing.st_uid != ::geteuid() &&
        ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // Only root can give the file back to its owner; anyone else keeps it as their own.
    }
    file.replace(targetName);
    // The store's own mode only now that it is in place: a save cut off even at the rename
    // leaves nobody else able to read the key. Cut off here, the store stays owner-only, which
    // hides nothing from its owner. A new store keeps the owner-only mode.
    if (exists && (existing.st_mode & 07777) != 0600)
        (void)setMode(fd, existing.st_mode & 07777);
    syncFolder(folderOf(targetName));
}

} // namespace nimbrel::detail
