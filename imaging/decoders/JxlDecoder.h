// JPEG XL pictures through libjxl: the first frame, turned as the header's
// orientation says, transparent pixels laid on white. Where the file carries
// a low-resolution (1:8) stage, as every lossy picture does, and that stage
// is still at least twice the target size, decoding stops there, the way the
// JPEG decoder reduces by the DCT scale. Lossy pictures are decoded straight
// to sRGB by libjxl; pictures kept in their own colour space are converted
// from their profile to sRGB.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes, at least 12) starts a JPEG XL
// codestream or container.
bool looksLikeJxl(const QByteArray& head);

struct JxlInfo {
    QSize displayed;  // the picture's size as displayed
    // What decoding it holds: the file, read whole; the output with or
    // without alpha; and libjxl's own buffers, fewer for a picture kept in
    // its own colour space.
    qint64 fileBytes = 0;
    bool alpha = false;
    bool ownColours = false;
    bool recompressedJpeg = false;
};

Expected<JxlInfo> readJxlInfo(const PictureFile& file);

// About the most bytes decodeJxlScaled(file, target) holds.
qint64 jxlScaledBytes(const JxlInfo& info, QSize target);

// The picture scaled to exactly `target` (as displayed), Format_RGB32, in
// sRGB.
Expected<QImage> decodeJxlScaled(const PictureFile& file, QSize target);

}  // namespace miniskop
