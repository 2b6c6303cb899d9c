// Opening and reading a picture file. See PictureFile.h.
#include "PictureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <cerrno>
#include <cstring>
#include <utility>

#include "FileNameBytes.h"

namespace miniskop {

namespace {

// Where the system lets a descriptor be opened again by name, libraries that
// open by name read through it.
bool descriptorNamesWork() {
    static const bool works = QDir(QStringLiteral("/proc/self/fd")).exists();
    return works;
}

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

bool isRegularFile(const QString& path) {
    struct stat st {};
    return ::stat(nameToBytes(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Opens `path` for reading without ever waiting: anything but a regular file
// (a FIFO without a writer, a device, a folder) is refused before and after
// opening. Returns the descriptor, or -1 with `why` set.
int openRegularFile(const QString& path, QString& why) {
    const QByteArray name = nameToBytes(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        why = systemReason(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = QStringLiteral("not a regular file");
        return -1;
    }
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        why = systemReason(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = QStringLiteral("not a regular file");
        return -1;
    }
    // Without effect on regular files, but nothing later should see it.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

Expected<PictureFile> PictureFile::open(const QString& path) {
    QString why;
    const int fd = openRegularFile(path, why);
    if (fd < 0) return fail(QStringLiteral("cannot open: %1").arg(why));
    return PictureFile(path, fd);
}

PictureFile::PictureFile(QString path, int fd)
    : path_(std::move(path)),
      readPath_(descriptorNamesWork() ? QStringLiteral("/proc/self/fd/%1").arg(fd) : path_),
      fd_(fd) {}

PictureFile::PictureFile(PictureFile&& other) noexcept
    : path_(std::move(other.path_)),
      readPath_(std::move(other.readPath_)),
      fd_(std::exchange(other.fd_, -1)) {}

PictureFile& PictureFile::operator=(PictureFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        path_ = std::move(other.path_);
        readPath_ = std::move(other.readPath_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

PictureFile::~PictureFile() {
    if (fd_ >= 0) ::close(fd_);
}

qint64 PictureFile::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return qint64(st.st_size);
}

qsizetype PictureFile::readAt(qint64 offset, void* out, qsizetype length) const {
    qsizetype got = 0;
    while (got < length) {
        const ssize_t n =
            ::pread(fd_, static_cast<char*>(out) + got, size_t(length - got), off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    return got;
}

QByteArray PictureFile::head(qsizetype length) const {
    QByteArray bytes(length, Qt::Uninitialized);
    bytes.truncate(readAt(0, bytes.data(), length));
    return bytes;
}

std::optional<QByteArray> PictureFile::readAll(qint64 limit) const {
    const qint64 bytes = size();
    if (bytes < 0 || bytes > limit) return std::nullopt;
    return head(qsizetype(bytes));
}

Expected<QString> PictureFile::nameForLibraries() const {
    if (readPath_ == path_ && !isRegularFile(path_))
        return fail(QStringLiteral("cannot open: not a regular file"));
    return readPath_;
}

Failure PictureFile::named(Failure failure) const {
    if (readPath_ != path_) failure.message.replace(readPath_, path_);
    return failure;
}

}  // namespace miniskop
