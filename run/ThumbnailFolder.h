// The thumbnail folder of a run, opened once: made when missing, refused when
// it is a symbolic link, and from then on every look, write, rename and
// clean-up in it goes through its descriptor, so a link swapped in for it
// during the run redirects nothing. It also knows what may be replaced in it
// (only files this program made) and carries the lock that lets one run at a
// time work in a thumbnail folder.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "Expected.h"

namespace miniskop {

class ThumbnailFolder {
public:
    // The folder `name` (a single name; empty: the picture folder itself) in
    // `pictureFolder`, which is taken as the user named it. With `create`
    // the folder is made when missing (one level). The message of a failure
    // names the folder and the reason.
    static Expected<ThumbnailFolder> open(const QString& pictureFolder, const QString& name,
                                          bool create);

    ThumbnailFolder(ThumbnailFolder&& other) noexcept;
    ThumbnailFolder& operator=(ThumbnailFolder&& other) noexcept;
    ThumbnailFolder(const ThumbnailFolder&) = delete;
    ThumbnailFolder& operator=(const ThumbnailFolder&) = delete;
    ~ThumbnailFolder();

    // The folder as the run names it (picture folder + folder name).
    const QString& path() const { return path_; }
    // `name` in the folder, as messages and the page name it.
    QString pathOf(const QString& name) const;

    // Takes the lock that one run at a time holds on a thumbnail folder, for
    // as long as this object lives. False when another run holds it; true
    // also where the file system knows no locks.
    bool tryLock();
    // Takes that lock, waiting while another run holds it: `waiting` is
    // called once when the wait begins, `goOn` before every new try (it lets
    // events through, and says false to give up). False when given up.
    bool lock(const std::function<void()>& waiting, const std::function<bool()>& goOn);

    // What stands at a name, for the question whether it may be replaced.
    enum class Occupant {
        Nothing,  // no file of that name
        Ours,     // a file this program made: it may be replaced
        Foreign,  // anything else: it stays as it is
    };
    // At a thumbnail's name: ours when it is a JPEG carrying our record; at
    // the page's name: ours when it starts as our pages do. In a thumbnail
    // folder of its own (a folder name was given) any regular file there
    // counts as ours too, as older versions' thumbnails and pages carry
    // neither. A link, a folder or a special file never does.
    Occupant thumbnailAt(const QString& name) const;
    Occupant pageAt(const QString& name) const;

    // Writes `bytes` as `name`, whole or not at all, over what `seen` said
    // stood there: where nothing stood, a file that appeared meanwhile stays.
    Status write(const QString& name, QByteArrayView bytes, Occupant seen) const;

    // Removes the temporary files that writers which died left here.
    int removeStaleTemporaries() const;

private:
    ThumbnailFolder(int fd, QString path, bool ownFolder);
    std::optional<QByteArray> head(const QString& name, bool& present) const;

    int fd_ = -1;
    QString path_;
    bool ownFolder_ = false;  // a folder of its own, not the picture folder
};

// The thumbnail folders one run writes into: the one it opened and locked at
// its start, and any other that the list's folder or the folder name, read
// afresh during the run, lead to (opened as found, never made, locked without
// waiting).
class RunFolders {
public:
    void restart(ThumbnailFolder first);
    void clear() { open_.clear(); }
    Expected<const ThumbnailFolder*> at(const QString& pictureFolder, const QString& name);

private:
    std::map<QString, Expected<std::shared_ptr<ThumbnailFolder>>> open_;
};

}  // namespace miniskop
