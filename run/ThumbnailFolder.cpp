// The run's thumbnail folder behind one descriptor. See ThumbnailFolder.h.
#include "ThumbnailFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QThread>
#include <cerrno>
#include <cstring>
#include <utility>

#include "FileNameBytes.h"
#include "OverviewPage.h"
#include "RegularFileRead.h"
#include "SafeFileWriter.h"
#include "ThumbnailNaming.h"
#include "ThumbnailRecord.h"

namespace miniskop {
namespace {

// How long a run waiting for another one's thumbnail folder sleeps between
// two looks (events are let through before each).
constexpr unsigned long kLockPollMs = 25;

QString reason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

Unexpected<Failure> failure(const QString& path, const QString& why) {
    return fail(QStringLiteral("%1: %2").arg(path, why));
}

int openFolderAt(int at, const QByteArray& name, int extraFlags) {
    int fd = -1;
    do {
        fd = ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | extraFlags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

Expected<ThumbnailFolder> ThumbnailFolder::open(const QString& pictureFolder, const QString& name,
                                                bool create) {
    const QString path = thumbnailFolder(pictureFolder, name);
    const QByteArray nameBytes = nameToBytes(name);
    if (!name.isEmpty() && (nameBytes == "." || nameBytes == ".." || nameBytes.contains('/') ||
                            nameBytes.contains('\0'))) {
        return failure(path, QStringLiteral("not a single folder name"));
    }
    // The picture folder is the one the user chose, links and all.
    const int pictures = openFolderAt(AT_FDCWD, nameToBytes(pictureFolder), 0);
    if (pictures < 0) return failure(path, reason(errno));
    if (name.isEmpty()) return ThumbnailFolder(pictures, path, false);

    if (create && ::mkdirat(pictures, nameBytes.constData(), 0777) != 0 && errno != EEXIST) {
        const int err = errno;
        ::close(pictures);
        return failure(path, reason(err));
    }
    const int fd = openFolderAt(pictures, nameBytes, O_NOFOLLOW);
    const int err = errno;
    struct stat st {};
    const bool link = fd < 0 &&
                      ::fstatat(pictures, nameBytes.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(st.st_mode);
    ::close(pictures);
    if (fd >= 0) return ThumbnailFolder(fd, path, true);
    if (link) return failure(path, QStringLiteral("a symbolic link, not followed"));
    return failure(path, reason(err));
}

ThumbnailFolder::ThumbnailFolder(int fd, QString path, bool ownFolder)
    : fd_(fd), path_(std::move(path)), ownFolder_(ownFolder) {}

ThumbnailFolder::ThumbnailFolder(ThumbnailFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      ownFolder_(other.ownFolder_) {}

ThumbnailFolder& ThumbnailFolder::operator=(ThumbnailFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        ownFolder_ = other.ownFolder_;
    }
    return *this;
}

ThumbnailFolder::~ThumbnailFolder() {
    // Closing the descriptor also gives up the lock.
    if (fd_ >= 0) ::close(fd_);
}

QString ThumbnailFolder::pathOf(const QString& name) const {
    return inThumbnailFolder(path_, name);
}

bool ThumbnailFolder::tryLock() {
    int result = 0;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 || errno != EWOULDBLOCK;
}

bool ThumbnailFolder::lock(const std::function<void()>& waiting,
                           const std::function<bool()>& goOn) {
    if (tryLock()) return true;
    waiting();
    while (goOn()) {
        if (tryLock()) return true;
        QThread::msleep(kLockPollMs);
    }
    return false;
}

std::optional<QByteArray> ThumbnailFolder::head(const QString& name, bool& present) const {
    struct stat st {};
    present = ::fstatat(fd_, nameToBytes(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!present || !S_ISREG(st.st_mode)) return std::nullopt;
    return readRegularFile(fd_, name, kThumbnailHeadBytes, ReadPart::Head);
}

ThumbnailFolder::Occupant ThumbnailFolder::thumbnailAt(const QString& name) const {
    bool present = false;
    const std::optional<QByteArray> bytes = head(name, present);
    if (!present) return Occupant::Nothing;
    if (!bytes) return Occupant::Foreign;  // a link, a folder, a FIFO, a device
    if (ownFolder_ || startsAsOurThumbnail(*bytes)) return Occupant::Ours;
    return Occupant::Foreign;
}

ThumbnailFolder::Occupant ThumbnailFolder::pageAt(const QString& name) const {
    bool present = false;
    const std::optional<QByteArray> bytes = head(name, present);
    if (!present) return Occupant::Nothing;
    if (!bytes) return Occupant::Foreign;
    if (ownFolder_ || startsAsOverviewPage(*bytes)) return Occupant::Ours;
    return Occupant::Foreign;
}

Status ThumbnailFolder::write(const QString& name, QByteArrayView bytes, Occupant seen) const {
    return writeFileAtomicallyAt(fd_, name, pathOf(name), bytes, SyncMode::Fast,
                                 seen == Occupant::Nothing ? Existing::Refuse : Existing::Replace);
}

int ThumbnailFolder::removeStaleTemporaries() const { return removeStaleTemporariesAt(fd_); }

void RunFolders::restart(ThumbnailFolder first) {
    open_.clear();
    const QString path = first.path();
    open_.emplace(path, std::make_shared<ThumbnailFolder>(std::move(first)));
}

Expected<const ThumbnailFolder*> RunFolders::at(const QString& pictureFolder, const QString& name) {
    const QString path = thumbnailFolder(pictureFolder, name);
    auto it = open_.find(path);
    if (it == open_.end()) {
        Expected<ThumbnailFolder> opened = ThumbnailFolder::open(pictureFolder, name, false);
        Expected<std::shared_ptr<ThumbnailFolder>> entry =
            opened ? Expected<std::shared_ptr<ThumbnailFolder>>(
                         std::make_shared<ThumbnailFolder>(std::move(*opened)))
                   : unexpected(opened.error());
        if (entry && !(*entry)->tryLock()) {
            entry = failure(path, QStringLiteral("another run is working in this folder"));
        }
        it = open_.emplace(path, std::move(entry)).first;
    }
    if (!it->second) return unexpected(it->second.error());
    return static_cast<const ThumbnailFolder*>(it->second->get());
}

}  // namespace miniskop
