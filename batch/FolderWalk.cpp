// Finding the folders of one call. See FolderWalk.h.
#include "FolderWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "FileIdentity.h"
#include "FileList.h"

namespace miniskop {
namespace {

QString reason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

class Walker {
public:
    Walker(bool recursive, QString pattern, QString thumbnailFolder)
        : recursive_(recursive),
          pattern_(std::move(pattern)),
          thumbnailFolder_(std::move(thumbnailFolder)) {}

    void walkGiven(const QString& folder) {
        struct stat st {};
        if (::stat(QFile::encodeName(folder).constData(), &st) != 0) {
            result_.problems.append(
                QStringLiteral("cannot list %1: %2").arg(folder, reason(errno)));
            return;
        }
        if (!S_ISDIR(st.st_mode)) {
            result_.problems.append(
                QStringLiteral("cannot list %1: %2").arg(folder, reason(ENOTDIR)));
            return;
        }
        if (!recursive_) {
            if (firstVisit(st)) result_.folders.append(folder);
            return;
        }
        // Depth first, each folder before what lies below it.
        std::vector<QString> pending{folder};
        while (!pending.empty()) {
            const QString current = std::move(pending.back());
            pending.pop_back();
            QStringList below;
            if (!visit(current, below)) continue;
            for (auto it = below.crbegin(); it != below.crend(); ++it) pending.push_back(*it);
        }
    }

    FolderWalk take() { return std::move(result_); }

private:
    bool firstVisit(const struct stat& st) {
        const FileIdentity id = FileIdentity::of(st);
        if (seen_.contains(id)) return false;
        seen_.insert(id);
        return true;
    }

    // Runs `folder` when it holds pictures and collects the folders below it,
    // sorted by name. False when it was seen before or cannot be read.
    bool visit(const QString& folder, QStringList& below) {
        const QByteArray encoded = QFile::encodeName(folder);
        struct stat st {};
        if (::stat(encoded.constData(), &st) != 0) {
            result_.problems.append(
                QStringLiteral("cannot read %1: %2").arg(folder, reason(errno)));
            return false;
        }
        if (!firstVisit(st)) return false;
        DIR* dir = ::opendir(encoded.constData());
        if (dir == nullptr) {
            result_.problems.append(
                QStringLiteral("cannot read %1: %2").arg(folder, reason(errno)));
            return false;
        }
        const QString skipped = thumbnailFolder_.isEmpty()
                                    ? QString()
                                    : QDir::cleanPath(folder + '/' + thumbnailFolder_);
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;  // hidden folders, "." and ".."
            const unsigned char type = e->d_type;
            if (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN) continue;
            if (type != DT_DIR) {
                struct stat target {};
                if (::fstatat(::dirfd(dir), e->d_name, &target, 0) != 0 || !S_ISDIR(target.st_mode))
                    continue;
            }
            const QString path = folder + '/' + QFile::decodeName(e->d_name);
            if (path != skipped) below.append(path);
        }
        ::closedir(dir);
        std::sort(below.begin(), below.end(), [](const QString& a, const QString& b) {
            const int folded = a.compare(b, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a < b;
        });

        const Expected<QStringList> pictures = listFolder(folder, pattern_);
        if (!pictures) {
            result_.problems.append(QStringLiteral("cannot read ") + pictures.error().message);
        } else if (!pictures->isEmpty()) {
            result_.folders.append(folder);
        }
        return true;
    }

    bool recursive_;
    QString pattern_;
    QString thumbnailFolder_;
    QSet<FileIdentity> seen_;
    FolderWalk result_;
};

}  // namespace

FolderWalk walkFolders(const QStringList& given, bool recursive, const QString& pattern,
                       const QString& thumbnailFolder, const QString& currentDir) {
    Walker walker(recursive, pattern, thumbnailFolder);
    for (const QString& folder : given)
        walker.walkGiven(QDir::cleanPath(QDir(currentDir).absoluteFilePath(folder)));
    return walker.take();
}

}  // namespace miniskop
