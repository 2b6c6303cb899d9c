// BMP headers and the BMP road into the area scaler. See BmpDecoder.h.
#include "BmpDecoder.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "DecodeLimit.h"
#include "PictureFile.h"

namespace miniskop {

namespace {

constexpr int kFileHeaderBytes = 14;

inline quint32 u16(const uchar* p) { return quint32(p[0]) | quint32(p[1]) << 8; }
inline quint32 u32(const uchar* p) { return u16(p) | u16(p + 2) << 16; }
inline qint32 i32(const uchar* p) { return qint32(u32(p)); }

enum Compression : quint32 {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kRle24 = 4,  // OS/2; for Windows an embedded JPEG, which has no depth
    kAlphaBitFields = 6,
};

Unexpected<Failure> endsEarly() { return fail(QStringLiteral("file ends early")); }

// The sizes of Windows' headers from 40 bytes on; other sizes from 16 to
// 64 bytes are OS/2 2.x headers, which share the first 40 bytes' layout.
bool windowsHeader(quint32 size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool contiguous(quint32 mask) {
    if (mask == 0) return true;
    const quint32 run = mask >> std::countr_zero(mask);
    return (run & (run + 1)) == 0;
}

// The coding the header's compression and depth give, or a failure.
Expected<DibLayout::Coding> codingOf(quint32 compression, int bits) {
    const bool depth =
        bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (!depth) return fail(QStringLiteral("%1 bits a pixel not read").arg(bits));
    switch (compression) {
        case kRgb:
            return DibLayout::Coding::Plain;
        case kBitFields:
        case kAlphaBitFields:
            if (bits == 16 || bits == 32) return DibLayout::Coding::Plain;
            break;
        case kRle8:
            if (bits == 8) return DibLayout::Coding::Rle8;
            break;
        case kRle4:
            if (bits == 4) return DibLayout::Coding::Rle4;
            break;
        case kRle24:
            if (bits == 24) return DibLayout::Coding::Rle24;
            break;
    }
    return fail(
        QStringLiteral("compression %1 at %2 bits a pixel not read").arg(compression).arg(bits));
}

// Reads the masks of a 16- or 32-bit picture into `l`. The colour masks of
// BI_BITFIELDS and BI_ALPHABITFIELDS come from the header (V2 and later) or
// right after it; plain pixels have the fixed 5-5-5 or 8-8-8 layout. An
// alpha mask comes with BI_ALPHABITFIELDS or a V3 or later header, and
// counts where it lies beside the colours.
Status readMasks(const PictureFile& file, qint64 at, quint32 headerSize, quint32 compression,
                 DibLayout& l, qint64& masksEnd) {
    const quint32 pixelBits = l.bits == 32 ? 0xffffffffu : 0xffffu;
    const bool fields = compression == kBitFields || compression == kAlphaBitFields;
    const bool inHeader = headerSize >= 52 && windowsHeader(headerSize);
    const int count = compression == kAlphaBitFields || (inHeader && headerSize >= 56) ? 4 : 3;
    uchar m[16] = {};
    const qint64 from = inHeader ? at + 40 : at + headerSize;
    if ((fields || inHeader) && file.readAt(from, m, 4 * count) < 4 * count) return endsEarly();
    if (fields && !inHeader) masksEnd = from + 4 * count;
    quint32 red = u32(m) & pixelBits, green = u32(m + 4) & pixelBits, blue = u32(m + 8) & pixelBits;
    if (!fields || (red | green | blue) == 0) {
        red = l.bits == 32 ? 0xff0000u : 0x7c00u;
        green = l.bits == 32 ? 0xff00u : 0x3e0u;
        blue = l.bits == 32 ? 0xffu : 0x1fu;
    }
    quint32 alpha = count == 4 ? u32(m + 12) & pixelBits : 0;
    if ((alpha & (red | green | blue)) != 0) alpha = 0;
    for (quint32 mask : {red, green, blue, alpha})
        if (!contiguous(mask)) return fail(QStringLiteral("bit field masks not contiguous"));
    l.redMask = red, l.greenMask = green, l.blueMask = blue, l.alphaMask = alpha;
    return {};
}

}  // namespace

Expected<DibLayout> readDibLayout(const PictureFile& file, qint64 at, qint64 dataOffset) {
    uchar h[40] = {};
    if (file.readAt(at, h, 4) < 4) return endsEarly();
    const quint32 headerSize = u32(h);
    const bool core = headerSize == 12;
    if (!core && !(headerSize >= 16 && headerSize <= 64) && headerSize != 108 && headerSize != 124)
        return fail(QStringLiteral("unknown header size %1").arg(headerSize));
    const qsizetype read = qsizetype(std::min<quint32>(headerSize, 40));
    if (file.readAt(at, h, read) < read) return endsEarly();

    DibLayout l;
    qint64 width = 0, height = 0;
    quint32 compression = kRgb, colours = 0;
    if (core) {
        width = u16(h + 4), height = u16(h + 6), l.bits = int(u16(h + 10));
    } else {
        width = i32(h + 4), height = i32(h + 8), l.bits = int(u16(h + 14));
        compression = headerSize >= 20 ? u32(h + 16) : kRgb;
        colours = headerSize >= 36 ? u32(h + 32) : 0;
    }
    l.topDown = height < 0;
    height = std::abs(height);
    if (width < 1 || height < 1) return fail(QStringLiteral("picture without area"));
    // Rows are streamed, so only what decoding holds can make it too large
    // (the estimate before decoding).
    if (width > INT_MAX || height > INT_MAX) return fail(QStringLiteral("picture too large"));
    l.width = int(width), l.height = int(height);
    auto coding = codingOf(compression, l.bits);
    if (!coding) return unexpected(coding.error());
    l.coding = *coding;

    qint64 tableAt = at + headerSize;  // masks after a 40-byte header, or the palette
    if (l.bits >= 16 && l.coding == DibLayout::Coding::Plain) {
        if (Status masks = readMasks(file, at, headerSize, compression, l, tableAt); !masks)
            return unexpected(masks.error());
    }
    if (dataOffset >= 0 && dataOffset < tableAt)
        return fail(QStringLiteral("pixel data inside the header"));
    l.palette.fill(0xff000000u);
    if (l.bits <= 8) {
        // OS/2 1.x gives no count; a short palette ends where the pixels begin.
        const int entry = core ? 3 : 4;
        qint64 count = 1 << l.bits;
        if (colours != 0) count = std::min<qint64>(count, colours);
        if (dataOffset >= 0) count = std::min(count, (dataOffset - tableAt) / entry);
        uchar table[256 * 4];
        const qsizetype bytes = qsizetype(count * entry);
        if (file.readAt(tableAt, table, bytes) < bytes) return endsEarly();
        for (qint64 i = 0; i < count; ++i) {
            const uchar* c = table + i * entry;
            l.palette[size_t(i)] = 0xff000000u | quint32(c[2]) << 16 | quint32(c[1]) << 8 | c[0];
        }
        tableAt += bytes;
    }
    l.dataOffset = dataOffset >= 0 ? dataOffset : tableAt;
    return l;
}

bool looksLikeBmp(const QByteArray& head) { return head.startsWith("BM"); }

Expected<BmpInfo> readBmpInfo(const PictureFile& file) {
    uchar h[kFileHeaderBytes];
    if (file.readAt(0, h, kFileHeaderBytes) < kFileHeaderBytes)
        return fail(QStringLiteral("BMP: file ends early"));
    auto layout = readDibLayout(file, kFileHeaderBytes, u32(h + 10));
    if (!layout) return fail(QStringLiteral("BMP: %1").arg(layout.error().message));
    return BmpInfo{QSize(layout->width, layout->height), *layout, DibRows::bytesHeld(*layout)};
}

Expected<QImage> decodeBmpScaled(const PictureFile& file, const BmpInfo& info, QSize target) {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return fail(QStringLiteral("BMP: target size out of range"));
    auto rows = DibRows::open(file, info.layout);
    if (!rows) return fail(QStringLiteral("BMP: %1").arg(rows.error().message));
    DibScaler scaler(info.displayed, target, info.layout.hasAlpha());
    // Until some pixel has alpha, the alpha bytes are not looked at.
    const auto opaque = [](uchar*) { return false; };
    for (int y = 0; y < info.layout.height; ++y) {
        auto row = rows->next();
        if (!row) return fail(QStringLiteral("BMP: %1").arg(row.error().message));
        scaler.push(*row, opaque);
    }
    QImage result = scaler.takeResult();
    if (result.isNull()) return fail(QStringLiteral("BMP: out of memory"));
    return result;
}

}  // namespace miniskop
