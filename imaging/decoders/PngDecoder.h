// PNG decoding straight to thumbnail size: libspng hands over one row at a
// time and each row goes into the area scaler at once, so neither the full
// picture nor a reduced copy of it is ever held (one row plus the scaler's
// few accumulator rows; an interlaced picture also keeps its even rows until
// the last pass brings the odd ones). Palette, grey, grey + alpha, RGB and
// RGBA at every bit depth, with or without tRNS, are read; 16-bit samples
// are rounded to 8. Transparent pixels are laid on white exactly as the Qt
// path does, and the samples are taken as stored (no gamma correction, like
// Qt's PNG reader); an embedded ICC profile (iCCP) is converted to sRGB.
// Pictures with an EXIF block (which may carry an orientation) are not
// handled here: the caller decodes them through Qt's reader, which also
// tells every PNG's natural size (QtDecoder.h).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <optional>

#include "Expected.h"
#include "QtDecoder.h"

namespace miniskop {

class PictureFile;

// True when `head` (the file's first bytes, at least 8) is a PNG signature.
bool looksLikePng(const QByteArray& head);

// What opening a PNG learns: Qt's reader's view of it (natural size, with
// an EXIF orientation applied), and what decides the memory its decoding
// holds: the header, whether the file has tRNS or EXIF, the file's size.
struct PngInfo : QtInfo {
    QSize stored;
    int bitDepth = 8;
    int colourType = 2;
    bool interlaced = false;
    bool transparency = false;  // tRNS
    bool exif = false;          // left to Qt's reader
    qint64 fileBytes = 0;
};

// Reads the header (every chunk before the image data) with libspng, so
// that a header no reader could take fails here, in plain words, before Qt's
// reader prints its own messages about it; then Qt's reader tells the size.
Expected<PngInfo> readPngInfo(const PictureFile& file);

// Decodes the PNG `file` scaled to exactly `target`: area averaging where it
// shrinks, bilinear where it grows. The result is Format_RGB32. std::nullopt
// means "not handled here, use another decoder"; an error means the file is
// not a readable PNG.
Expected<std::optional<QImage>> decodePngScaled(const PictureFile& file, QSize target);

// About the most bytes making a thumbnail of `target` holds: inflated at
// once (PngFastPath.h), streamed row by row (an interlaced picture keeping
// half of it), or read whole by Qt's reader when the file has EXIF.
qint64 pngScaledBytes(const PngInfo& info, QSize target);

}  // namespace miniskop
