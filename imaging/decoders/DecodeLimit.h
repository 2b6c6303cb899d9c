// The most memory one picture's decoding may take: the budget that the
// pictures being decoded at once share, 1 GiB unless the batch tool's
// --memory sets another. A picture whose decoding is estimated to need more
// is refused with a sentence that says so; it is never a matter of pixel
// count, so a picture streamed row by row is made however large it is. The
// decoders keep every buffer they allocate below the limit too, so that a
// small hostile file cannot make the program allocate gigabytes.
#pragma once

#include <QSize>
#include <QtGlobal>
#include <cmath>

#include "Expected.h"

namespace miniskop {

inline constexpr qint64 kDefaultDecodeLimit = qint64(1) << 30;

// The limit in force for the whole program. Set it before the first picture
// is read; it is read from every thread that decodes.
qint64 decodeLimit();
void setDecodeLimit(qint64 bytes);

// True when `bytes` pass the limit.
inline bool exceedsDecodeLimit(qint64 bytes) { return bytes > decodeLimit(); }

// True when a buffer of `size` 4-byte pixels would pass the limit.
inline bool exceedsDecodeLimit(QSize size) {
    return double(size.width()) * double(size.height()) * 4.0 > double(decodeLimit());
}

// The bytes of a width x height picture of `bytesPerPixel` each: exact below
// 2^53, and capped at 2^60, far above any budget, so that a header claiming
// 2^31 x 2^31 pixels gives an amount that a few more can be added to.
inline qint64 pixelBytes(qint64 width, qint64 height, double bytesPerPixel = 4) {
    constexpr qint64 kCap = qint64(1) << 60;
    if (width <= 0 || height <= 0) return 0;
    const double bytes = std::ceil(double(width) * double(height) * bytesPerPixel);
    return bytes >= double(kCap) ? kCap : qint64(bytes);
}

// The refusal of a picture that needs `needed` bytes where `allowed` are
// allowed, in the program's words: "zu groß: braucht 1.5 GB, erlaubt sind 1 GB".
Unexpected<Failure> tooLarge(qint64 needed, qint64 allowed);

}  // namespace miniskop
