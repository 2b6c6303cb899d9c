// Colours from embedded ICC profiles: a picture whose file carries a profile
// (JPEG APP2, PNG iCCP, WebP ICCP, TIFF, HEIF colr, JPEG XL) has its pixels
// converted to sRGB with LittleCMS 2, perceptual intent, so a wide-gamut
// photograph shows its true colours in the thumbnail. A picture without a
// profile is sRGB and is never touched; so is one whose profile does what
// sRGB does (checked on a grid of colours), and one whose profile is damaged,
// of another colour model than the pixels, or otherwise unusable: the
// picture then counts as sRGB and decodes as before.
// Conversions are made once per distinct profile and shared; converting is
// safe from any thread.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <cstddef>
#include <memory>
#include <optional>

#include "AreaScaler.h"

namespace miniskop {

// How the pixels handed to a conversion are laid out.
enum class PixelModel {
    Rgb,           // 4 bytes a pixel: blue, green, red, x (Format_RGB32)
    Grey,          // 4 bytes a pixel as Rgb, blue = green = red; the blue byte is read
    Cmyk,          // 4 bytes a pixel: cyan, magenta, yellow, black; 0 is no ink
    CmykInverted,  // the same with 255 for no ink (Adobe's JPEGs)
};

class SrgbConversion {
public:
    // The conversion from the colours `icc` describes to sRGB, for pixels of
    // `model`; nullptr when there is nothing to do (no profile, an
    // sRGB-equivalent one) or nothing sound to do (see file comment).
    static std::shared_ptr<const SrgbConversion> fromIcc(const QByteArray& icc, PixelModel model);

    // The same for pixels a decoder already made RGB (grey ones as equal
    // channels): an RGB or grey profile applies as it is, any other not.
    static std::shared_ptr<const SrgbConversion> forRgbPixels(const QByteArray& icc);

    // A profile made of primaries and a white point (CIE xy) with the sRGB
    // tone curve (srgbCurve) or a pure power law of `gamma`, as HEIF's nclx
    // box and similar colour descriptions give them; empty when the values
    // make no profile.
    struct Primaries {
        double redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY;
    };
    static QByteArray iccFromPrimaries(const Primaries& primaries, bool srgbCurve, double gamma);

    ~SrgbConversion();
    SrgbConversion(const SrgbConversion&) = delete;
    SrgbConversion& operator=(const SrgbConversion&) = delete;

    PixelModel model() const { return model_; }

    // Rgb and Grey: converts `count` pixels in place, leaving the x byte.
    void convertInPlace(unsigned char* bgrx, std::size_t count) const;
    // Cmyk models: `count` pixels of `cmyk` into blue, green, red, 0xFF.
    void convertCmyk(const unsigned char* cmyk, unsigned char* bgrx, std::size_t count) const;
    // Rgb and Grey: every pixel of a Format_RGB32 image, in place.
    void convertImage(QImage& image) const;

private:
    SrgbConversion(void* transform, PixelModel model);
    void* transform_;  // cmsHTRANSFORM
    PixelModel model_;
};

using SrgbConversionPtr = std::shared_ptr<const SrgbConversion>;

// Colours are converted at reduced size: a picture is first scaled to four
// times the target size (never above its own), converted there and then
// scaled to the target. That converts a small share of a photograph's
// pixels, and the saved thumbnail stays within 0.35 dB of one made from the
// decoded picture converted whole, even for ProPhoto RGB (at twice the
// target size it was up to 0.6 dB; bench/colour-order.sh measures it).
QSize conversionSize(QSize source, QSize target);

// `image` scaled to exactly `target` by the area scaler, its colours
// converted on the way when `conversion` is set (Format_RGB32 result).
QImage scaleToSrgb(const QImage& image, QSize target, const SrgbConversion* conversion);

// The area scaler for decoders that hand over rows: with a conversion, rows
// are scaled to conversionSize(), converted and scaled on to the target;
// without one, this is the plain AreaScaler from source to target.
class SrgbRowScaler {
public:
    SrgbRowScaler(QSize source, QSize target, SrgbConversionPtr conversion);
    void pushRow(const uchar* bgrx) { scaler_.pushRow(bgrx); }
    int rowsMissing() const { return scaler_.rowsMissing(); }
    QImage takeResult();

    // About the most bytes such a scaler holds, with a conversion or without.
    static qint64 bytesHeld(QSize source, QSize target, bool converts);

private:
    QSize target_;
    SrgbConversionPtr conversion_;
    AreaScaler scaler_;
};

}  // namespace miniskop
