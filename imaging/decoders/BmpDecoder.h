// BMP pictures, read by our own decoder straight into the area scaler (rows
// as DibRows.h hands them over), so a large BMP is never held whole. Both
// header families are read: OS/2 1.x (12 bytes) and 2.x (16 to 64 bytes),
// and Windows' 40-byte header with its V2, V3, V4 and V5 extensions (52,
// 56, 108, 124 bytes); 1, 2, 4, 8, 16, 24 and 32 bits a pixel; palettes of
// any length up to the depth's (a short one ends where the pixel data
// begins, which is always taken from the file header); bit fields of any
// contiguous widths for 16 and 32 bits (masks in the header, or after a
// 40-byte one for BI_BITFIELDS and BI_ALPHABITFIELDS), each channel scaled
// exactly to 8 bits; RLE4, RLE8 and OS/2's RLE24; bottom-up and top-down.
// An alpha channel (from a mask, or the high byte of 32-bit pixels under a
// V3 or later header) is laid on white when some pixel uses it. Embedded
// colour profiles are not applied. The header is read once, when the file
// is opened; the decoder reads the pixels from there.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "DibRows.h"
#include "Expected.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes) starts with a BMP file header.
bool looksLikeBmp(const QByteArray& head);

struct BmpInfo {
    QSize displayed;
    DibLayout layout;
    qint64 bytesHeld = 0;  // what decoding holds, apart from the result
};

// Reads the file header and the bitmap header with its masks and palette.
Expected<BmpInfo> readBmpInfo(const PictureFile& file);

// The picture scaled to exactly `target`, Format_RGB32.
Expected<QImage> decodeBmpScaled(const PictureFile& file, const BmpInfo& info, QSize target);

// The bitmap header at offset `at` of `file`, with its masks and palette.
// `dataOffset` is where the pixels start (a BMP's file header says); -1
// puts them right after the palette, as in an icon. Fails, in plain words
// without a format name, for what no DIB reader could take.
Expected<DibLayout> readDibLayout(const PictureFile& file, qint64 at, qint64 dataOffset);

}  // namespace miniskop
