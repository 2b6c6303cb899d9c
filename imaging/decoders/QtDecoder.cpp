// QImageReader-based decoding with an allocation limit, reduced reading where
// the format handler offers it, and transparency laid on white. The decoded
// picture always has the size the reader told beforehand (the natural size),
// or the picture counts as failed. See QtDecoder.h.
#include "QtDecoder.h"

#include <QColorSpace>
#include <QImageIOHandler>
#include <QImageReader>
#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>

#include "ColourProfile.h"
#include "DecodeLimit.h"
#include "DecoderMessages.h"
#include "PictureFile.h"
#include "ThumbnailSize.h"

namespace miniskop {

namespace {

// Qt's limit is process-wide: it follows the decoding limit, set before the
// first reader is made (and again should the limit change between pictures).
void ensureAllocationLimit() {
    static std::mutex mutex;
    static qint64 applied = -1;
    const qint64 megabytes = std::clamp<qint64>(decodeLimit() >> 20, 1, INT_MAX);
    std::lock_guard lock(mutex);
    if (applied == megabytes) return;
    QImageReader::setAllocationLimit(int(megabytes));
    applied = megabytes;
}

void prepare(QImageReader& reader) {
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
}

bool swapsSides(const QImageReader& reader) {
    return reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
}

// The reader's reason, with what the format's library said while reading.
QString readerError(const QImageReader& reader, const CapturedDecoderMessages& said) {
    return said.appendedTo(reader.errorString());
}

// The bytes a picture of `extent` pixels takes in `format`. A reader that
// does not tell its format before reading decodes to 32 bits.
qint64 imageBytes(QSize extent, QImage::Format format) {
    const int bits = format == QImage::Format_Invalid
                         ? 32
                         : std::max(int(QImage::toPixelFormat(format).bitsPerPixel()), 1);
    return pixelBytes(extent.width(), extent.height(), bits / 8.0);
}

// Formats flattenOnWhite turns into 32-bit pixels in place.
bool convertsInPlace(QImage::Format format) {
    return format == QImage::Format_Invalid || format == QImage::Format_RGB32 ||
           format == QImage::Format_ARGB32 || format == QImage::Format_ARGB32_Premultiplied;
}

// The bytes reading a picture of `extent` in `format` holds: the decoded
// picture, and its 32-bit copy unless it is converted in place.
qint64 readBytes(QSize extent, QImage::Format format) {
    const qint64 copy = convertsInPlace(format) ? 0 : imageBytes(extent, QImage::Format_RGB32);
    return imageBytes(extent, format) + copy;
}

// True when the PNG `file` carries an iCCP chunk before its image data.
bool pngHasIccp(const PictureFile& file) {
    if (file.head(8) != "\x89PNG\r\n\x1a\n") return false;
    qint64 at = 8;
    for (int chunks = 0; chunks < 1000; ++chunks) {
        char head[8];
        if (file.readAt(at, head, 8) < 8) return false;
        const quint32 length = (quint32(quint8(head[0])) << 24) | (quint32(quint8(head[1])) << 16) |
                               (quint32(quint8(head[2])) << 8) | quint32(quint8(head[3]));
        const QByteArrayView type(head + 4, 4);
        if (type == "iCCP") return true;
        if (type == "IDAT" || type == "IEND") return false;
        at += 8 + qint64(length) + 4;
    }
    return false;
}

// The ICC profile the file embeds. Qt's readers hand it over as the image's
// colour space; the PNG reader also makes colour spaces of gAMA and cHRM,
// which are not taken (the samples count as sRGB, as in the other decoders).
QByteArray embeddedProfile(const QImageReader& reader, const QImage& image,
                           const PictureFile& file) {
    if (!image.colorSpace().isValid()) return {};
    if (reader.format() == "png" && !pngHasIccp(file)) return {};
    return image.colorSpace().iccProfile();
}

// Decodes `file`; when `atLeast` (display orientation) is valid and smaller,
// a format that reduces on load is asked for a size that still covers it.
// `icc` receives the ICC profile embedded in the file (empty without one);
// colour descriptions of other kinds (a PNG's gAMA and cHRM) are not
// profiles and leave it empty.
Expected<QImage> readPicture(const PictureFile& file, QSize atLeast, QByteArray& icc) {
    const Expected<QString> name = file.nameForLibraries();
    if (!name) return unexpected(name.error());
    ensureAllocationLimit();
    const CapturedDecoderMessages said;
    QImageReader reader(*name);
    prepare(reader);
    const QSize stored = reader.size();
    if (stored.isValid()) {
        const qint64 needed = readBytes(stored, reader.imageFormat());
        if (exceedsDecodeLimit(needed)) return tooLarge(needed, decodeLimit());
    }
    QSize expected = stored;  // as stored, before any turn
    if (stored.isValid() && atLeast.isValid() &&
        reader.supportsOption(QImageIOHandler::ScaledSize)) {
        const QSize want = swapsSides(reader) ? atLeast.transposed() : atLeast;
        expected = coveringSize(stored, want);
        if (expected != stored) reader.setScaledSize(expected);
    }
    const bool swaps = swapsSides(reader);
    QImage image;
    if (!reader.read(&image)) return fail(readerError(reader, said));
    if (expected.isValid()) {
        const QSize shown = swaps ? expected.transposed() : expected;
        if (image.size() != shown) {
            return fail(QStringLiteral("decoded %1 x %2 instead of %3 x %4")
                            .arg(image.width())
                            .arg(image.height())
                            .arg(shown.width())
                            .arg(shown.height()));
        }
    }
    icc = embeddedProfile(reader, image, file);
    QImage flat = flattenOnWhite(std::move(image));
    if (flat.isNull()) return fail(QStringLiteral("out of memory"));
    return flat;
}

}  // namespace

Expected<QtInfo> readQtInfo(const PictureFile& file) {
    const Expected<QString> name = file.nameForLibraries();
    if (!name) return unexpected(name.error());
    ensureAllocationLimit();
    const CapturedDecoderMessages said;
    QImageReader reader(*name);
    prepare(reader);
    if (!reader.canRead()) return fail(readerError(reader, said));
    QtInfo info;
    const QSize stored = reader.size();
    if (stored.isValid()) {
        // Whether it is too large to read whole is up to the decoder that
        // reads it: the PNG and WebP decoders stream what Qt would hold.
        info.displayed = swapsSides(reader) ? stored.transposed() : stored;
        info.extent = stored;
        info.format = reader.imageFormat();
    } else {
        // The format does not tell its size up front: decode to learn it.
        QImage image;
        if (!reader.read(&image)) return fail(readerError(reader, said));
        const qint64 held = readBytes(image.size(), image.format());
        if (exceedsDecodeLimit(held)) return tooLarge(held, decodeLimit());
        info.icc = embeddedProfile(reader, image, file);
        info.decoded = flattenOnWhite(std::move(image));
        if (info.decoded.isNull()) return fail(QStringLiteral("out of memory"));
        info.displayed = info.decoded.size();
        info.extent = info.decoded.size();
        info.format = info.decoded.format();
    }
    if (info.displayed.width() < 1 || info.displayed.height() < 1)
        return fail(QStringLiteral("picture without area"));
    return info;
}

Expected<QImage> decodeQt(const PictureFile& file, const QtInfo& info, QSize atLeast) {
    if (!info.decoded.isNull()) {
        QImage image = info.decoded;
        if (auto conversion = SrgbConversion::forRgbPixels(info.icc))
            conversion->convertImage(image);
        return image;
    }
    QByteArray icc;
    auto image = readPicture(file, atLeast, icc);
    if (!image) return image;
    if (auto conversion = SrgbConversion::forRgbPixels(icc)) conversion->convertImage(*image);
    return image;
}

Expected<QImage> decodeQtScaled(const PictureFile& file, const QtInfo& info, QSize target) {
    QByteArray icc = info.icc;
    QImage picture = info.decoded;
    if (picture.isNull()) {
        auto image = readPicture(file, reducedDecodeSize(info.displayed, target), icc);
        if (!image) return image;
        picture = std::move(*image);
    }
    QImage scaled = scaleToSrgb(picture, target, SrgbConversion::forRgbPixels(icc).get());
    if (scaled.isNull()) return fail(QStringLiteral("cannot scale picture"));
    return scaled;
}

qint64 qtScaledBytes(const QtInfo& info, QSize target) {
    // Held since opening, or read whole now; then scaled, with a colour
    // conversion at four times the target in case there is a profile.
    const qint64 picture = info.decoded.isNull() ? readBytes(info.extent, info.format)
                                                 : imageBytes(info.extent, info.format);
    return (4 << 20) + picture + SrgbRowScaler::bytesHeld(info.displayed, target, true);
}

QImage flattenOnWhite(QImage image) {
    // Converted in place where the pixel size allows, so a large picture is
    // not held twice.
    if (image.isNull()) return QImage();
    if (!image.hasAlphaChannel()) {
        image.convertTo(QImage::Format_RGB32);
        return image.format() == QImage::Format_RGB32 ? image : QImage();
    }
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || image.format() != QImage::Format_ARGB32_Premultiplied) return QImage();
    QImage& out = image;
    // Over white, a premultiplied channel c with alpha a becomes c + (255 - a).
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const quint32 p = line[x];
            const quint32 rest = 255u - (p >> 24);
            const quint32 r = std::min(((p >> 16) & 0xffu) + rest, 255u);
            const quint32 g = std::min(((p >> 8) & 0xffu) + rest, 255u);
            const quint32 b = std::min((p & 0xffu) + rest, 255u);
            line[x] = 0xff000000u | (r << 16) | (g << 8) | b;
        }
    }
    return out.reinterpretAsFormat(QImage::Format_RGB32) ? out : QImage();
}

}  // namespace miniskop
