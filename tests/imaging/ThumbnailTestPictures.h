// Test pictures for the decoding and scaling tests: photo-like generated
// pictures, a libjpeg writer for colour, grey and CMYK/YCCK JPEGs with an
// optional APP1 segment, EXIF payloads, an exact area-average reference and
// picture comparison.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "Expected.h"
#include "PictureFile.h"

namespace miniskop::testpics {

// Smooth gradients, noise and hard-edged shapes, Format_RGB32.
QImage photoLike(int width, int height, unsigned seed);

// A picture of one colour.
QImage plain(int width, int height, QRgb colour);

enum class JpegKind { Colour, Grey, Cmyk, Ycck };

struct JpegOptions {
    JpegKind kind = JpegKind::Colour;
    int quality = 95;
    bool progressive = false;
    bool fullChroma = false;  // colour without chroma subsampling (4:4:4)
    QByteArray app1;          // written as an APP1 segment when not empty
};

// Encodes `image` with libjpeg. CMYK/YCCK use Adobe's inverted convention.
bool writeJpeg(const QString& path, const QImage& image, const JpegOptions& options = {});

// Re-encodes the JPEG `from` losslessly (the same quantised coefficients) as
// a progressive or a sequential file.
bool transcodeJpeg(const QString& from, const QString& to, bool progressive);

// An APP1 "Exif" payload whose first IFD holds only the orientation tag.
QByteArray exifWithOrientation(int orientation, bool bigEndian = false);

// Writes raw bytes.
bool writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);

// `bytes` as an open picture file, as the decoders are handed one (its name
// is gone again once it is open).
Expected<PictureFile> pictureFileOf(const QByteArray& bytes);

// Exact area average of `image` to `target` (two-dimensional, in doubles).
QImage referenceAreaAverage(const QImage& image, QSize target);

// Peak signal-to-noise ratio over the three colour channels, in dB.
double psnr(const QImage& a, const QImage& b);

// Largest difference of one channel between two pixels.
int channelDistance(QRgb a, QRgb b);

}  // namespace miniskop::testpics
