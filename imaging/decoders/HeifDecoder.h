// HEIF pictures (HEIC from phones, AVIF) through libheif, with the HEVC and
// AV1 decoders it is built with. The primary image is shown as its rotation
// and mirroring say; transparent pixels are laid on white. When the file
// carries an embedded thumbnail at least twice the target size in both
// directions, that thumbnail is decoded instead of the picture (as the JPEG
// decoder reduces by the DCT scale), so a phone photograph costs a fraction
// of a full decode. Colours described by an ICC profile or by an nclx box with
// other primaries than sRGB's are converted to sRGB. Pictures whose decoded
// size would pass the decoding limit are refused before anything is decoded.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes, at least 12) starts a HEIF file
// libheif reads (HEIC, AVIF and their sequence and multi-image brands).
bool looksLikeHeif(const QByteArray& head);

struct HeifInfo {
    QSize displayed;  // the primary image's size as displayed
};

Expected<HeifInfo> readHeifInfo(const PictureFile& file);

// The picture scaled to exactly `target` (area averaging where it shrinks,
// bilinear where it grows), Format_RGB32, in sRGB.
Expected<QImage> decodeHeifScaled(const PictureFile& file, QSize target);

}  // namespace miniskop
