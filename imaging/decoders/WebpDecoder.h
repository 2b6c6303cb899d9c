// Still WebP pictures decoded straight to thumbnail size: libwebp scales
// while it decodes (area averaging when it shrinks), so the full-size picture
// is never held. Transparent pixels are laid on white as the Qt path does,
// and an embedded ICC profile (ICCP chunk) is converted to sRGB. The
// orientation an EXIF chunk gives (2 to 8) turns the picture, as for JPEG.
// Animated WebP is decoded through Qt's reader (its first frame), which also
// tells every WebP's natural size (QtDecoder.h).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <optional>

#include "Expected.h"
#include "QtDecoder.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes, at least 12) starts a WebP file.
bool looksLikeWebp(const QByteArray& head);

// What opening a WebP learns: Qt's reader's view of it, its size as stored,
// the EXIF orientation (`displayed` is the size as displayed), and what
// decides the memory its decoding holds.
struct WebpInfo : QtInfo {
    int orientation = 1;
    bool lossless = true;  // as far as the first bytes tell; lossless holds more
    bool alpha = false;
    bool leftToQt = false;  // animated, or too large a file for libwebp's road
    qint64 fileBytes = 0;
};

Expected<WebpInfo> readWebpInfo(const PictureFile& file);

// The orientation (1 to 8) the EXIF chunk of the WebP file `file` gives; 1
// without one.
int webpOrientation(const PictureFile& file);

// Decodes the still WebP `file` scaled to exactly `target` (as displayed).
// Where the target is larger than the picture along a side, that side is
// decoded at its natural size and enlarged bilinearly by the area scaler.
// The result is Format_RGB32. std::nullopt means "an animation, not handled
// here"; an error means the file is not a readable WebP.

// About the most bytes decodeWebpThumbnail(file, info, target) holds: the
// file, a lossless picture whole at 4 bytes a pixel (a lossy one a few rows,
// and its alpha plane), and the decoded and scaled result.
qint64 webpScaledBytes(const WebpInfo& info, QSize target);
Expected<std::optional<QImage>> decodeWebpScaled(const PictureFile& file, QSize target);

// The thumbnail road: decodeWebpScaled, or Qt's reader for an animation;
// turned as the EXIF orientation says.
Expected<QImage> decodeWebpThumbnail(const PictureFile& file, const WebpInfo& info, QSize target);

// The picture as displayed through Qt's reader, reduced on load to cover
// `atLeast` (display orientation) where it is valid and smaller.
Expected<QImage> decodeWebp(const PictureFile& file, const WebpInfo& info, QSize atLeast);

}  // namespace miniskop
