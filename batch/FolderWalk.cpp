// Finding the folders of one call. See FolderWalk.h.
#include "FolderWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "FileIdentity.h"
#include "FileList.h"
#include "FileNameBytes.h"
#include "OverviewPage.h"
#include "OverwriteGuard.h"
#include "RegularFileRead.h"

namespace miniskop {
namespace {

QString reason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// The last part of the path a link leads to, links resolved.
QString resolvedName(const QString& path) {
    char resolved[PATH_MAX];
    if (::realpath(nameToBytes(path).constData(), resolved) == nullptr) return {};
    const QString target = nameFromBytes(resolved);
    return target.mid(target.lastIndexOf(QLatin1Char('/')) + 1);
}

class Walker {
public:
    explicit Walker(const FolderWalkRequest& request) : request_(request) {}

    void walkGiven(const QString& folder) {
        struct stat st {};
        if (::stat(nameToBytes(folder).constData(), &st) != 0) {
            result_.problems.append(
                QStringLiteral("cannot list %1: %2").arg(folder, reason(errno)));
            return;
        }
        if (!S_ISDIR(st.st_mode)) {
            result_.problems.append(
                QStringLiteral("cannot list %1: %2").arg(folder, reason(ENOTDIR)));
            return;
        }
        if (!request_.recursive) {
            if (firstVisit(st)) result_.folders.append(folder);
            return;
        }
        // Depth first, each folder before what lies below it.
        std::vector<std::pair<QString, bool>> pending{{folder, true}};
        while (!pending.empty()) {
            const auto [current, given] = std::move(pending.back());
            pending.pop_back();
            QStringList below;
            if (!visit(current, given, below)) continue;
            for (auto it = below.crbegin(); it != below.crend(); ++it)
                pending.emplace_back(*it, false);
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

    // Whether the entry `name` of the folder open at `dirFd` is a folder to
    // enter: a folder, or a link to one when links are followed (and then
    // neither a hidden folder nor a thumbnail folder where it leads).
    bool isFolderToEnter(int dirFd, const QString& folder, const dirent* e) const {
        const QString name = nameFromBytes(e->d_name);
        if (name == request_.thumbnailFolder) return false;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) return true;
        if (type != DT_LNK || !request_.followLinks) return false;
        struct stat target {};
        if (::fstatat(dirFd, e->d_name, &target, 0) != 0 || !S_ISDIR(target.st_mode)) return false;
        const QString leadsTo = resolvedName(folder + QLatin1Char('/') + name);
        return !leadsTo.isEmpty() && !leadsTo.startsWith(QLatin1Char('.')) &&
               leadsTo != request_.thumbnailFolder;
    }

    // A folder holding nothing but what this program made: listed files
    // that are all our thumbnails, or, with none listed, our page.
    bool isOurThumbnailFolder(const QString& folder, const QStringList& pictures) const {
        const QString prefix = withSeparator(folder);
        if (pictures.isEmpty()) {
            if (request_.pageName.isEmpty()) return false;
            const std::optional<QByteArray> head =
                readRegularFile(AT_FDCWD, prefix + request_.pageName, 4096, ReadPart::Head);
            return head && startsAsOverviewPage(*head);
        }
        // Usually the first file already is a picture.
        return std::all_of(pictures.begin(), pictures.end(),
                           [&](const QString& name) { return isOurThumbnail(prefix + name); });
    }

    static QString withSeparator(const QString& folder) {
        return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    }

    // Runs `folder` when it holds pictures and collects the folders below it,
    // sorted by name. False when it was seen before, cannot be read or is a
    // thumbnail folder of ours below a given folder.
    bool visit(const QString& folder, bool given, QStringList& below) {
        const QByteArray encoded = nameToBytes(folder);
        struct stat st {};
        if (::stat(encoded.constData(), &st) != 0) {
            result_.problems.append(
                QStringLiteral("cannot read %1: %2").arg(folder, reason(errno)));
            return false;
        }
        if (!firstVisit(st)) return false;
        const Expected<QStringList> pictures = listFolder(folder, request_.pattern);
        if (!given && pictures && isOurThumbnailFolder(folder, *pictures)) return false;

        DIR* dir = ::opendir(encoded.constData());
        if (dir == nullptr) {
            result_.problems.append(
                QStringLiteral("cannot read %1: %2").arg(folder, reason(errno)));
            return false;
        }
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;  // hidden folders, "." and ".."
            if (isFolderToEnter(::dirfd(dir), folder, e))
                below.append(withSeparator(folder) + nameFromBytes(e->d_name));
        }
        ::closedir(dir);
        std::sort(below.begin(), below.end(), [](const QString& a, const QString& b) {
            const int folded = a.compare(b, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a < b;
        });

        if (!pictures) {
            result_.problems.append(QStringLiteral("cannot read ") + pictures.error().message);
        } else if (!pictures->isEmpty()) {
            result_.folders.append(folder);
        }
        return true;
    }

    const FolderWalkRequest& request_;
    QSet<FileIdentity> seen_;
    FolderWalk result_;
};

}  // namespace

FolderWalk walkFolders(const FolderWalkRequest& request) {
    Walker walker(request);
    for (const QString& folder : request.given)
        walker.walkGiven(QDir::cleanPath(QDir(request.currentDir).absoluteFilePath(folder)));
    return walker.take();
}

}  // namespace miniskop
