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
#include <utility>
#include <vector>

#include "Expected.h"

namespace miniskop {

class PictureFile;
class SrgbConversion;

// What decides the memory libjpeg holds while it decodes a picture.
struct JpegLayout {
    QSize stored;
    // Per component, its sampling factors across and down.
    std::vector<std::pair<int, int>> sampling;
    // Progressive, or components sent in scans of their own: every
    // coefficient of the picture is held until the last scan is read.
    bool multiScan = false;
};

struct JpegHeader {
    QSize stored;         // width and height as stored in the file
    int orientation = 1;  // EXIF orientation 1..8
    QByteArray icc;       // the embedded colour profile, empty without one
    enum class Colours { Rgb, Grey, Cmyk, CmykInverted } colours = Colours::Rgb;
    JpegLayout layout;
};

// Receives the decoded picture row by row, top to bottom.
class JpegRowSink {
public:
    virtual ~JpegRowSink() = default;
    // Told the decoded size before the first row; returning false stops.
    virtual bool begin(QSize decoded) = 0;
    // One row of decoded.width() pixels, 4 bytes each (B, G, R, 0xFF).
    virtual void row(const unsigned char* bgrx) = 0;
    // About the most bytes the sink holds for a picture decoded at `decoded`
    // (none by default).
    virtual qint64 bytesFor(QSize decoded) const {
        Q_UNUSED(decoded);
        return 0;
    }
};

// Reads the header and the EXIF orientation.
Expected<JpegHeader> readJpegHeader(const PictureFile& picture);

// The size libjpeg decodes a `stored` picture to at scale n/8.
QSize jpegScaledSize(QSize stored, int eighths);

// The smallest n in 1..8 whose scaled size covers `atLeast` in both
// directions; 8 when `atLeast` is not a valid size.
int jpegScaleFor(QSize stored, QSize atLeast);

// About the most bytes libjpeg holds while it decodes a picture of `layout`
// at scale eighths/8, with the rows handed out: for a file of several scans
// every coefficient of the whole picture (128 bytes a block of 8 x 8 samples,
// at any scale), else one band of blocks; and its tables.
qint64 jpegDecodeBytes(const JpegLayout& layout, int eighths);

// Decodes `picture` at jpegScaleFor(stored, atLeast) into `sink`. A picture
// whose decoding (libjpeg and the sink) would take more than the decoding
// limit is refused as too large before anything is decoded, and libjpeg's own
// memory is capped at the limit. `cmykProfile`, when set, turns CMYK pixels
// into sRGB in place of the plain ink arithmetic.
Status decodeJpegRows(const PictureFile& picture, QSize atLeast, JpegRowSink& sink,
                      const SrgbConversion* cmykProfile = nullptr);

}  // namespace miniskop
