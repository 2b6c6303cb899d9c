// What a thumbnail was made from, kept inside the thumbnail JPEG: the
// picture's file name, size and modification time, the settings that shape a
// thumbnail (size bound, enlarge option, quality) and the program's version.
// A re-run with --update keeps a thumbnail whose record is exactly the one
// it would write now, and makes every other one anew.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <optional>

#include "JpegRecord.h"

namespace miniskop {

struct PictureKey;

// The picture file as it is now: its size in bytes (-1 when it cannot be
// read) and its modification time in nanoseconds.
struct PictureState {
    qint64 bytes = -1;
    qint64 modifiedNs = 0;
    friend bool operator==(const PictureState&, const PictureState&) = default;
};
PictureState pictureStateOf(const QString& path);

// The record a thumbnail of `key`'s picture carries.
QByteArray thumbnailRecord(const PictureKey& key);

// `jpeg` with the record of `key` inside.
QByteArray withThumbnailRecord(const QByteArray& jpeg, const PictureKey& key);

// The size of the thumbnail at `jpegPath` when that file is whole and carries
// exactly `key`'s record; none otherwise (missing, cut short, damaged, made
// by another program, from another picture or with other settings).
std::optional<QSize> currentThumbnail(const QString& jpegPath, const PictureKey& key);

// The record and picture size of the file at `path` when it is a whole
// thumbnail of ours (made by this program, from any picture, with any
// settings); none otherwise. A link at the last component is not followed,
// and only a regular file of at most a thumbnail's size is read.
std::optional<JpegRecord> ourThumbnailRecord(const QString& path);

// How many first bytes of a file startsAsOurThumbnail needs.
inline constexpr qsizetype kThumbnailHeadBytes = 4096;

// True when `head`, the first bytes of a file, start as our thumbnails do: a
// JPEG with our record where we put it. Whole or cut short, such a file is a
// thumbnail this program made, never a picture of the user's.
bool startsAsOurThumbnail(QByteArrayView head);

}  // namespace miniskop
