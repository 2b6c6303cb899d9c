// The program's LoadPicture: tells a picture file's kind by its first bytes
// (never by its name), then hands it to the JPEG, metafile or Qt decoder.
#include "PictureSource.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <optional>

#include "AreaScaler.h"
#include "ExifOrientation.h"
#include "JpegDecoder.h"
#include "QtPictureDecoder.h"
#include "WmfDecoder.h"

namespace miniskop {

struct PictureSource::Impl {
    enum class Kind { Jpeg, Metafile, Other };
    Kind kind = Kind::Other;
    QString path;
    QSize natural;        // as displayed
    int orientation = 1;  // JPEG: EXIF orientation of the stored pixels
    QImage decoded;       // Other: kept when the size was learnt by decoding
};

namespace {

bool tooLarge(QSize size) {
    return double(size.width()) * double(size.height()) * 4.0 > double(kMaxDecodedBytes);
}

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

// Scales decoded JPEG rows to the target size as they arrive.
class ScalingSink : public JpegRowSink {
  public:
    explicit ScalingSink(QSize target) : target_(target) {}
    bool begin(QSize decoded) override {
        scaler_.emplace(decoded, target_);
        return true;
    }
    void row(const unsigned char* bgrx) override { scaler_->pushRow(bgrx); }
    bool complete() const { return scaler_ && scaler_->rowsMissing() == 0; }
    QImage take() { return scaler_->takeResult(); }

  private:
    QSize target_;
    std::optional<AreaScaler> scaler_;
};

}  // namespace

PictureSource::PictureSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PictureSource::PictureSource(PictureSource&&) noexcept = default;
PictureSource& PictureSource::operator=(PictureSource&&) noexcept = default;
PictureSource::~PictureSource() = default;

Expected<PictureSource> PictureSource::open(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(QStringLiteral("cannot open %1").arg(path));
    const QByteArray head = file.read(32);
    file.close();
    if (head.isEmpty()) return fail(QStringLiteral("%1 is empty").arg(path));

    auto impl = std::make_unique<Impl>();
    impl->path = path;
    if (looksLikeJpeg(head)) {
        auto info = readJpegInfo(path);
        if (!info) return unexpected(info.error());
        impl->kind = Impl::Kind::Jpeg;
        impl->orientation = info->orientation;
        impl->natural = orientedSize(info->stored, info->orientation);
    } else if (looksLikeWmf(head)) {
        auto size = readWmfSize(path);
        if (!size) return unexpected(size.error());
        impl->kind = Impl::Kind::Metafile;
        impl->natural = *size;
    } else {
        auto info = readQtPictureInfo(path);
        if (!info) return unexpected(info.error());
        impl->natural = info->displayed;
        impl->decoded = std::move(info->decoded);
    }
    return PictureSource(std::move(impl));
}

QSize PictureSource::naturalSize() const { return impl_->natural; }

Expected<QImage> PictureSource::decode(QSize atLeast) const {
    const Impl& d = *impl_;
    switch (d.kind) {
        case Impl::Kind::Jpeg: {
            const bool swaps = orientationSwapsSides(d.orientation);
            const QSize want =
                atLeast.isValid() ? (swaps ? atLeast.transposed() : atLeast) : QSize();
            ImageSink sink;
            const Status status = decodeJpeg(d.path, want, sink);
            if (!status) return unexpected(status.error());
            if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
            return applyOrientation(sink.take(), d.orientation);
        }
        case Impl::Kind::Metafile:
            return decodeWmf(d.path, atLeast);
        case Impl::Kind::Other:
            if (!d.decoded.isNull()) return d.decoded;
            return decodeQtPicture(d.path, atLeast);
    }
    return fail(QStringLiteral("unknown picture kind"));
}

Expected<QImage> PictureSource::decodeScaledTo(QSize target) const {
    if (target.width() < 1 || target.height() < 1 || tooLarge(target))
        return fail(QStringLiteral("thumbnail size out of range"));
    const Impl& d = *impl_;
    // Reduced decoding keeps at least twice the target size, so the final
    // area average still has several pixels to work with (a reduced decode
    // just above the target would leave a visibly softer, blockier result).
    const QSize reduceTo = (target * 2).boundedTo(d.natural);
    if (d.kind == Impl::Kind::Jpeg) {
        const bool swaps = orientationSwapsSides(d.orientation);
        ScalingSink sink(swaps ? target.transposed() : target);
        const Status status = decodeJpeg(d.path, swaps ? reduceTo.transposed() : reduceTo, sink);
        if (!status) return unexpected(status.error());
        if (!sink.complete()) return fail(QStringLiteral("JPEG decoding incomplete"));
        return applyOrientation(sink.take(), d.orientation);
    }
    auto image = decode(reduceTo);
    if (!image) return image;
    QImage scaled = AreaScaler::scale(*image, target);
    if (scaled.isNull()) return fail(QStringLiteral("cannot scale picture"));
    return scaled;
}

}  // namespace miniskop
