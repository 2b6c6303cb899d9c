// WebP decoding with libwebp's scaling on load. See WebpDecoder.h.
#include "WebpDecoder.h"

#include <webp/decode.h>

#include <algorithm>

#include "AreaScaler.h"
#include "ColourProfile.h"
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

// The extended header (VP8X) flags an EXIF chunk in bit 3 of its first byte.
bool hasExif(const QByteArray& bytes) {
    return bytes.size() >= 21 && bytes.mid(12, 4) == "VP8X" && (quint8(bytes[20]) & 0x08) != 0;
}

quint32 littleEndian32(const char* p) {
    return quint32(quint8(p[0])) | (quint32(quint8(p[1])) << 8) | (quint32(quint8(p[2])) << 16) |
           (quint32(quint8(p[3])) << 24);
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
    if (config.input.has_animation || hasExif(bytes)) return std::optional<QImage>();
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
    return std::optional<QImage>(std::move(image));
}

}  // namespace

bool looksLikeWebp(const QByteArray& head) {
    return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP";
}

Expected<WebpInfo> readWebpInfo(const PictureFile& file) {
    auto qt = readQtInfo(file);
    if (!qt) return unexpected(qt.error());
    WebpInfo info;
    static_cast<QtInfo&>(info) = std::move(*qt);
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
    info.leftToQt = info.leftToQt || hasExif(head) || info.fileBytes > kMaxFileBytes;
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

Expected<std::optional<QImage>> decodeWebpScaled(const PictureFile& file, QSize target) {
    if (file.size() < 0) return fail(QStringLiteral("WebP: cannot read file"));
    // A file that shrank meanwhile reads as truncated.
    const std::optional<QByteArray> bytes = file.readAll(kMaxFileBytes);
    if (!bytes) return std::optional<QImage>();
    return decodeBytes(*bytes, target);
}

}  // namespace miniskop
