// The thumbnail size rule. See ThumbnailSize.h.
#include "ThumbnailSize.h"

#include <algorithm>
#include <cmath>

namespace miniskop {

namespace {

// Whole pixels from a fractional side: nearest, halves away from zero.
bool toPixels(float side, int& out) {
    if (!std::isfinite(side) || side < 0.5f || side >= float(1 << 30)) return false;
    out = int(std::lround(side));
    return out >= 1;
}

}  // namespace

Expected<QSize> thumbnailSize(float W, float H, float S, bool enlarge) {
    if (!(S > 0.0f) || !std::isfinite(S))
        return fail(QStringLiteral("size bound must be positive"));
    if (!(W >= 1.0f) || !(H >= 1.0f) || !std::isfinite(W) || !std::isfinite(H))
        return fail(QStringLiteral("picture has no area"));
    float tw = W;
    float th = H;
    if (W < S && H < S) {
        if (enlarge) {
            const float rx = S / W;
            const float ry = S / H;
            // When both are equal the smaller is their mean: the same value.
            const float f = rx < ry ? rx : ry;
            tw = W * f;
            th = H * f;
        }
    } else {
        const float rx = W / S;
        const float ry = H / S;
        const float f = rx > ry ? rx : ry;
        tw = W / f;
        th = H / f;
    }
    int width = 0, height = 0;
    if (!toPixels(tw, width) || !toPixels(th, height))
        return fail(QStringLiteral("thumbnail side below one pixel"));
    return QSize(width, height);
}

QSize coveringSize(QSize natural, QSize atLeast) {
    if (!atLeast.isValid() || atLeast.width() >= natural.width() ||
        atLeast.height() >= natural.height())
        return natural;
    const double f = std::max(double(atLeast.width()) / natural.width(),
                              double(atLeast.height()) / natural.height());
    const int w = std::clamp(int(std::ceil(natural.width() * f - 1e-9)),
                             std::max(atLeast.width(), 1), natural.width());
    const int h = std::clamp(int(std::ceil(natural.height() * f - 1e-9)),
                             std::max(atLeast.height(), 1), natural.height());
    return QSize(w, h);
}

QSize reducedDecodeSize(QSize natural, QSize target) { return (target * 2).boundedTo(natural); }

}  // namespace miniskop
