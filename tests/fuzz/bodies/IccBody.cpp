// Fuzz body for embedded colour profiles: the input is taken as the ICC
// profile of pixels of every model. A profile may be refused (no
// conversion); one that is taken must convert pixels without going out of
// bounds, leave the fourth byte opaque, and keep a scaled picture's size.
#include "ColourProfile.h"
#include "FuzzBodies.h"

namespace miniskop::fuzz {

void fuzzIcc(const uint8_t* data, size_t size) {
    const QByteArray icc(reinterpret_cast<const char*>(data), qsizetype(size));
    // Every level once in each position, so every table entry gets read.
    uchar pixels[256 * 4];
    for (int i = 0; i < 256; ++i) {
        pixels[4 * i] = uchar(i), pixels[4 * i + 1] = uchar(255 - i);
        pixels[4 * i + 2] = uchar(i * 7), pixels[4 * i + 3] = uchar(i * 13);
    }
    for (PixelModel model :
         {PixelModel::Rgb, PixelModel::Grey, PixelModel::Cmyk, PixelModel::CmykInverted}) {
        const SrgbConversionPtr conversion = SrgbConversion::fromIcc(icc, model);
        if (!conversion) continue;
        check(conversion->model() == model, QStringLiteral("conversion of another model"));
        uchar out[256 * 4];
        if (model == PixelModel::Cmyk || model == PixelModel::CmykInverted) {
            conversion->convertCmyk(pixels, out, 256);
        } else {
            for (int i = 0; i < 256 * 4; ++i) out[i] = i % 4 == 3 ? 0xff : pixels[i];
            conversion->convertInPlace(out, 256);
        }
        for (int i = 0; i < 256; ++i)
            check(out[4 * i + 3] == 0xff, QStringLiteral("x byte changed"));
    }
    if (const SrgbConversionPtr conversion = SrgbConversion::forRgbPixels(icc)) {
        QImage picture(37, 23, QImage::Format_RGB32);
        picture.fill(qRgb(200, 120, 40));
        const QImage scaled = scaleToSrgb(picture, QSize(9, 5), conversion.get());
        check(scaled.size() == QSize(9, 5) && scaled.format() == QImage::Format_RGB32,
              QStringLiteral("converted picture of the wrong size or format"));
    }
}

}  // namespace miniskop::fuzz
