// What the run must never write over: one of the pictures of its own list.
// An empty affix, an empty folder name or a picture named like a thumbnail
// can make a thumbnail's or the page's path name one of them; such a path is
// refused unless the file there is a thumbnail this program made.
#pragma once

#include <QHash>
#include <QString>

#include "FileIdentity.h"

namespace miniskop {

class RunHost;

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

// True when the file at `path` is a thumbnail this program made (any record,
// whole or cut short). It is opened as pictures are: links followed, but never
// waiting, and only a regular file.
bool isOurThumbnail(const QString& path);

}  // namespace miniskop
