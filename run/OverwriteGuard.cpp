// The guard around the list's own pictures. See OverwriteGuard.h.
#include "OverwriteGuard.h"

#include <optional>

#include "FileNames.h"
#include "PictureFile.h"
#include "RunHost.h"
#include "ThumbnailRecord.h"

namespace miniskop {

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

bool isOurThumbnail(const QString& path) {
    const Expected<PictureFile> file = PictureFile::open(path);
    return file && startsAsOurThumbnail(file->head(kThumbnailHeadBytes));
}

}  // namespace miniskop
