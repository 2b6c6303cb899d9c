// EXIF orientation tag reader and the eight display transforms.
#include "ExifOrientation.h"

#include <cstring>

namespace miniskop {

namespace {

// Reads integers of the byte order the TIFF header announced, within bounds.
struct TiffReader {
    const unsigned char* base;
    std::size_t length;
    bool bigEndian;

    bool u16(std::size_t at, unsigned& out) const {
        if (at > length || length - at < 2) return false;
        out = bigEndian ? (base[at] << 8) | base[at + 1] : base[at] | (base[at + 1] << 8);
        return true;
    }
    bool u32(std::size_t at, unsigned long& out) const {
        unsigned hi = 0, lo = 0;
        if (!u16(at, bigEndian ? hi : lo) || !u16(at + 2, bigEndian ? lo : hi)) return false;
        out = (static_cast<unsigned long>(hi) << 16) | lo;
        return true;
    }
};

}  // namespace

int exifOrientation(const unsigned char* data, std::size_t length) {
    static const unsigned char kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (data == nullptr || length < 6 + 8 || std::memcmp(data, kExif, 6) != 0) return 1;
    TiffReader tiff{data + 6, length - 6, false};
    if (tiff.base[0] == 'M' && tiff.base[1] == 'M') {
        tiff.bigEndian = true;
    } else if (!(tiff.base[0] == 'I' && tiff.base[1] == 'I')) {
        return 1;
    }
    unsigned magic = 0;
    unsigned long ifd = 0;
    if (!tiff.u16(2, magic) || magic != 42 || !tiff.u32(4, ifd)) return 1;
    unsigned entries = 0;
    if (!tiff.u16(ifd, entries)) return 1;
    for (unsigned i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + std::size_t(i) * 12;
        unsigned tag = 0, type = 0, value = 0;
        unsigned long count = 0;
        if (!tiff.u16(entry, tag) || !tiff.u16(entry + 2, type) || !tiff.u32(entry + 4, count))
            return 1;
        if (tag != 0x0112) continue;
        // SHORT, one value, held in the first two bytes of the value field.
        if (type != 3 || count < 1 || !tiff.u16(entry + 8, value)) return 1;
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

QImage applyOrientation(const QImage& stored, int orientation) {
    if (orientation < 2 || orientation > 8 || stored.isNull()) return stored;
    const QImage src = stored.format() == QImage::Format_RGB32
                           ? stored
                           : stored.convertToFormat(QImage::Format_RGB32);
    const int sw = src.width();
    const int sh = src.height();
    const QSize size = orientedSize(src.size(), orientation);
    QImage out(size, QImage::Format_RGB32);
    if (out.isNull()) return out;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            // The stored pixel that is displayed at (x, y).
            int sx = x, sy = y;
            switch (orientation) {
                case 2:
                    sx = sw - 1 - x;
                    break;
                case 3:
                    sx = sw - 1 - x;
                    sy = sh - 1 - y;
                    break;
                case 4:
                    sy = sh - 1 - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = sh - 1 - x;
                    break;
                case 7:
                    sx = sw - 1 - y;
                    sy = sh - 1 - x;
                    break;
                case 8:
                    sx = sw - 1 - y;
                    sy = x;
                    break;
            }
            line[x] = reinterpret_cast<const quint32*>(src.constScanLine(sy))[sx];
        }
    }
    return out;
}

}  // namespace miniskop
