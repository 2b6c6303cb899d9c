// Icon directories, the choice of entry, and its decoding. See IcoDecoder.h.
#include "IcoDecoder.h"

#include <spng.h>

#include <QtEndian>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "BmpDecoder.h"
#include "DecodeLimit.h"
#include "PictureFile.h"
#include "PngFastPath.h"

namespace miniskop {

namespace {

constexpr int kDirectoryBytes = 6;
constexpr int kEntryBytes = 16;

inline quint32 u16(const uchar* p) { return quint32(p[0]) | quint32(p[1]) << 8; }
inline quint32 u32(const uchar* p) { return u16(p) | u16(p + 2) << 16; }

Unexpected<Failure> icoFailure(const QString& reason) {
    return fail(QStringLiteral("ICO: %1").arg(reason));
}

// Bits a pixel of a PNG with `depth` bits a sample and colour type `type`.
int pngBits(int depth, int type) {
    const int samples[7] = {1, 0, 3, 1, 2, 0, 4};
    return type >= 0 && type < 7 ? depth * samples[type] : 0;
}

// The entry at `offset` as a candidate; nothing when it is not one this
// decoder reads.
std::optional<IcoInfo> examine(const PictureFile& file, qint64 offset, qint64 size) {
    uchar head[33];
    if (file.readAt(offset, head, sizeof head) < qsizetype(sizeof head)) return std::nullopt;
    IcoInfo entry;
    entry.offset = offset, entry.size = size;
    if (std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) {
        const quint32 w = qFromBigEndian<quint32>(head + 16),
                      h = qFromBigEndian<quint32>(head + 20);
        if (w < 1 || h < 1 || w > INT_MAX || h > INT_MAX) return std::nullopt;
        entry.png = true;
        entry.displayed = QSize(int(w), int(h));
        entry.layout.bits = pngBits(head[24], head[25]);
        // Decoded whole: the file's bytes and the pixels.
        entry.bytesHeld = size + pixelBytes(w, h);
        return entry;
    }
    auto layout = readDibLayout(file, offset, -1);
    if (!layout || layout->coding != DibLayout::Coding::Plain || layout->height < 2)
        return std::nullopt;
    DibLayout& l = *layout;
    l.height /= 2;  // the colours, then the AND mask
    // 32-bit pixels of an icon carry alpha in their high byte.
    if (l.bits == 32 && l.alphaMask == 0 && ((l.redMask | l.greenMask | l.blueMask) >> 24) == 0)
        l.alphaMask = 0xff000000u;
    entry.displayed = QSize(l.width, l.height);
    entry.maskOffset = l.dataOffset + l.stride() * l.height;
    entry.bytesHeld = 2 * DibRows::bytesHeld(l);
    entry.layout = l;
    return entry;
}

bool better(const IcoInfo& a, const IcoInfo& b) {
    const qint64 areaA = qint64(a.displayed.width()) * a.displayed.height();
    const qint64 areaB = qint64(b.displayed.width()) * b.displayed.height();
    return areaA != areaB ? areaA > areaB : a.layout.bits > b.layout.bits;
}

struct SpngFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

Unexpected<Failure> pngFailure(int code) {
    return icoFailure(QStringLiteral("PNG: %1").arg(QString::fromLatin1(spng_strerror(code))));
}

Expected<QImage> decodePngEntry(const PictureFile& file, const IcoInfo& info, QSize target) {
    if (exceedsDecodeLimit(info.bytesHeld)) return tooLarge(info.bytesHeld, decodeLimit());
    QByteArray data(qsizetype(info.size), Qt::Uninitialized);
    data.truncate(file.readAt(info.offset, data.data(), data.size()));
    std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
    if (!ctx) return icoFailure(QStringLiteral("out of memory"));
    if (int rc = spng_set_png_buffer(ctx.get(), data.constData(), size_t(data.size())))
        return pngFailure(rc);
    // As the PNG decoder: damaged ancillary chunks are dropped, large ones
    // not held.
    spng_set_crc_action(ctx.get(), SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
    spng_set_chunk_limits(ctx.get(), size_t(64) << 20, size_t(128) << 20);
    spng_set_image_limits(ctx.get(), 0x7fffffffu, 0x7fffffffu);
    spng_ihdr ihdr{};
    if (int rc = spng_get_ihdr(ctx.get(), &ihdr)) return pngFailure(rc);
    if (QSize(int(ihdr.width), int(ihdr.height)) != info.displayed)
        return icoFailure(QStringLiteral("entry changed"));
    size_t bytes = 0;
    if (int rc = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &bytes)) return pngFailure(rc);
    std::vector<uchar> pixels(bytes);
    if (int rc =
            spng_decode_image(ctx.get(), pixels.data(), bytes, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS))
        return pngFailure(rc);
    const size_t width = ihdr.width;
    AreaScaler scaler(info.displayed, target);
    std::vector<uchar> bgra(width * 4);
    for (size_t y = 0; y < ihdr.height; ++y) {
        const uchar* rgba = pixels.data() + y * width * 4;
        for (size_t x = 0; x < width * 4; x += 4) {
            bgra[x] = rgba[x + 2], bgra[x + 1] = rgba[x + 1], bgra[x + 2] = rgba[x];
            bgra[x + 3] = rgba[x + 3];
        }
        layPngRowOnWhite(bgra.data(), width);
        scaler.pushRow(bgra.data());
    }
    return scaler.takeResult();
}

Expected<QImage> decodeBitmapEntry(const PictureFile& file, const IcoInfo& info, QSize target) {
    const DibLayout& l = info.layout;
    auto rows = DibRows::open(file, l);
    if (!rows) return icoFailure(rows.error().message);
    // The AND mask: one bit a pixel, set where the pixel is transparent.
    DibLayout maskLayout;
    maskLayout.width = l.width, maskLayout.height = l.height, maskLayout.topDown = l.topDown;
    maskLayout.bits = 1;
    maskLayout.palette[0] = 0xff000000u, maskLayout.palette[1] = 0;
    maskLayout.dataOffset = info.maskOffset;
    auto mask = DibRows::open(file, maskLayout);
    // 32-bit pixels with alpha do without it.
    if (!mask && !l.hasAlpha()) return icoFailure(mask.error().message);
    bool maskMissing = false;
    const auto masked = [&](uchar* bgra) {
        Expected<uchar*> bits = mask ? mask->next() : fail(QStringLiteral("no mask"));
        if (!bits) {
            maskMissing = true;  // matters only if no pixel has alpha
            return false;
        }
        for (int x = 0; x < l.width; ++x) bgra[4 * x + 3] = (*bits)[4 * x + 3];
        return true;
    };
    DibScaler scaler(info.displayed, target, l.hasAlpha());
    for (int y = 0; y < l.height; ++y) {
        auto row = rows->next();
        if (!row) return icoFailure(row.error().message);
        scaler.push(*row, masked);
    }
    if (maskMissing && !scaler.alphaSeen()) return icoFailure(QStringLiteral("file ends early"));
    return scaler.takeResult();
}

}  // namespace

bool looksLikeIco(const QByteArray& head) {
    if (head.size() < kDirectoryBytes) return false;
    const auto* h = reinterpret_cast<const uchar*>(head.constData());
    const quint32 type = u16(h + 2);
    return u16(h) == 0 && (type == 1 || type == 2) && u16(h + 4) >= 1;
}

Expected<IcoInfo> readIcoInfo(const PictureFile& file) {
    uchar head[kDirectoryBytes];
    if (file.readAt(0, head, kDirectoryBytes) < kDirectoryBytes)
        return icoFailure(QStringLiteral("file ends early"));
    const int count = int(u16(head + 4));
    std::vector<uchar> directory(size_t(count) * kEntryBytes);
    if (file.readAt(kDirectoryBytes, directory.data(), qsizetype(directory.size())) <
        qsizetype(directory.size()))
        return icoFailure(QStringLiteral("file ends early"));
    std::optional<IcoInfo> chosen;
    for (int i = 0; i < count; ++i) {
        const uchar* e = directory.data() + i * kEntryBytes;
        auto entry = examine(file, u32(e + 12), u32(e + 8));
        if (entry && (!chosen || better(*entry, *chosen))) chosen = std::move(entry);
    }
    if (!chosen) return icoFailure(QStringLiteral("no entry that can be read"));
    return *chosen;
}

Expected<QImage> decodeIcoScaled(const PictureFile& file, const IcoInfo& info, QSize target) {
    if (target.width() < 1 || target.height() < 1 || exceedsDecodeLimit(target))
        return icoFailure(QStringLiteral("target size out of range"));
    auto image =
        info.png ? decodePngEntry(file, info, target) : decodeBitmapEntry(file, info, target);
    if (image && image->isNull()) return icoFailure(QStringLiteral("out of memory"));
    return image;
}

}  // namespace miniskop
