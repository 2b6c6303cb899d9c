// JPEG pictures: told by their start-of-image marker, read through libjpeg
// at the smallest DCT scale that still covers the size asked for
// (JpegRows.h), turned as their EXIF orientation says and converted from
// their embedded colour profile to sRGB. For a thumbnail the rows go into the
// area scaler as they are decoded, so the reduced picture is never held
// whole.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <memory>

#include "Expected.h"
#include "JpegRows.h"

namespace miniskop {

class PictureFile;
class SrgbConversion;

struct JpegInfo {
    QSize displayed;      // the natural size as displayed
    int orientation = 1;  // EXIF orientation 1..8 of the stored pixels
    // The embedded profile's conversion to sRGB; null without one.
    std::shared_ptr<const SrgbConversion> conversion;
    JpegLayout layout;  // what decoding it holds depends on
};

// True when the file starts with a JPEG start-of-image marker.
bool looksLikeJpeg(const QByteArray& head);

// Reads the header, the EXIF orientation and the colour profile.
Expected<JpegInfo> readJpegInfo(const PictureFile& file);

// The picture as displayed, in sRGB, decoded at the smallest DCT scale whose
// size covers `atLeast` (display orientation; the natural size when it is
// not valid).
Expected<QImage> decodeJpeg(const PictureFile& file, const JpegInfo& info, QSize atLeast);

// The picture scaled to exactly `target` (as displayed), Format_RGB32, in
// sRGB: decoded at a DCT scale that keeps at least twice the target, its rows
// scaled as they arrive.
Expected<QImage> decodeJpegScaled(const PictureFile& file, const JpegInfo& info, QSize target);

// About the most bytes decodeJpegScaled(file, info, target) holds.
qint64 jpegScaledBytes(const JpegInfo& info, QSize target);

}  // namespace miniskop
