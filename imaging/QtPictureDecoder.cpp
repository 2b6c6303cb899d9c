// QImageReader-based decoding with an allocation limit, reduced reading where
// the format handler offers it, and transparency laid on white.
#include "QtPictureDecoder.h"

#include <QImageIOHandler>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <mutex>

#include "PictureSource.h"

namespace miniskop {

namespace {

// Qt's limit is process-wide; set it once, before the first reader is made.
void ensureAllocationLimit() {
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(int(kMaxDecodedBytes >> 20)); });
}

void prepare(QImageReader& reader) {
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
}

bool swapsSides(const QImageReader& reader) {
    return reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
}

bool tooLarge(QSize size) {
    return double(size.width()) * double(size.height()) * 4.0 > double(kMaxDecodedBytes);
}

QString readerError(const QImageReader& reader, const QString& path) {
    return QStringLiteral("%1: %2").arg(path, reader.errorString());
}

}  // namespace

Expected<QtPictureInfo> readQtPictureInfo(const QString& path) {
    ensureAllocationLimit();
    QImageReader reader(path);
    prepare(reader);
    if (!reader.canRead()) return fail(readerError(reader, path));
    QtPictureInfo info;
    const QSize stored = reader.size();
    if (stored.isValid()) {
        if (tooLarge(stored)) return fail(QStringLiteral("%1: picture too large").arg(path));
        info.swapsSides = swapsSides(reader);
        info.displayed = info.swapsSides ? stored.transposed() : stored;
    } else {
        // The format does not tell its size up front: decode to learn it.
        QImage image;
        if (!reader.read(&image)) return fail(readerError(reader, path));
        info.decoded = flattenOnWhite(image);
        info.displayed = info.decoded.size();
    }
    if (info.displayed.width() < 1 || info.displayed.height() < 1)
        return fail(QStringLiteral("%1: picture without area").arg(path));
    return info;
}

Expected<QImage> decodeQtPicture(const QString& path, QSize atLeast) {
    ensureAllocationLimit();
    QImageReader reader(path);
    prepare(reader);
    const QSize stored = reader.size();
    if (stored.isValid() && tooLarge(stored))
        return fail(QStringLiteral("%1: picture too large").arg(path));
    if (stored.isValid() && atLeast.isValid() &&
        reader.supportsOption(QImageIOHandler::ScaledSize)) {
        const QSize want = swapsSides(reader) ? atLeast.transposed() : atLeast;
        if (want.width() < stored.width() && want.height() < stored.height()) {
            // Keep the proportions; round up so neither side falls short.
            const double f = std::max(double(want.width()) / stored.width(),
                                      double(want.height()) / stored.height());
            const int w = std::clamp(int(std::ceil(stored.width() * f - 1e-9)),
                                     std::max(want.width(), 1), stored.width());
            const int h = std::clamp(int(std::ceil(stored.height() * f - 1e-9)),
                                     std::max(want.height(), 1), stored.height());
            reader.setScaledSize(QSize(w, h));
        }
    }
    QImage image;
    if (!reader.read(&image)) return fail(readerError(reader, path));
    return flattenOnWhite(image);
}

QImage flattenOnWhite(const QImage& image) {
    if (image.isNull()) return QImage();
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) return out;
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
