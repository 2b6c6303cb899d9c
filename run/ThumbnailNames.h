// Who gets which thumbnail file in one run. ThumbnailNameBook applies the
// naming rule picture by picture and makes sure no two pictures of the run
// share a thumbnail; ListedPictures tells whether a path is one of the
// pictures of the run's list, so that a thumbnail is never written over one.
#pragma once

#include <sys/types.h>

#include <QHash>
#include <QSet>
#include <QString>

#include "ThumbSettings.h"

namespace miniskop {

class RunHost;

// A file as the file system knows it (device and inode), whatever the
// spelling of the path that reached it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
size_t qHash(const FileIdentity& id, size_t seed = 0) noexcept;

class ThumbnailNameBook {
public:
    // Forgets every name given: a new run starts.
    void clear();

    // The thumbnail path of `entry`: the naming rule with `neighbourTag`, the
    // tag the entry got from the one before it in the list. When that path was already
    // given to another picture of this run, the entry gets the version tag it
    // would have had next to that namesake ("[jpg-Version]"), and when that
    // is taken as well, the tag with a number ("[jpg-Version-2]", "-3", ...).
    // A path also counts as taken when it names a file this run wrote for
    // another picture under another spelling (a file system blind to case)
    // and that file still stands where it was written.
    QString assign(const QString& thumbFolder, const QString& entry, const QString& neighbourTag,
                   const ThumbSettings& settings);

    // The thumbnail at `path` was written (or kept) for the picture it was
    // given to.
    void recordWritten(const QString& path);

private:
    bool taken(const QString& path) const;

    QSet<QString> given_;
    QHash<FileIdentity, QString> written_;  // file written -> the path it was written at
};

class ListedPictures {
public:
    // The path of the listed picture that `path` is the same file as (also
    // through another spelling, a link or a hard link), or the empty text.
    // The list is read from `host` and read again when its folder or length
    // changes.
    QString pictureAt(const QString& path, const RunHost& host);

    void clear();

private:
    QString folder_;
    int count_ = -1;
    QHash<FileIdentity, QString> pictures_;
};

}  // namespace miniskop
