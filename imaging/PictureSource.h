// Picture decoding (the program's LoadPicture): opens a picture file, tells its
// natural size, and decodes it, reduced on load where the format allows.
//  - JPEG through libjpeg directly, with DCT-domain downscaling: decode at the
//    smallest 1/8-step scale that still covers the requested size.
//  - Windows metafiles (placeable or not) through libwmf, at 96 dpi.
//  - PNG (libspng) and WebP (libwebp) scaled while they decode.
//  - HEIC/AVIF (libheif, from an embedded thumbnail where it is large
//    enough), JPEG XL (libjxl, from its 1:8 stage where that is large
//    enough) and TIFF (libtiff, by strips and tiles) scaled while decoding.
//  - BMP and icons (ICO, CUR) by decoders of our own, BMP rows streamed.
//  - GIF (its first frame on the logical screen) through giflib.
//  - Everything else Qt reads through QImageReader, with setScaledSize
//    where the format supports it.
// EXIF orientation is applied, so natural size and pixels are as displayed.
// Grey, CMYK/YCCK and 16-bit pictures decode to correct colours; transparent
// pixels are laid on white; an embedded colour profile is converted to sRGB
// (ColourProfile.h). The result is always QImage::Format_RGB32.
// A picture whose decoding would take more memory than the decoding limit
// allows is refused as too large (DecodeLimit.h); its pixel count alone
// never refuses it.
// Safe to use from any thread (one PictureSource per thread).
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>

#include "DecodeLimit.h"
#include "Expected.h"

namespace miniskop {

class PictureSource {
public:
    // Reads enough of the file to know its format and natural size.
    static Expected<PictureSource> open(const QString& path);

    PictureSource(PictureSource&&) noexcept;
    PictureSource& operator=(PictureSource&&) noexcept;
    ~PictureSource();

    // Width and height as displayed (after EXIF orientation), in pixels.
    QSize naturalSize() const;

    // Decodes the picture. When `atLeast` is valid and smaller than the natural
    // size, the result may be reduced, but never below `atLeast` in either
    // direction (nor below 1 pixel); otherwise it is the natural size. The
    // aspect ratio of the result matches the natural size up to rounding.
    Expected<QImage> decode(QSize atLeast = QSize()) const;

    // Decodes the picture scaled to exactly `target` (display orientation):
    // area averaging where it shrinks, bilinear where it grows. JPEG rows are
    // scaled as they are decoded, so the reduced picture is never held whole.
    Expected<QImage> decodeScaledTo(QSize target) const;

    // About the most bytes decodeScaledTo(target) holds at once, for the
    // budget shared by the threads that decode: reckoned from the file's
    // header for the road its kind takes (rows in flight, a whole buffer of
    // coefficients or planes, ...), rather more than less.
    qint64 decodeBytes(QSize target) const;

private:
    struct Impl;
    explicit PictureSource(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace miniskop
