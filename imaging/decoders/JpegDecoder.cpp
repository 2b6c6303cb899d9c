// JPEG pictures whole or at thumbnail size. See JpegDecoder.h.
#include "JpegDecoder.h"

#include <cstring>
#include <optional>

#include "ColourProfile.h"
#include "ExifOrientation.h"
#include "JpegRows.h"
#include "ThumbnailSize.h"

namespace miniskop {

namespace {

// Collects decoded rows into an image.
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
    qint64 bytesFor(QSize decoded) const override {
        return qint64(decoded.width()) * decoded.height() * 4;
    }
    bool complete() const { return !image_.isNull() && next_ == image_.height(); }
    QImage take() { return std::move(image_); }

private:
    QImage image_;
    int next_ = 0;
};

// Scales decoded rows to the target size as they arrive, converting their
// colours to sRGB on the way when a conversion is given.
class ScalingSink : public JpegRowSink {
public:
    ScalingSink(QSize target, SrgbConversionPtr conversion)
        : target_(target), conversion_(std::move(conversion)) {}
    bool begin(QSize decoded) override {
        scaler_.emplace(decoded, target_, conversion_);
        return true;
    }
    void row(const unsigned char* bgrx) override { scaler_->pushRow(bgrx); }
    qint64 bytesFor(QSize decoded) const override {
        return SrgbRowScaler::bytesHeld(decoded, target_, conversion_ != nullptr);
    }
    bool complete() const { return scaler_ && scaler_->rowsMissing() == 0; }
    QImage take() { return scaler_->takeResult(); }

private:
    QSize target_;
    SrgbConversionPtr conversion_;
    std::optional<SrgbRowScaler> scaler_;
};

PixelModel pixelModelOf(JpegHeader::Colours colours) {
    switch (colours) {
        case JpegHeader::Colours::Rgb:
            return PixelModel::Rgb;
        case JpegHeader::Colours::Grey:
            return PixelModel::Grey;
        case JpegHeader::Colours::Cmyk:
            return PixelModel::Cmyk;
        case JpegHeader::Colours::CmykInverted:
            return PixelModel::CmykInverted;
    }
    return PixelModel::Rgb;
}

bool isCmyk(const SrgbConversion* conversion) {
    return conversion && (conversion->model() == PixelModel::Cmyk ||
                          conversion->model() == PixelModel::CmykInverted);
}

}  // namespace

bool looksLikeJpeg(const QByteArray& head) {
    return head.size() >= 3 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8 &&
           uchar(head[2]) == 0xFF;
}

Expected<JpegInfo> readJpegInfo(const PictureFile& file) {
    auto header = readJpegHeader(file);
    if (!header) return unexpected(header.error());
    JpegInfo info;
    info.orientation = header->orientation;
    info.displayed = orientedSize(header->stored, header->orientation);
    info.conversion = SrgbConversion::fromIcc(header->icc, pixelModelOf(header->colours));
    info.layout = std::move(header->layout);
    return info;
}

Expected<QImage> decodeJpeg(const PictureFile& file, const JpegInfo& info, QSize atLeast) {
    const bool swaps = orientationSwapsSides(info.orientation);
    const QSize want = atLeast.isValid() ? (swaps ? atLeast.transposed() : atLeast) : QSize();
    ImageSink sink;
    const SrgbConversion* conversion = info.conversion.get();
    const Status status =
        decodeJpegRows(file, want, sink, isCmyk(conversion) ? conversion : nullptr);
    if (!status) return unexpected(status.error());
    if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
    QImage image = sink.take();
    if (conversion && !isCmyk(conversion)) conversion->convertImage(image);
    return applyOrientation(image, info.orientation);
}

qint64 jpegScaledBytes(const JpegInfo& info, QSize target) {
    // As decodeJpegScaled goes: the scale, libjpeg, the scaler, the turn.
    const bool swaps = orientationSwapsSides(info.orientation);
    const QSize reduceTo = reducedDecodeSize(info.displayed, target);
    const int eighths = jpegScaleFor(info.layout.stored, swaps ? reduceTo.transposed() : reduceTo);
    const QSize decoded = jpegScaledSize(info.layout.stored, eighths);
    const bool converts = info.conversion && !isCmyk(info.conversion.get());
    const qint64 turned = info.orientation != 1 ? qint64(target.width()) * target.height() * 4 : 0;
    return jpegDecodeBytes(info.layout, eighths) +
           SrgbRowScaler::bytesHeld(decoded, swaps ? target.transposed() : target, converts) +
           turned;
}

Expected<QImage> decodeJpegScaled(const PictureFile& file, const JpegInfo& info, QSize target) {
    const bool swaps = orientationSwapsSides(info.orientation);
    const QSize reduceTo = reducedDecodeSize(info.displayed, target);
    const SrgbConversion* conversion = info.conversion.get();
    // CMYK goes through its profile while it becomes RGB; RGB and grey are
    // converted at reduced size by the sink.
    ScalingSink sink(swaps ? target.transposed() : target,
                     isCmyk(conversion) ? nullptr : info.conversion);
    const Status status = decodeJpegRows(file, swaps ? reduceTo.transposed() : reduceTo, sink,
                                         isCmyk(conversion) ? conversion : nullptr);
    if (!status) return unexpected(status.error());
    if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
    return applyOrientation(sink.take(), info.orientation);
}

}  // namespace miniskop
