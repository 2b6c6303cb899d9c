// The program's LoadPicture: tells a picture file's kind by its first bytes
// (never by its name) and hands it to that kind's decoder in decoders/. The
// file is opened once, without blocking, and must be a regular file; the
// decoders then read that very file (PictureFile.h).
//
// Each kind is one decoder with one trio of names: looksLikeX tells it by its
// first bytes, readXInfo reads what opening it learns (XInfo, its natural
// size at least), decodeXScaled makes the thumbnail. Here each kind has one
// row in kKinds, one entry in PictureInfo, and one overload of each step
// below: a whole or reduced decode, the thumbnail decode, and the estimate
// of the memory the thumbnail decode holds. Adding a format is adding those.
#include "PictureSource.h"

#include <algorithm>
#include <variant>

#include "BmpDecoder.h"
#include "GifDecoder.h"
#include "HeifDecoder.h"
#include "IcoDecoder.h"
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

namespace {

// What opening the file learnt, which also says which decoder reads it.
using PictureInfo = std::variant<JpegInfo, PngInfo, WebpInfo, TiffInfo, HeifInfo, JxlInfo, WmfInfo,
                                 BmpInfo, IcoInfo, GifInfo, QtInfo>;

template <class Info>
Expected<PictureInfo> held(Expected<Info> info) {
    if (!info) return unexpected(info.error());
    return PictureInfo(std::move(*info));
}

template <auto read>
Expected<PictureInfo> infoOf(const PictureFile& file) {
    return held(read(file));
}

// A TIFF layout the strip reader does not know goes to Qt's TIFF reader.
Expected<PictureInfo> tiffOrQtInfo(const PictureFile& file) {
    auto tiff = readTiffInfo(file);
    if (tiff && !tiff->streamable) return held(readQtInfo(file));
    return held(std::move(tiff));
}

struct Kind {
    bool (*looksLike)(const QByteArray& head);
    Expected<PictureInfo> (*readInfo)(const PictureFile& file);
};

// The kinds in the order their signatures are tried; a file none of them
// takes goes to Qt's readers.
constexpr Kind kKinds[] = {
    {looksLikeJpeg, infoOf<readJpegInfo>}, {looksLikeWmf, infoOf<readWmfInfo>},
    {looksLikeHeif, infoOf<readHeifInfo>}, {looksLikeJxl, infoOf<readJxlInfo>},
    {looksLikePng, infoOf<readPngInfo>},   {looksLikeWebp, infoOf<readWebpInfo>},
    {looksLikeTiff, tiffOrQtInfo},         {looksLikeBmp, infoOf<readBmpInfo>},
    {looksLikeIco, infoOf<readIcoInfo>},   {looksLikeGif, infoOf<readGifInfo>},
};

Expected<PictureInfo> readInfo(const PictureFile& file, const QByteArray& head) {
    for (const Kind& kind : kKinds)
        if (kind.looksLike(head)) return kind.readInfo(file);
    return held(readQtInfo(file));
}

// Each kind needs an overload of its own for every step: these deleted
// templates refuse a kind without one (PNG's and WebP's infos would
// otherwise quietly take the overloads for Qt's).
template <class Info>
Expected<QImage> decodeAtLeast(const PictureFile&, const Info&, QSize) = delete;
template <class Info>
Expected<QImage> decodeThumbnail(const PictureFile&, const Info&, QSize) = delete;
template <class Info>
qint64 bytesHeld(const Info&, QSize, QSize) = delete;

qint64 pixelBytesOf(QSize s, double bytesPerPixel = 4) {
    return pixelBytes(s.width(), s.height(), bytesPerPixel);
}

// PNG: its own decoder scales while it decodes, so the full-size picture is
// never held; what it leaves to Qt's reader (an EXIF block, an animation),
// and a picture Qt's reader already decoded to learn its size, goes through
// Qt's reader.
template <class Info, class Own>
Expected<QImage> ownOrQt(Own own, const PictureFile& file, const Info& info, QSize target) {
    if (info.decoded.isNull()) {
        auto image = own(file, target);
        if (!image) return unexpected(image.error());
        if (*image) return std::move(**image);
    }
    return decodeQtScaled(file, info, target);
}

// JPEG: rows go straight into the scaler, but a progressive file keeps every
// coefficient of the full picture: two bytes a sample.
Expected<QImage> decodeAtLeast(const PictureFile& file, const JpegInfo& info, QSize atLeast) {
    return decodeJpeg(file, info, atLeast);
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const JpegInfo& info, QSize target) {
    return decodeJpegScaled(file, info, target);
}
qint64 bytesHeld(const JpegInfo& info, QSize, QSize target) {
    return jpegScaledBytes(info, target);
}

// PNG: inflated at once when small, else streamed (an interlaced one holding
// half the picture); with EXIF read whole by Qt's reader.
Expected<QImage> decodeAtLeast(const PictureFile& file, const PngInfo& info, QSize atLeast) {
    return decodeQt(file, info, atLeast);
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const PngInfo& info, QSize target) {
    return ownOrQt(decodePngScaled, file, info, target);
}
qint64 bytesHeld(const PngInfo& info, QSize, QSize target) { return pngScaledBytes(info, target); }

// WebP: libwebp scales while it decodes.
Expected<QImage> decodeAtLeast(const PictureFile& file, const WebpInfo& info, QSize atLeast) {
    return decodeWebp(file, info, atLeast);
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const WebpInfo& info, QSize target) {
    return decodeWebpThumbnail(file, info, target);
}
qint64 bytesHeld(const WebpInfo& info, QSize, QSize target) {
    return webpScaledBytes(info, target);
}

// TIFF: a strip or a row of tiles at a time.
Expected<QImage> decodeAtLeast(const PictureFile& file, const TiffInfo& info, QSize atLeast) {
    return decodeTiffScaled(file, coveringSize(info.displayed, atLeast));
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const TiffInfo&, QSize target) {
    return decodeTiffScaled(file, target);
}
qint64 bytesHeld(const TiffInfo& info, QSize, QSize target) {
    return tiffScaledBytes(info, target);
}

// HEIF: its planes at full size (or an embedded thumbnail's), as coded.
Expected<QImage> decodeAtLeast(const PictureFile& file, const HeifInfo& info, QSize atLeast) {
    return decodeHeifScaled(file, coveringSize(info.displayed, atLeast));
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const HeifInfo&, QSize target) {
    return decodeHeifScaled(file, target);
}
qint64 bytesHeld(const HeifInfo& info, QSize, QSize target) {
    return heifScaledBytes(info, target);
}

// JPEG XL: the file, the decoded picture whole and libjxl's planes.
Expected<QImage> decodeAtLeast(const PictureFile& file, const JxlInfo& info, QSize atLeast) {
    return decodeJxlScaled(file, coveringSize(info.displayed, atLeast));
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const JxlInfo&, QSize target) {
    return decodeJxlScaled(file, target);
}
qint64 bytesHeld(const JxlInfo& info, QSize, QSize target) { return jxlScaledBytes(info, target); }

// Metafiles: drawn at twice the target at most, then scaled down.
Expected<QImage> decodeAtLeast(const PictureFile& file, const WmfInfo&, QSize atLeast) {
    return decodeWmf(file, atLeast);
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const WmfInfo& info, QSize target) {
    return decodeWmfScaled(file, info, target);
}
qint64 bytesHeld(const WmfInfo&, QSize natural, QSize target) {
    return pixelBytesOf(reducedDecodeSize(natural, target)) + pixelBytesOf(target);
}

// BMP: a band of rows at a time (decoded rows, for run-length codes).
Expected<QImage> decodeAtLeast(const PictureFile& file, const BmpInfo& info, QSize atLeast) {
    return decodeBmpScaled(file, info, coveringSize(info.displayed, atLeast));
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const BmpInfo& info, QSize target) {
    return decodeBmpScaled(file, info, target);
}
qint64 bytesHeld(const BmpInfo& info, QSize, QSize target) {
    return info.bytesHeld + pixelBytesOf(target);
}

// Icons: a bitmap entry as a BMP, with its mask beside; a PNG entry whole.
Expected<QImage> decodeAtLeast(const PictureFile& file, const IcoInfo& info, QSize atLeast) {
    return decodeIcoScaled(file, info, coveringSize(info.displayed, atLeast));
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const IcoInfo& info, QSize target) {
    return decodeIcoScaled(file, info, target);
}
qint64 bytesHeld(const IcoInfo& info, QSize, QSize target) {
    return info.bytesHeld + pixelBytesOf(target);
}

// GIF: the first frame's colour indices, one byte a pixel.
Expected<QImage> decodeAtLeast(const PictureFile& file, const GifInfo& info, QSize) {
    return decodeGif(file, info);
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const GifInfo& info, QSize target) {
    return decodeGifScaled(file, info, target);
}
qint64 bytesHeld(const GifInfo&, QSize natural, QSize target) {
    return pixelBytesOf(natural, 1) + qint64(std::max(natural.width(), 0)) * 4 +
           pixelBytesOf(target);
}

// Qt's readers: read whole, then turned into 32-bit pixels unless they are.
Expected<QImage> decodeAtLeast(const PictureFile& file, const QtInfo& info, QSize atLeast) {
    return decodeQt(file, info, atLeast);
}
Expected<QImage> decodeThumbnail(const PictureFile& file, const QtInfo& info, QSize target) {
    return decodeQtScaled(file, info, target);
}
qint64 bytesHeld(const QtInfo& info, QSize, QSize target) { return qtScaledBytes(info, target); }

}  // namespace

struct PictureSource::Impl {
    PictureFile file;  // held while the source lives
    PictureInfo info;
    QSize natural;  // as displayed
};

PictureSource::PictureSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PictureSource::PictureSource(PictureSource&&) noexcept = default;
PictureSource& PictureSource::operator=(PictureSource&&) noexcept = default;
PictureSource::~PictureSource() = default;

Expected<PictureSource> PictureSource::open(const QString& path) {
    auto file = PictureFile::open(path);
    if (!file) return unexpected(file.error());
    // Enough for the longest signature: a HEIF file's brand list.
    const QByteArray head = file->head(64);
    if (head.isEmpty()) return fail(QStringLiteral("empty file"));
    auto info = readInfo(*file, head);
    // Decoder messages name the file as the user knows it.
    if (!info) return unexpected(file->named(info.error()));
    const QSize natural = std::visit([](const auto& i) { return i.displayed; }, *info);
    return PictureSource(std::make_unique<Impl>(Impl{std::move(*file), std::move(*info), natural}));
}

QSize PictureSource::naturalSize() const { return impl_->natural; }

Expected<QImage> PictureSource::decode(QSize atLeast) const {
    const Impl& d = *impl_;
    // About a decode to the covering size, and the picture it gives.
    const QSize covering = coveringSize(d.natural, atLeast);
    const qint64 needed = decodeBytes(covering) + pixelBytesOf(covering);
    if (exceedsDecodeLimit(needed)) return tooLarge(needed, decodeLimit());
    auto image =
        std::visit([&](const auto& info) { return decodeAtLeast(d.file, info, atLeast); }, d.info);
    if (!image) return unexpected(d.file.named(image.error()));
    return image;
}

qint64 PictureSource::decodeBytes(QSize target) const {
    const Impl& d = *impl_;
    return std::visit([&](const auto& info) { return bytesHeld(info, d.natural, target); }, d.info);
}

Expected<QImage> PictureSource::decodeScaledTo(QSize target) const {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return fail(QStringLiteral("thumbnail size out of range"));
    if (const qint64 needed = decodeBytes(target); exceedsDecodeLimit(needed))
        return tooLarge(needed, decodeLimit());
    const Impl& d = *impl_;
    auto image =
        std::visit([&](const auto& info) { return decodeThumbnail(d.file, info, target); }, d.info);
    if (!image) return unexpected(d.file.named(image.error()));
    return image;
}

}  // namespace miniskop
