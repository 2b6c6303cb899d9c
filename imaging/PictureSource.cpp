// The program's LoadPicture: tells a picture file's kind by its first bytes
// (never by its name), then hands it to the JPEG, HEIF, JPEG XL, TIFF,
// metafile or Qt decoder (PNG and WebP through their own scaling decoders).
// The file is opened once, without blocking, and must be a regular file; the
// decoders then read that very file through its descriptor, so a name that is
// swapped for a FIFO, a device or a folder after the check cannot make them
// wait or read something else.
#include "PictureSource.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "AreaScaler.h"
#include "ColourProfile.h"
#include "ExifOrientation.h"
#include "HeifDecoder.h"
#include "JpegDecoder.h"
#include "JxlDecoder.h"
#include "PictureFile.h"
#include "PngDecoder.h"
#include "QtDecoder.h"
#include "ThumbnailSize.h"
#include "TiffDecoder.h"
#include "WebpDecoder.h"
#include "WmfDecoder.h"

namespace miniskop {

struct PictureSource::Impl {
    // Heif, Jxl, Tiff: decoders that scale while decoding, to any size.
    enum class Kind { Jpeg, Metafile, Heif, Jxl, Tiff, Other };
    Kind kind = Kind::Other;
    PictureFile file;     // held while the source lives
    QSize natural;        // as displayed
    int orientation = 1;  // JPEG: EXIF orientation of the stored pixels
    // JPEG: the embedded profile's conversion to sRGB (null without one).
    SrgbConversionPtr conversion;
    QImage decoded;     // Other: kept when the size was learnt by decoding
    QByteArray icc;     // Other: the colour profile of `decoded`
    bool png = false;   // Other: decoded by the PNG decoder
    bool webp = false;  // Other: decoded by libwebp, scaled while decoding

    explicit Impl(PictureFile opened) : file(std::move(opened)) {}

    // Decoder messages name the file as the user knows it.
    Failure named(Failure failure) const { return file.named(std::move(failure)); }
};

namespace {

// Collects decoded JPEG rows into an image.
class ImageSink : public JpegRowSink {
public:
    bool begin(QSize decoded) override {
        image_ = QImage(decoded, QImage::Format_RGB32);
        return !image_.isNull();
    }
    void row(const unsigned char* bgrx) override {
        if (next_ < image_.height())
            std::memcpy(image_.scanLine(next_++), bgrx, size_t(image_.width()) * 4);
    }
    bool complete() const { return !image_.isNull() && next_ == image_.height(); }
    QImage take() { return std::move(image_); }

private:
    QImage image_;
    int next_ = 0;
};

// Scales decoded JPEG rows to the target size as they arrive, converting
// their colours to sRGB on the way when a conversion is given.
class ScalingSink : public JpegRowSink {
public:
    ScalingSink(QSize target, SrgbConversionPtr conversion)
        : target_(target), conversion_(std::move(conversion)) {}
    bool begin(QSize decoded) override {
        scaler_.emplace(decoded, target_, conversion_);
        return true;
    }
    void row(const unsigned char* bgrx) override { scaler_->pushRow(bgrx); }
    bool complete() const { return scaler_ && scaler_->rowsMissing() == 0; }
    QImage take() { return scaler_->takeResult(); }

private:
    QSize target_;
    SrgbConversionPtr conversion_;
    std::optional<SrgbRowScaler> scaler_;
};

PixelModel pixelModelOf(JpegInfo::Colours colours) {
    switch (colours) {
        case JpegInfo::Colours::Rgb:
            return PixelModel::Rgb;
        case JpegInfo::Colours::Grey:
            return PixelModel::Grey;
        case JpegInfo::Colours::Cmyk:
            return PixelModel::Cmyk;
        case JpegInfo::Colours::CmykInverted:
            return PixelModel::CmykInverted;
    }
    return PixelModel::Rgb;
}

bool isCmyk(const SrgbConversion* conversion) {
    return conversion && (conversion->model() == PixelModel::Cmyk ||
                          conversion->model() == PixelModel::CmykInverted);
}

// PNG and still WebP files are scaled as they decode, so the full-size
// picture is never held. std::nullopt: another kind of file, or one these
// decoders leave to Qt (interlaced PNG, animated WebP, an EXIF block).
Expected<std::optional<QImage>> decodeStreamed(const PictureFile& file, QSize target) {
    const QByteArray head = file.head(16);
    if (looksLikePng(head)) return decodePngScaled(file, target);
    if (looksLikeWebp(head)) return decodeWebpScaled(file, target);
    return std::optional<QImage>();
}

}  // namespace

PictureSource::PictureSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PictureSource::PictureSource(PictureSource&&) noexcept = default;
PictureSource& PictureSource::operator=(PictureSource&&) noexcept = default;
PictureSource::~PictureSource() = default;

Expected<PictureSource> PictureSource::open(const QString& path) {
    auto opened = PictureFile::open(path);
    if (!opened) return unexpected(opened.error());
    auto impl = std::make_unique<Impl>(std::move(*opened));
    // Enough for the longest signature: a HEIF file's brand list.
    const QByteArray head = impl->file.head(64);
    if (head.isEmpty()) return fail(QStringLiteral("empty file"));

    const PictureFile& from = impl->file;
    if (looksLikeJpeg(head)) {
        auto info = readJpegInfo(from);
        if (!info) return unexpected(impl->named(info.error()));
        impl->kind = Impl::Kind::Jpeg;
        impl->orientation = info->orientation;
        impl->natural = orientedSize(info->stored, info->orientation);
        impl->conversion = SrgbConversion::fromIcc(info->icc, pixelModelOf(info->colours));
    } else if (looksLikeWmf(head)) {
        auto size = readWmfSize(from);
        if (!size) return unexpected(impl->named(size.error()));
        impl->kind = Impl::Kind::Metafile;
        impl->natural = *size;
    } else if (looksLikeHeif(head)) {
        auto size = readHeifSize(from);
        if (!size) return unexpected(size.error());
        impl->kind = Impl::Kind::Heif;
        impl->natural = *size;
    } else if (looksLikeJxl(head)) {
        auto size = readJxlSize(from);
        if (!size) return unexpected(size.error());
        impl->kind = Impl::Kind::Jxl;
        impl->natural = *size;
    } else {
        impl->png = looksLikePng(head);
        impl->webp = looksLikeWebp(head);
        if (looksLikePng(head)) {
            if (Status header = checkPngHeader(from); !header) return unexpected(header.error());
        }
        if (looksLikeTiff(head)) {
            auto tiff = readTiffInfo(from);
            if (!tiff) return unexpected(tiff.error());
            if (tiff->streamable) {
                impl->kind = Impl::Kind::Tiff;
                impl->natural = tiff->displayed;
                return PictureSource(std::move(impl));
            }
            // A layout the strip reader does not know: Qt's TIFF reader.
        }
        auto info = readQtPictureInfo(from);
        if (!info) return unexpected(impl->named(info.error()));
        impl->natural = info->displayed;
        impl->decoded = std::move(info->decoded);
        impl->icc = std::move(info->icc);
    }
    return PictureSource(std::move(impl));
}

QSize PictureSource::naturalSize() const { return impl_->natural; }

// Decoders that scale while they decode, to any size asked for.
Expected<QImage> PictureSource::decodeScaledKind(QSize target) const {
    const Impl& d = *impl_;
    Expected<QImage> image = fail(QStringLiteral("unknown picture kind"));
    if (d.kind == Impl::Kind::Heif) image = decodeHeifScaled(d.file, target);
    if (d.kind == Impl::Kind::Jxl) image = decodeJxlScaled(d.file, target);
    if (d.kind == Impl::Kind::Tiff) image = decodeTiffScaled(d.file, target);
    return image;
}

Expected<QImage> PictureSource::decode(QSize atLeast) const {
    const Impl& d = *impl_;
    if (d.kind == Impl::Kind::Other && !d.decoded.isNull()) {
        QImage image = d.decoded;
        if (auto conversion = SrgbConversion::forRgbPixels(d.icc)) conversion->convertImage(image);
        return image;
    }
    switch (d.kind) {
        case Impl::Kind::Jpeg: {
            const bool swaps = orientationSwapsSides(d.orientation);
            const QSize want =
                atLeast.isValid() ? (swaps ? atLeast.transposed() : atLeast) : QSize();
            ImageSink sink;
            const SrgbConversion* conversion = d.conversion.get();
            const Status status =
                decodeJpeg(d.file, want, sink, isCmyk(conversion) ? conversion : nullptr);
            if (!status) return unexpected(d.named(status.error()));
            if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
            QImage image = sink.take();
            if (conversion && !isCmyk(conversion)) conversion->convertImage(image);
            return applyOrientation(image, d.orientation);
        }
        case Impl::Kind::Metafile: {
            auto image = decodeWmf(d.file, atLeast);
            if (!image) return unexpected(d.named(image.error()));
            return image;
        }
        case Impl::Kind::Heif:
        case Impl::Kind::Jxl:
        case Impl::Kind::Tiff:
            return decodeScaledKind(coveringSize(d.natural, atLeast));
        case Impl::Kind::Other: {
            QByteArray icc;
            auto image = decodeQtPicture(d.file, atLeast, &icc);
            if (!image) return unexpected(d.named(image.error()));
            if (auto conversion = SrgbConversion::forRgbPixels(icc))
                conversion->convertImage(*image);
            return image;
        }
    }
    return fail(QStringLiteral("unknown picture kind"));
}

qint64 PictureSource::decodeBytes(QSize target) const {
    const Impl& d = *impl_;
    const auto area = [](QSize s) {
        return qint64(std::max(s.width(), 0)) * std::max(s.height(), 0);
    };
    const qint64 width = std::max(d.natural.width(), 0);
    const qint64 result = area(target) * 4;
    switch (d.kind) {
        case Impl::Kind::Jpeg:
            // Rows go straight into the scaler, but a progressive file keeps
            // every coefficient of the full picture: about two bytes a pixel.
            return area(d.natural) * 2 + result;
        case Impl::Kind::Metafile:
            // Drawn at twice the target at most, then scaled down.
            return area((target * 2).boundedTo(d.natural)) * 4 + result;
        case Impl::Kind::Heif:
            // Its planes at full size (10-bit samples take two bytes).
            return area(d.natural) * 3 + result;
        case Impl::Kind::Jxl:
            return area(d.natural) * 8 + result;
        case Impl::Kind::Tiff:
            // A strip or a row of tiles at a time.
            return width * 256 * 8 + result;
        case Impl::Kind::Other:
            // A PNG may be inflated whole, or held half while interlaced.
            if (d.png) return area(d.natural) * 4 + result;
            if (d.webp) return width * 16 + result;
            // Read whole, then turned into 32-bit pixels: up to two copies.
            return area(d.natural) * 8 + result;
    }
    return area(d.natural) * 8;
}

Expected<QImage> PictureSource::decodeScaledTo(QSize target) const {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return fail(QStringLiteral("thumbnail size out of range"));
    const Impl& d = *impl_;
    // Reduced decoding keeps at least twice the target size, so the final
    // area average still has several pixels to work with (a reduced decode
    // just above the target would leave a visibly softer, blockier result).
    const QSize reduceTo = (target * 2).boundedTo(d.natural);
    switch (d.kind) {
        case Impl::Kind::Jpeg: {
            const bool swaps = orientationSwapsSides(d.orientation);
            const SrgbConversion* conversion = d.conversion.get();
            // CMYK goes through its profile while it becomes RGB; RGB and
            // grey are converted at reduced size by the sink.
            ScalingSink sink(swaps ? target.transposed() : target,
                             isCmyk(conversion) ? nullptr : d.conversion);
            const Status status = decodeJpeg(d.file, swaps ? reduceTo.transposed() : reduceTo, sink,
                                             isCmyk(conversion) ? conversion : nullptr);
            if (!status) return unexpected(d.named(status.error()));
            if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
            return applyOrientation(sink.take(), d.orientation);
        }
        case Impl::Kind::Heif:
        case Impl::Kind::Jxl:
        case Impl::Kind::Tiff:
            return decodeScaledKind(target);
        case Impl::Kind::Metafile:
            break;
        case Impl::Kind::Other: {
            if (!d.decoded.isNull()) {
                QImage scaled =
                    scaleToSrgb(d.decoded, target, SrgbConversion::forRgbPixels(d.icc).get());
                if (scaled.isNull()) return fail(QStringLiteral("cannot scale picture"));
                return scaled;
            }
            auto streamed = decodeStreamed(d.file, target);
            if (!streamed) return unexpected(streamed.error());
            if (*streamed) return std::move(**streamed);
            QByteArray icc;
            auto image = decodeQtPicture(d.file, reduceTo, &icc);
            if (!image) return unexpected(d.named(image.error()));
            QImage scaled = scaleToSrgb(*image, target, SrgbConversion::forRgbPixels(icc).get());
            if (scaled.isNull()) return fail(QStringLiteral("cannot scale picture"));
            return scaled;
        }
    }
    auto image = decode(reduceTo);
    if (!image) return image;
    QImage scaled = AreaScaler::scale(*image, target);
    if (scaled.isNull()) return fail(QStringLiteral("cannot scale picture"));
    return scaled;
}

}  // namespace miniskop
