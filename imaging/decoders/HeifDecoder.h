// HEIF pictures (HEIC from phones, AVIF) through libheif, with the HEVC and
// AV1 decoders it is built with. The primary image is shown as its rotation
// and mirroring say; transparent pixels are laid on white. When the file
// carries an embedded thumbnail at least twice the target size in both
// directions, that thumbnail is decoded instead of the picture (as the JPEG
// decoder reduces by the DCT scale), so a phone photograph costs a fraction
// of a full decode. Colours described by an ICC profile or by an nclx box with
// other primaries than sRGB's are converted to sRGB.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <vector>

#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes, at least 12) starts a HEIF file
// libheif reads (HEIC, AVIF and their sequence and multi-image brands).
bool looksLikeHeif(const QByteArray& head);

struct HeifInfo {
    QSize displayed;  // the primary image's size as displayed
    // What decoding it holds: the planes as coded (their sampling, sample
    // size and alpha), the decoder's own copies of them (fewer for a grid
    // of tiles), the embedded thumbnails that may be decoded instead, and
    // the file's size.
    std::vector<QSize> thumbnails;
    int bytesPerSample = 1;
    double chromaShare = 2.0;  // chroma samples per pixel: 2 (4:4:4) to 0 (grey)
    bool alpha = false;
    bool grid = false;
    bool av1 = false;
    qint64 fileBytes = 0;
};

Expected<HeifInfo> readHeifInfo(const PictureFile& file);

// About the most bytes decodeHeifScaled(file, target) holds.
qint64 heifScaledBytes(const HeifInfo& info, QSize target);

// The picture scaled to exactly `target` (area averaging where it shrinks,
// bilinear where it grows), Format_RGB32, in sRGB.
Expected<QImage> decodeHeifScaled(const PictureFile& file, QSize target);

}  // namespace miniskop
