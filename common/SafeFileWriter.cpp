// Whole-or-nothing file writing: temporary file beside the target, flush,
// rename. See SafeFileWriter.h.
#include "SafeFileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "FileIdentity.h"

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

// Creates a fresh temporary file in `dir` and locks it; returns its descriptor
// and name. A clean-up may take the file between its creation and the lock;
// the lock then holds a file without a name, and another is made.
int createTemporary(const QString& dir, QByteArray& nameOut, int& errOut) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = dir + QLatin1Char('/') + QLatin1String(kTemporaryPrefix) +
                             QString::number(QRandomGenerator::global()->generate64(), 36);
        nameOut = QFile::encodeName(name);
        const int fd = ::open(nameOut.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            errOut = errno;
            return -1;
        }
        struct stat st {};
        if (lockExclusive(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0) {
            errOut = errno;
            ::close(fd);
            ::unlink(nameOut.constData());
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
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) return 0;
    const auto closeDir = qScopeGuard([dir] { ::closedir(dir); });
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(QFile::decodeName(entry->d_name))) continue;
        if (removeIfUnheld(::dirfd(dir), entry->d_name)) ++removed;
    }
    return removed;
}

void setWriteFaultHookForTesting(WriteFaultHook hook) {
    std::lock_guard lock(hookMutex());
    hookSlot() = std::move(hook);
}

Status writeFileAtomically(const QString& path, QByteArrayView bytes, SyncMode mode) {
    const QFileInfo target(path);
    if (path.isEmpty() || target.fileName().isEmpty()) return failure(path, EINVAL);
    if (target.isDir()) return failure(path, EISDIR);

    QByteArray tmpName;
    int err = 0;
    const int fd = createTemporary(target.absolutePath(), tmpName, err);
    if (fd < 0) return failure(path, err);
    // A second descriptor keeps the lock after the writing one is closed (and
    // its close has reported any late write error), until the rename is done.
    const int lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (lockFd < 0) {
        err = errno;
        ::close(fd);
        ::unlink(tmpName.constData());
        return failure(path, err);
    }
    const auto releaseLock = qScopeGuard([lockFd] { ::close(lockFd); });

    const auto discard = [&](int e) {
        ::close(fd);
        ::unlink(tmpName.constData());
        return failure(path, e);
    };

    if (const int fault = injectedFault(path, bytes.size())) {
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
        ::unlink(tmpName.constData());
        return failure(path, err);
    }
    if (::rename(tmpName.constData(), QFile::encodeName(path).constData()) != 0) {
        err = errno;
        ::unlink(tmpName.constData());
        return failure(path, err);
    }
    return Status::success();
}

}  // namespace miniskop
