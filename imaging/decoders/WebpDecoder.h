// Still WebP pictures decoded straight to thumbnail size: libwebp scales
// while it decodes (area averaging when it shrinks), so the full-size picture
// is never held. Transparent pixels are laid on white as the Qt path does,
// and an embedded ICC profile (ICCP chunk) is converted to sRGB.
// Animated WebP and pictures with an EXIF block (which may carry an
// orientation) are not handled here: the caller decodes them through Qt's
// reader, which also tells every WebP's natural size (QtDecoder.h).
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

// What opening a WebP learns: Qt's reader's view of it (natural size, with
// an EXIF orientation applied), and what decides the memory its decoding
// holds.
struct WebpInfo : QtInfo {
    bool lossless = true;  // as far as the first bytes tell; lossless holds more
    bool alpha = false;
    bool leftToQt = false;  // animated, or with EXIF
    qint64 fileBytes = 0;
};

Expected<WebpInfo> readWebpInfo(const PictureFile& file);

// About the most bytes decodeWebpScaled(file, target) holds: the file, a
// lossless picture whole at 4 bytes a pixel (a lossy one a few rows, and its
// alpha plane), and the decoded and scaled result.
qint64 webpScaledBytes(const WebpInfo& info, QSize target);

// Decodes the WebP `file` scaled to exactly `target`. Where the target is
// larger than the picture along a side, that side is decoded at its natural
// size and enlarged bilinearly by the area scaler. The result is Format_RGB32. std::nullopt means
// "not handled here, use another decoder"; an error means the file is not a readable WebP.
Expected<std::optional<QImage>> decodeWebpScaled(const PictureFile& file, QSize target);

}  // namespace miniskop
