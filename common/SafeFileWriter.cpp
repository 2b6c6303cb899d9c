// Whole-or-nothing file writing: temporary file beside the target, flush,
// rename. See SafeFileWriter.h.
#include "SafeFileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <QScopeGuard>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "FileIdentity.h"
#include "FileNameBytes.h"

namespace miniskop {
namespace {

std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}

WriteFaultHook& hookSlot() {
    static WriteFaultHook hook;
    return hook;
}

int injectedFault(const QString& path, qsizetype bytes) {
    std::lock_guard lock(hookMutex());
    return hookSlot() ? hookSlot()(path, bytes) : 0;
}

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

Status failure(const QString& path, int err) {
    return fail(QStringLiteral("%1: %2").arg(path, systemReason(err)));
}

int lockExclusive(int fd, int how) {
    int result = 0;
    do {
        result = ::flock(fd, how);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Creates a fresh temporary file in the folder `dirFd` and locks it; returns
// its descriptor and name. A clean-up may take the file between its creation
// and the lock; the lock then holds a file without a name, and another is made.
int createTemporary(int dirFd, QByteArray& nameOut, int& errOut) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        nameOut = QByteArray(kTemporaryPrefix) +
                  QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        const int fd = ::openat(dirFd, nameOut.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            errOut = errno;
            return -1;
        }
        struct stat st {};
        if (lockExclusive(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0) {
            errOut = errno;
            ::close(fd);
            ::unlinkat(dirFd, nameOut.constData(), 0);
            return -1;
        }
        if (st.st_nlink > 0) return fd;
        ::close(fd);  // taken away before the lock: try another name
    }
    errOut = EEXIST;
    return -1;
}

bool writeAll(int fd, QByteArrayView bytes, int& errOut) {
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            errOut = errno;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Takes the temporary file `name` in `dirFd` when no writer holds it.
bool removeIfUnheld(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat held {};
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) return false;
    if (lockExclusive(fd, LOCK_EX | LOCK_NB) != 0) return false;  // a writer is at work
    // Still the same file under that name (not renamed into place meanwhile).
    struct stat named {};
    if (::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (FileIdentity::of(named) != FileIdentity::of(held)) return false;
    return ::unlinkat(dirFd, name, 0) == 0;
}

// A single name: neither empty nor "." or "..", without "/" or NUL.
bool isSingleName(const QByteArray& name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

// Puts the temporary file in place of `target`; with `existing` Refuse only
// where nothing stands. A file system that cannot rename that way is asked
// once more whether anything stands there, and then renamed onto as before.
int renameInto(int dirFd, const char* tmp, const char* target, Existing existing) {
    if (existing == Existing::Replace) return ::renameat(dirFd, tmp, dirFd, target);
    if (::renameat2(dirFd, tmp, dirFd, target, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    struct stat there {};
    if (::fstatat(dirFd, target, &there, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(dirFd, tmp, dirFd, target);
}

// Opens the folder of `path` and splits off the name in it.
int openFolderOf(const QString& path, QString& nameOut) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    nameOut = path.mid(slash + 1);
    const QString folder = slash < 0    ? QStringLiteral(".")
                           : slash == 0 ? QStringLiteral("/")
                                        : path.left(slash);
    return ::open(nameToBytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

bool isTemporaryName(const QString& fileName) {
    const QLatin1String prefix(kTemporaryPrefix);
    if (!fileName.startsWith(prefix)) return false;
    const qsizetype rest = fileName.size() - prefix.size();
    if (rest < 1 || rest > 13) return false;
    for (qsizetype i = prefix.size(); i < fileName.size(); ++i) {
        const char16_t c = fileName.at(i).unicode();
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

int removeStaleTemporaries(const QString& folder) {
    const int fd = ::open(nameToBytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    const int removed = removeStaleTemporariesAt(fd);
    ::close(fd);
    return removed;
}

int removeStaleTemporariesAt(int folderFd) {
    // A reading of its own, so the folder's descriptor is left as it was.
    const int readFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readFd < 0) return 0;
    DIR* dir = ::fdopendir(readFd);
    if (dir == nullptr) {
        ::close(readFd);
        return 0;
    }
    const auto closeDir = qScopeGuard([dir] { ::closedir(dir); });
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(QString::fromLatin1(entry->d_name))) continue;
        if (removeIfUnheld(folderFd, entry->d_name)) ++removed;
    }
    return removed;
}

void setWriteFaultHookForTesting(WriteFaultHook hook) {
    std::lock_guard lock(hookMutex());
    hookSlot() = std::move(hook);
}

Status writeFileAtomically(const QString& path, QByteArrayView bytes, SyncMode mode) {
    QString name;
    const int dirFd = openFolderOf(path, name);
    if (dirFd < 0) return failure(path, errno);
    const Status written = writeFileAtomicallyAt(dirFd, name, path, bytes, mode);
    ::close(dirFd);
    return written;
}

Status writeFileAtomicallyAt(int folderFd, const QString& name, const QString& shownPath,
                             QByteArrayView bytes, SyncMode mode, Existing existing) {
    const QByteArray target = nameToBytes(name);
    if (!isSingleName(target)) return failure(shownPath, EINVAL);
    struct stat there {};
    if (::fstatat(folderFd, target.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(there.st_mode)) {
        return failure(shownPath, EISDIR);
    }

    QByteArray tmpName;
    int err = 0;
    const int fd = createTemporary(folderFd, tmpName, err);
    if (fd < 0) return failure(shownPath, err);
    // A second descriptor keeps the lock after the writing one is closed (and
    // its close has reported any late write error), until the rename is done.
    const int lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (lockFd < 0) {
        err = errno;
        ::close(fd);
        ::unlinkat(folderFd, tmpName.constData(), 0);
        return failure(shownPath, err);
    }
    const auto releaseLock = qScopeGuard([lockFd] { ::close(lockFd); });

    const auto discard = [&](int e) {
        ::close(fd);
        ::unlinkat(folderFd, tmpName.constData(), 0);
        return failure(shownPath, e);
    };

    if (const int fault = injectedFault(shownPath, bytes.size())) {
        // Behave like a write that got part of the way: some bytes land in the
        // temporary file before the error, which must then be cleaned away.
        int ignored = 0;
        writeAll(fd, bytes.first(bytes.size() / 2), ignored);
        return discard(fault);
    }
    if (!writeAll(fd, bytes, err)) return discard(err);
    if (mode == SyncMode::Durable && ::fsync(fd) != 0) return discard(errno);
    if (::close(fd) != 0) {
        err = errno;
        ::unlinkat(folderFd, tmpName.constData(), 0);
        return failure(shownPath, err);
    }
    if (renameInto(folderFd, tmpName.constData(), target.constData(), existing) != 0) {
        err = errno;
        ::unlinkat(folderFd, tmpName.constData(), 0);
        return failure(shownPath, err);
    }
    return Status::success();
}

}  // namespace miniskop
