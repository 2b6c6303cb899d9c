// WebP decoding with libwebp's scaling on load. See WebpDecoder.h.
#include "WebpDecoder.h"

#include <webp/decode.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "AreaScaler.h"
#include "ColourProfile.h"
#include "ExifOrientation.h"
#include "PictureFile.h"
#include "QtDecoder.h"

namespace miniskop {

namespace {

// A still picture of the largest size WebP allows compresses far below this;
// larger files are left to the general decoder.
constexpr qint64 kMaxFileBytes = qint64(256) << 20;

QString statusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return QStringLiteral("out of memory");
        case VP8_STATUS_INVALID_PARAM:
            return QStringLiteral("invalid parameter");
        case VP8_STATUS_BITSTREAM_ERROR:
            return QStringLiteral("damaged data");
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return QStringLiteral("unsupported feature");
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return QStringLiteral("file ends early");
        default:
            return QStringLiteral("decoding failed");
    }
}

Unexpected<Failure> failed(VP8StatusCode status) {
    return fail(QStringLiteral("WebP: %1").arg(statusText(status)));
}

quint32 littleEndian32(const char* p) {
    return quint32(quint8(p[0])) | (quint32(quint8(p[1])) << 8) | (quint32(quint8(p[2])) << 16) |
           (quint32(quint8(p[3])) << 24);
}

// Reads `length` bytes at `offset` of a file or a buffer; returns how many.
using ReadAt = std::function<qsizetype(qint64 offset, char* out, qsizetype length)>;

// The orientation of the EXIF chunk, which the extended format (VP8X, its
// flag bit 3) puts after the image data. Walks the chunk headers only, and
// trusts no length beyond the file's end.
int orientationOf(const ReadAt& read, qint64 size) {
    char head[21];
    if (read(0, head, 21) < 21 || QByteArrayView(head + 12, 4) != "VP8X" ||
        (quint8(head[20]) & 0x08) == 0)
        return 1;
    qint64 at = 12;
    for (int chunks = 0; chunks < 10000 && at + 8 <= size; ++chunks) {
        char chunk[8];
        if (read(at, chunk, 8) < 8) return 1;
        const qint64 length = littleEndian32(chunk + 4);
        if (length > size - at - 8) return 1;
        if (QByteArrayView(chunk, 4) == "EXIF") {
            if (length > (qint64(1) << 20)) return 1;  // no orientation needs more
            // Writers put the TIFF header first; some put JPEG's "Exif" mark
            // before it, which the EXIF reader expects.
            QByteArray exif("Exif\0\0", 6);
            QByteArray payload(qsizetype(length), Qt::Uninitialized);
            if (read(at + 8, payload.data(), payload.size()) < payload.size()) return 1;
            exif += payload.startsWith(QByteArrayView("Exif\0\0", 6)) ? payload.mid(6) : payload;
            return exifOrientation(reinterpret_cast<const unsigned char*>(exif.constData()),
                                   size_t(exif.size()));
        }
        at += 8 + length + (length & 1);
    }
    return 1;
}

int orientationOf(const QByteArray& bytes) {
    return orientationOf(
        [&bytes](qint64 offset, char* out, qsizetype length) -> qsizetype {
            if (offset < 0 || offset > bytes.size()) return 0;
            const qsizetype n = std::min<qsizetype>(length, bytes.size() - offset);
            std::memcpy(out, bytes.constData() + offset, size_t(n));
            return n;
        },
        bytes.size());
}

// The ICCP chunk's profile, which the extended format puts right after VP8X
// (flag bit 5 there announces it); empty without one.
QByteArray iccProfile(const QByteArray& bytes) {
    if (bytes.size() < 21 || bytes.mid(12, 4) != "VP8X" || (quint8(bytes[20]) & 0x20) == 0)
        return {};
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const quint32 length = littleEndian32(bytes.constData() + at + 4);
        if (length > quint32(bytes.size() - at - 8)) return {};
        if (bytes.mid(at, 4) == "ICCP") return bytes.mid(at + 8, qsizetype(length));
        if (bytes.mid(at, 4) == "VP8 " || bytes.mid(at, 4) == "VP8L") return {};  // image data
        at += 8 + qsizetype(length) + qsizetype(length & 1);
    }
    return {};
}

// The picture held in `bytes` scaled to `target`; see decodeWebpScaled.
Expected<std::optional<QImage>> decodeBytes(const QByteArray& bytes, QSize target) {
    if (target.width() < 1 || target.height() < 1)
        return fail(QStringLiteral("WebP: target size out of range"));
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const size_t size = size_t(bytes.size());
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return fail(QStringLiteral("WebP: library mismatch"));
    const VP8StatusCode header = WebPGetFeatures(data, size, &config.input);
    if (header != VP8_STATUS_OK) return failed(header);
    if (config.input.has_animation) return std::optional<QImage>();
    const int orientation = orientationOf(bytes);
    if (orientationSwapsSides(orientation)) target = target.transposed();
    const QSize natural(config.input.width, config.input.height);
    if (natural.width() < 1 || natural.height() < 1)
        return fail(QStringLiteral("WebP: picture without area"));

    // Shrink while decoding; growth is left to the area scaler. A picture
    // with a colour profile is decoded at conversionSize(), converted
    // there and then brought to the target.
    const SrgbConversionPtr conversion =
        SrgbConversion::fromIcc(iccProfile(bytes), PixelModel::Rgb);
    const QSize decodeAt = conversion ? conversionSize(natural, target) : target.boundedTo(natural);
    if (decodeAt != natural) {
        config.options.use_scaling = 1;
        config.options.scaled_width = decodeAt.width();
        config.options.scaled_height = decodeAt.height();
    }
    const bool alpha = config.input.has_alpha != 0;
    QImage image(decodeAt, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) return fail(QStringLiteral("WebP: out of memory"));
    // Little-endian 32-bit pixels are blue, green, red, alpha in memory.
    config.output.colorspace = alpha ? MODE_bgrA : MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) return failed(status);
    if (alpha) {
        // Premultiplied pixels laid on white, as every other picture.
        image = flattenOnWhite(std::move(image));
        if (image.isNull()) return fail(QStringLiteral("WebP: out of memory"));
    }
    if (conversion) conversion->convertImage(image);
    if (decodeAt != target) {
        image = AreaScaler::scale(image, target);
        if (image.isNull()) return fail(QStringLiteral("WebP: out of memory"));
    }
    if (orientation != 1) image = applyOrientation(image, orientation);
    return std::optional<QImage>(std::move(image));
}

// Qt's view of the file, with its size as stored.
QtInfo storedView(const WebpInfo& info) {
    QtInfo stored = info;
    stored.displayed = orientedSize(info.displayed, info.orientation);  // turned back
    return stored;
}

}  // namespace

bool looksLikeWebp(const QByteArray& head) {
    return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP";
}

int webpOrientation(const PictureFile& file) {
    return orientationOf([&file](qint64 offset, char* out,
                                 qsizetype length) { return file.readAt(offset, out, length); },
                         file.size());
}

Expected<WebpInfo> readWebpInfo(const PictureFile& file) {
    auto qt = readQtInfo(file);
    if (!qt) return unexpected(qt.error());
    WebpInfo info{std::move(*qt)};
    info.orientation = webpOrientation(file);
    info.displayed = orientedSize(info.displayed, info.orientation);
    info.fileBytes = std::max<qint64>(file.size(), 0);
    // The chunks before the picture data are small, save a large profile:
    // then the kind stays unknown and is taken as lossless.
    const QByteArray head = file.head(64 << 10);
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(reinterpret_cast<const uint8_t*>(head.constData()), size_t(head.size()),
                        &features) == VP8_STATUS_OK) {
        info.lossless = features.format != 1;
        info.alpha = features.has_alpha != 0;
        info.leftToQt = features.has_animation != 0;
    }
    info.leftToQt = info.leftToQt || info.fileBytes > kMaxFileBytes;
    return info;
}

qint64 webpScaledBytes(const WebpInfo& info, QSize target) {
    if (info.leftToQt) return qtScaledBytes(info, target);
    const QSize natural = info.displayed;
    const qint64 pixels = qint64(natural.width()) * natural.height();
    // libwebp: the lossless picture whole with its cache rows, or the lossy
    // decoder's rows and the alpha plane; decoded at most at four times the
    // target (a profile is converted there), then scaled.
    const qint64 decoder = info.lossless
                               ? (pixels + qint64(natural.width()) * 16) * 4
                               : qint64(natural.width()) * 160 + (info.alpha ? pixels : 0);
    const QSize decodeAt = conversionSize(natural, target);
    return (256 << 10) + info.fileBytes + decoder +
           qint64(decodeAt.width()) * decodeAt.height() * 4 +
           AreaScaler::bytesHeld(decodeAt, target);
}

Expected<QImage> decodeWebpThumbnail(const PictureFile& file, const WebpInfo& info, QSize target) {
    if (info.decoded.isNull()) {
        auto image = decodeWebpScaled(file, target);
        if (!image) return unexpected(image.error());
        if (*image) return std::move(**image);
    }
    const bool swaps = orientationSwapsSides(info.orientation);
    auto image = decodeQtScaled(file, storedView(info), swaps ? target.transposed() : target);
    if (!image) return image;
    return applyOrientation(*image, info.orientation);
}

Expected<QImage> decodeWebp(const PictureFile& file, const WebpInfo& info, QSize atLeast) {
    const bool swaps = orientationSwapsSides(info.orientation) && atLeast.isValid();
    auto image = decodeQt(file, storedView(info), swaps ? atLeast.transposed() : atLeast);
    if (!image) return image;
    return applyOrientation(*image, info.orientation);
}

Expected<std::optional<QImage>> decodeWebpScaled(const PictureFile& file, QSize target) {
    if (file.size() < 0) return fail(QStringLiteral("WebP: cannot read file"));
    // A file that shrank meanwhile reads as truncated.
    const std::optional<QByteArray> bytes = file.readAll(kMaxFileBytes);
    if (!bytes) return std::optional<QImage>();
    return decodeBytes(*bytes, target);
}

}  // namespace miniskop
