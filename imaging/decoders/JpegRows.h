// The libjpeg(-turbo) part of the JPEG decoder, for speed and small memory:
// the picture is decoded at the smallest 1/8-step DCT scale whose size still
// covers the size asked for, and its rows are handed out one by one as blue,
// green, red, x pixels, so a caller can scale them on the fly. At a reduced
// scale a progressive file is read only as far as its low-frequency scans, of
// which the reduced output is made. Grey, YCbCr, RGB and CMYK/YCCK (Adobe's
// inverted convention) pictures give correct colours; the embedded ICC
// profile (APP2 segments) is read with the header, and a CMYK picture with a
// profile is converted through it row by row. Corrupt data ends in an error,
// never in an exit or a crash.
#pragma once

#include <QByteArray>
#include <QSize>

#include "Expected.h"

namespace miniskop {

class PictureFile;
class SrgbConversion;

struct JpegHeader {
    QSize stored;         // width and height as stored in the file
    int orientation = 1;  // EXIF orientation 1..8
    QByteArray icc;       // the embedded colour profile, empty without one
    enum class Colours { Rgb, Grey, Cmyk, CmykInverted } colours = Colours::Rgb;
};

// Receives the decoded picture row by row, top to bottom.
class JpegRowSink {
public:
    virtual ~JpegRowSink() = default;
    // Told the decoded size before the first row; returning false stops.
    virtual bool begin(QSize decoded) = 0;
    // One row of decoded.width() pixels, 4 bytes each (B, G, R, 0xFF).
    virtual void row(const unsigned char* bgrx) = 0;
};

// Reads the header and the EXIF orientation.
Expected<JpegHeader> readJpegHeader(const PictureFile& picture);

// The size libjpeg decodes a `stored` picture to at scale n/8.
QSize jpegScaledSize(QSize stored, int eighths);

// The smallest n in 1..8 whose scaled size covers `atLeast` in both
// directions; 8 when `atLeast` is not a valid size.
int jpegScaleFor(QSize stored, QSize atLeast);

// Decodes `picture` at jpegScaleFor(stored, atLeast) into `sink`. Refuses output
// larger than kMaxDecodedBytes and caps libjpeg's own memory at that amount.
// `cmykProfile`, when set, turns CMYK pixels into sRGB in place of the plain
// ink arithmetic.
Status decodeJpegRows(const PictureFile& picture, QSize atLeast, JpegRowSink& sink,
                      const SrgbConversion* cmykProfile = nullptr);

}  // namespace miniskop
