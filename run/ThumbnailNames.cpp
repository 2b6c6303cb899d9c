// Thumbnail names of one run and the guard around the list's own pictures.
// See ThumbnailNames.h.
#include "ThumbnailNames.h"

#include <sys/stat.h>

#include <QFile>
#include <optional>

#include "FileNames.h"
#include "RunHost.h"
#include "ThumbNaming.h"

namespace miniskop {
namespace {

// The file `path` names, links followed; none when nothing is there.
std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

}  // namespace

size_t qHash(const FileIdentity& id, size_t seed) noexcept {
    return ::qHash(quint64(id.inode), ::qHash(quint64(id.device), seed));
}

void ThumbnailNameBook::clear() {
    given_.clear();
    written_.clear();
}

bool ThumbnailNameBook::taken(const QString& path) const {
    if (given_.contains(path)) return true;
    if (written_.isEmpty()) return false;
    const std::optional<FileIdentity> id = identityOf(path);
    if (!id) return false;
    const auto it = written_.constFind(*id);
    if (it == written_.constEnd()) return false;
    // Another process may have replaced that file since, and the file system
    // given its number to a new one: only a file still at its own path counts.
    return identityOf(it.value()) == id;
}

QString ThumbnailNameBook::assign(const QString& thumbFolder, const QString& entry,
                                  const QString& neighbourTag, const ThumbSettings& settings) {
    const auto pathFor = [&](const QString& tag) {
        return inThumbnailFolder(thumbFolder, thumbnailStem(entry, tag, settings) + ".jpg");
    };
    QString path = pathFor(neighbourTag);
    if (taken(path)) {
        const QString ownTag = versionTag(entry, Dateiname_ohne_Extension(entry));
        path = pathFor(ownTag);
        for (int n = 2; taken(path); ++n) {
            QString numbered = ownTag;
            numbered.insert(ownTag.size() - 1, QLatin1Char('-') + QString::number(n));
            path = pathFor(numbered);
        }
    }
    given_.insert(path);
    return path;
}

void ThumbnailNameBook::recordWritten(const QString& path) {
    if (const std::optional<FileIdentity> id = identityOf(path)) written_.insert(*id, path);
}

void ListedPictures::clear() {
    folder_.clear();
    count_ = -1;
    pictures_.clear();
}

QString ListedPictures::pictureAt(const QString& path, const RunHost& host) {
    const std::optional<FileIdentity> id = identityOf(path);
    if (!id) return {};
    const QString folder = withClosingSeparator(host.fileListPath());
    const int count = host.fileListCount();
    if (folder != folder_ || count != count_) {
        // Read once per list: a run over thousands of existing thumbnails asks
        // for every one of them.
        pictures_.clear();
        for (int i = 0; i < count; ++i) {
            const QString picture = folder + host.fileListEntry(i);
            if (const std::optional<FileIdentity> pid = identityOf(picture))
                pictures_.insert(*pid, picture);
        }
        folder_ = folder;
        count_ = count;
    }
    return pictures_.value(*id);
}

}  // namespace miniskop
