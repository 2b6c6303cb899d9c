// Whole-or-nothing file writing: temporary file beside the target, flush,
// rename. See SafeFileWriter.h.
#include "SafeFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <mutex>

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

// Creates a fresh temporary file in `dir`; returns its descriptor and name.
int createTemporary(const QString& dir, QByteArray& nameOut, int& errOut) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = dir + QLatin1Char('/') + QLatin1String(kTemporaryPrefix) +
                             QString::number(QRandomGenerator::global()->generate64(), 36);
        nameOut = QFile::encodeName(name);
        const int fd = ::open(nameOut.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            errOut = errno;
            return -1;
        }
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

}  // namespace

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
