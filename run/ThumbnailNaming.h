// How the run names what it writes, all in one place: the thumbnail folder,
// the affix before or after the picture's base name, the version tag for
// pictures that share a base name, ".jpg", and ThumbnailNamer, which names
// the pictures of one list in list order and never gives one thumbnail path
// to two pictures of the run. Pure text but for one question to the file
// system: whether a path is a file this run wrote under another spelling.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include "FileIdentity.h"
#include "ThumbSettings.h"

namespace miniskop {

// Picture folder (with or without closing separator) + nameOrdner, trimmed.
// No separator follows; an empty folder name gives the picture folder itself.
QString thumbnailFolder(const QString& pictureFolder, const ThumbSettings& settings);
// The same with the folder name already trimmed.
QString thumbnailFolder(const QString& pictureFolder, const QString& folderName);

// `name` inside `thumbFolder`: one separator between them, also when the
// folder is the picture folder itself and already ends with one.
QString inThumbnailFolder(const QString& thumbFolder, const QString& name);

// "" or "[<extension without dot>-Version]" when the base name of `entry`
// equals `previousBaseName` (exact, case-sensitive).
QString versionTag(const QString& entry, const QString& previousBaseName);

// Affix + base name + tag (prefix mode) or base name + tag + affix (suffix mode).
QString thumbnailStem(const QString& entry, const QString& tag, const ThumbSettings& settings);

// Names the entries of one list, one after the other in list order: the
// version tag against the entry named before, then the path, then the entry
// becomes the one the next compares with. The run takes the three steps at
// the moments it reads its list; next() takes them for an entry read once.
class ThumbnailNamer {
public:
    // A new list: nothing named yet, and the first entry compares with the
    // empty base name.
    void restart();

    // The version tag of `entry` against the entry named before it.
    QString versionTagOf(const QString& entry) const;

    // The thumbnail path of `entry` with `tag`, its tag from the list. When
    // that path was already given to another picture of this list, the entry
    // gets the version tag it would have had next to that namesake
    // ("[jpg-Version]"), and when that is taken as well, the tag with a
    // number ("[jpg-Version-2]", "-3", ...). A path also counts as taken when
    // it names a file written for another picture under another spelling (a
    // file system blind to case) and that file still stands where it was
    // written.
    QString assign(const QString& thumbFolder, const QString& entry, const QString& tag,
                   const ThumbSettings& settings);

    // `entry` is the one the next entry's version tag compares with.
    void setPrevious(const QString& entry);

    // All three steps for `entry`: its tag, its path, and it becomes the previous.
    QString next(const QString& thumbFolder, const QString& entry, const ThumbSettings& settings);

    // The thumbnail at `path` was written (or kept) for the picture it was
    // given to.
    void recordWritten(const QString& path);

private:
    bool taken(const QString& path) const;

    QString previousBaseName_;
    QSet<QString> given_;
    QHash<FileIdentity, QString> written_;  // file written -> the path it was written at
};

}  // namespace miniskop
