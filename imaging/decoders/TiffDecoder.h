// TIFF pictures through libtiff, read by strips (row by row) or by tiles (a
// band of one tile's height at a time) straight into the area scaler, so a
// large scan is never held whole. The first page is read: grey (either
// polarity), palette, RGB, CMYK and CIE L*a*b* with samples of 1 to 16 bits,
// interleaved or in planes of their own, JPEG-compressed YCbCr, each with or
// without an alpha channel, in any compression libtiff knows, and turned as
// its orientation tag says (TiffRows.h turns the samples into pixels). An
// embedded ICC profile is converted to sRGB (a CMYK one row by row; without
// a profile, CMYK is turned into RGB by plain ink arithmetic). Other layouts
// (floating-point or 32-bit samples, uncompressed YCbCr, ...) are left to
// Qt's TIFF reader. However large the picture, only a band of it is held, so
// its size alone never refuses it; a page whose data ends early fails.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes, at least 4) starts a TIFF or
// BigTIFF file of either byte order.
bool looksLikeTiff(const QByteArray& head);

struct TiffInfo {
    QSize displayed;          // the first page's size, turned as its orientation says
    bool streamable = false;  // a layout this decoder reads (see file comment)
    // What reading it by strips or tiles holds: a decoded row (or tile), a
    // band of a tile's height across the picture, the largest strip or tile
    // as stored (read whole), and the stored width; planes stored apart in
    // strips are read through a handle of libtiff's each.
    qint64 pieceBytes = 0;
    qint64 bandBytes = 0;
    qint64 rawBytes = 0;
    int width = 0;
    int handles = 1;
};

// Reads the first page's header.
Expected<TiffInfo> readTiffInfo(const PictureFile& file);

// The first page scaled to exactly `target` (as displayed), Format_RGB32, in
// sRGB. Fails for a layout that is not streamable.
Expected<QImage> decodeTiffScaled(const PictureFile& file, QSize target);

// About the most bytes decodeTiffScaled(file, target) holds.
qint64 tiffScaledBytes(const TiffInfo& info, QSize target);

}  // namespace miniskop
