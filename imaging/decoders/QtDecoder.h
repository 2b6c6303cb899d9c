// Every picture format Qt's image readers know that no decoder of our own
// takes, read by QImageReader with an
// allocation limit. Orientation tags are applied by the reader, formats that
// can reduce on load are asked to, transparent pixels are laid on white and
// an embedded colour profile is converted to sRGB. The PNG and WebP decoders
// take their natural size from here, and leave here what they do not read.
// Results are Format_RGB32.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "Expected.h"

namespace miniskop {

class PictureFile;

struct QtInfo {
    QSize displayed;  // natural size as displayed
    QImage decoded;   // set when the size could only be learnt by decoding
    QByteArray icc;   // with `decoded`: its embedded colour profile, if any
    // What the reader will allocate: the pixels it decodes in the format it
    // decodes to.
    QSize extent;
    QImage::Format format = QImage::Format_Invalid;
};

// Finds the format from the file's content and reads the natural size.
Expected<QtInfo> readQtInfo(const PictureFile& file);

// The picture in sRGB; when `atLeast` (display orientation) is valid and
// smaller, a format that reduces on load is asked for a size that still
// covers it.
Expected<QImage> decodeQt(const PictureFile& file, const QtInfo& info, QSize atLeast);

// The picture scaled to exactly `target` by the area scaler, in sRGB; a
// format that reduces on load is asked for twice the target.
Expected<QImage> decodeQtScaled(const PictureFile& file, const QtInfo& info, QSize target);

// About the most bytes decodeQtScaled(file, info, target) holds: the picture
// as the reader decodes it, its 32-bit copy unless it decodes to 32 bits, and
// the scaling.
qint64 qtScaledBytes(const QtInfo& info, QSize target);

// `image` as Format_RGB32, transparent pixels laid on white; a null image
// when memory runs out. Converts in place when handed the only copy.
QImage flattenOnWhite(QImage image);

}  // namespace miniskop
