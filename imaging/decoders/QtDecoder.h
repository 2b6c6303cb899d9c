// Decoding of every picture format Qt's image readers know (BMP, GIF first
// frame, PNG, WebP, ...). Orientation tags are applied by the reader, formats
// that can reduce on load are asked to, and transparent pixels are laid on
// white. Results are Format_RGB32.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include "Expected.h"

namespace miniskop {

class PictureFile;

struct QtPictureInfo {
    QSize displayed;          // natural size as displayed
    bool swapsSides = false;  // the file's orientation exchanges width and height
    QImage decoded;           // set when the size could only be learnt by decoding
    QByteArray icc;           // with `decoded`: its embedded colour profile, if any
};

// Finds the format from the file's content and reads the natural size.
Expected<QtPictureInfo> readQtPictureInfo(const PictureFile& file);

// Decodes `file`; when `atLeast` (display orientation) is valid and smaller,
// a format that reduces on load is asked for a size that still covers it.
// `icc`, when given, receives the ICC profile embedded in the file (empty
// without one); colour descriptions of other kinds (a PNG's gAMA and cHRM)
// are not profiles and leave it empty.
Expected<QImage> decodeQtPicture(const PictureFile& file, QSize atLeast, QByteArray* icc = nullptr);

// `image` as Format_RGB32, transparent pixels laid on white; a null image
// when memory runs out. Converts in place when handed the only copy.
QImage flattenOnWhite(QImage image);

}  // namespace miniskop
