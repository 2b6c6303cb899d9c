// The memory a HEIF or AVIF picture's decoding holds. See HeifMemory.h.
#include "HeifMemory.h"

#include <algorithm>
#include <cmath>

#include "ColourProfile.h"
#include "DecodeLimit.h"

namespace miniskop {

bool heifThumbnailStandsIn(QSize size, QSize displayed, QSize target) {
    const bool coversTwice =
        size.width() >= 2 * target.width() && size.height() >= 2 * target.height();
    // Proportions: the thumbnail's height against the picture's height
    // scaled to the thumbnail's width.
    const double expectedHeight =
        double(displayed.height()) * size.width() / std::max(displayed.width(), 1);
    const bool sameShape =
        std::abs(size.height() - expectedHeight) <= std::max(2.0, 0.02 * expectedHeight);
    return coversTwice && sameShape && !exceedsDecodeLimit(size);
}

void describeHeifCoding(const QByteArray& head, HeifInfo& info) {
    const auto u8 = [&head](qsizetype at) { return at < head.size() ? quint8(head[at]) : 0; };
    const auto u16 = [&](qsizetype at) { return (quint32(u8(at)) << 8) | u8(at + 1); };
    const auto u32 = [&](qsizetype at) { return (u16(at) << 16) | u16(at + 2); };
    if (const qsizetype hvcc = head.indexOf("hvcC"); hvcc >= 4) {
        static const double shares[4] = {0.0, 0.5, 1.0, 2.0};  // grey, 4:2:0, 4:2:2, 4:4:4
        info.chromaShare = shares[u8(hvcc + 4 + 16) & 3];
    } else if (const qsizetype av1c = head.indexOf("av1C"); av1c >= 4) {
        info.av1 = true;
        const quint8 flags = u8(av1c + 4 + 2);
        const bool grey = (flags & 0x10) != 0;
        const int subsampled = ((flags >> 3) & 1) + ((flags >> 2) & 1);
        info.chromaShare = grey ? 0.0 : 2.0 / (1 << subsampled);
    }
    // pitm names the primary item; each infe (version 2 or 3) an item's type.
    const qsizetype pitm = head.indexOf("pitm");
    if (pitm < 4) return;
    const quint32 primary = u8(pitm + 4) == 0 ? u16(pitm + 8) : u32(pitm + 8);
    for (qsizetype at = head.indexOf("infe"); at >= 4; at = head.indexOf("infe", at + 4)) {
        const int version = u8(at + 4);
        if (version < 2) continue;
        const quint32 id = version == 2 ? u16(at + 8) : u32(at + 8);
        const qsizetype type = at + 8 + (version == 2 ? 2 : 4) + 2;
        if (id == primary && type + 4 <= head.size()) {
            info.grid = head.mid(type, 4) == "grid";
            return;
        }
    }
}

qint64 heifScaledBytes(const HeifInfo& info, QSize target) {
    QSize chosen = info.displayed;
    for (const QSize& size : info.thumbnails) {
        if (heifThumbnailStandsIn(size, info.displayed, target) &&
            qint64(size.width()) * size.height() < qint64(chosen.width()) * chosen.height())
            chosen = size;
    }
    const qint64 pixels = qint64(chosen.width()) * chosen.height();
    const qint64 planes =
        qint64(double(pixels) * info.bytesPerSample * (1.0 + info.chromaShare + info.alpha));
    // The decoder's picture and libheif's copy of it; one of a grid's tiles
    // at a time. dav1d also keeps the picture's coefficients and more.
    const qint64 decoder = info.av1 ? planes * 5 : info.grid ? planes + (16 << 20) : planes * 3;
    // Samples above 8 bits are brought to 8 in a copy; transparency takes
    // the road through interleaved RGBA.
    const qint64 narrowed = info.bytesPerSample > 1 ? planes / 2 : 0;
    const qint64 rgba = info.alpha ? pixels * 4 : 0;
    return (4 << 20) + info.fileBytes + decoder + narrowed + rgba +
           SrgbRowScaler::bytesHeld(chosen, target, true) + qint64(chosen.width()) * 4;
}

}  // namespace miniskop
