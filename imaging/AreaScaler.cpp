// Separable streaming resampler: area averaging when shrinking, bilinear
// interpolation when enlarging. See AreaScaler.h.
#include "AreaScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace miniskop {

AreaScaler::Taps AreaScaler::makeTaps(int sourceLength, int targetLength) {
    Taps taps;
    taps.first.resize(targetLength);
    taps.count.resize(targetLength);
    taps.offset.resize(targetLength);
    const double ratio = double(sourceLength) / double(targetLength);
    for (int d = 0; d < targetLength; ++d) {
        taps.offset[d] = int(taps.weights.size());
        if (targetLength == sourceLength) {
            taps.first[d] = d;
            taps.weights.push_back(1.0f);
        } else if (targetLength < sourceLength) {
            // Target pixel d covers the source interval [lo, hi).
            const double lo = d * ratio;
            const double hi = std::min((d + 1) * ratio, double(sourceLength));
            const int s0 = std::min(int(std::floor(lo)), sourceLength - 1);
            const int s1 = std::clamp(int(std::ceil(hi)), s0 + 1, sourceLength);
            taps.first[d] = s0;
            for (int s = s0; s < s1; ++s) {
                const double overlap = std::min(hi, s + 1.0) - std::max(lo, double(s));
                taps.weights.push_back(float(std::max(overlap, 0.0) / ratio));
            }
        } else {
            // Centre of target pixel d in source coordinates, kept inside.
            const double pos = std::clamp((d + 0.5) * ratio - 0.5, 0.0, double(sourceLength - 1));
            const int s0 = int(std::floor(pos));
            const double t = pos - s0;
            taps.first[d] = s0;
            if (t > 0.0 && s0 + 1 < sourceLength) {
                taps.weights.push_back(float(1.0 - t));
                taps.weights.push_back(float(t));
            } else {
                taps.weights.push_back(1.0f);
            }
        }
        taps.count[d] = int(taps.weights.size()) - taps.offset[d];
    }
    return taps;
}

qint64 AreaScaler::bytesHeld(QSize source, QSize target) {
    const qint64 sw = std::max(source.width(), 1), sh = std::max(source.height(), 1);
    const qint64 tw = std::max(target.width(), 1), th = std::max(target.height(), 1);
    // Taps: a weight per source pixel and three numbers per target pixel, both
    // ways (twice that where it grows). Rows being averaged: two while it
    // shrinks, as many as one source row reaches while it grows.
    const qint64 taps = 8 * (sw + sh + tw + th) + 12 * (tw + th);
    const qint64 rows = std::min(th, th / sh + 3) + 2;
    return taps + rows * tw * 3 * 4 + tw * th * 4;
}

AreaScaler::AreaScaler(QSize source, QSize target)
    : source_(source),
      target_(target),
      columns_(makeTaps(source.width(), target.width())),
      rows_(makeTaps(source.height(), target.height())),
      result_(target, QImage::Format_RGB32),
      line_(size_t(target.width()) * 3 + 1) {
    result_.fill(Qt::black);
}

void AreaScaler::horizontal(const uchar* bgrx, float* out) const {
    const int tw = target_.width();
    const int* first = columns_.first.data();
    const int* count = columns_.count.data();
    const int* offset = columns_.offset.data();
    const float* weights = columns_.weights.data();
#if defined(__SSE2__)
    // The same products and sums as the plain loop below, in the same order
    // for every channel, four lanes at a time (blue, green, red, x): the
    // results are bit for bit the same. Four target pixels are summed side
    // by side, so their chains of additions overlap in time. `out` has room
    // for one float more than the row needs, which the last store fills.
    const __m128i zero = _mm_setzero_si128();
    const auto pixel = [zero](const uchar* p) {
        int bits = 0;
        std::memcpy(&bits, p, 4);
        return _mm_cvtepi32_ps(
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bits), zero), zero));
    };
    const auto addFour = [zero](__m128 sum, const float* w, const uchar* p) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
        const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
        const __m128 weights4 = _mm_loadu_ps(w);
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_shuffle_ps(weights4, weights4, 0x00),
                                         _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero))));
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_shuffle_ps(weights4, weights4, 0x55),
                                         _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero))));
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_shuffle_ps(weights4, weights4, 0xaa),
                                         _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero))));
        return _mm_add_ps(sum, _mm_mul_ps(_mm_shuffle_ps(weights4, weights4, 0xff),
                                          _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero))));
    };
    const auto tail = [&](int x, int from, __m128 sum) {
        const uchar* p = bgrx + size_t(first[x] + from) * 4;
        const float* w = weights + offset[x];
        for (int i = from; i < count[x]; ++i, p += 4)
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(w[i]), pixel(p)));
        _mm_storeu_ps(out + 3 * x, sum);
    };
    int x = 0;
    for (; x + 4 <= tw; x += 4) {
        const uchar* p0 = bgrx + size_t(first[x]) * 4;
        const uchar* p1 = bgrx + size_t(first[x + 1]) * 4;
        const uchar* p2 = bgrx + size_t(first[x + 2]) * 4;
        const uchar* p3 = bgrx + size_t(first[x + 3]) * 4;
        const float* w0 = weights + offset[x];
        const float* w1 = weights + offset[x + 1];
        const float* w2 = weights + offset[x + 2];
        const float* w3 = weights + offset[x + 3];
        const int shared =
            std::min(std::min(count[x], count[x + 1]), std::min(count[x + 2], count[x + 3]));
        __m128 s0 = _mm_setzero_ps(), s1 = s0, s2 = s0, s3 = s0;
        int i = 0;
        // Four source pixels of each target pixel at a time: one load of
        // 16 bytes and one of four weights instead of four of each. The
        // additions stay in source order.
        for (; i + 4 <= shared; i += 4) {
            s0 = addFour(s0, w0 + i, p0 + 4 * i);
            s1 = addFour(s1, w1 + i, p1 + 4 * i);
            s2 = addFour(s2, w2 + i, p2 + 4 * i);
            s3 = addFour(s3, w3 + i, p3 + 4 * i);
        }
        for (; i < shared; ++i) {
            s0 = _mm_add_ps(s0, _mm_mul_ps(_mm_set1_ps(w0[i]), pixel(p0 + 4 * i)));
            s1 = _mm_add_ps(s1, _mm_mul_ps(_mm_set1_ps(w1[i]), pixel(p1 + 4 * i)));
            s2 = _mm_add_ps(s2, _mm_mul_ps(_mm_set1_ps(w2[i]), pixel(p2 + 4 * i)));
            s3 = _mm_add_ps(s3, _mm_mul_ps(_mm_set1_ps(w3[i]), pixel(p3 + 4 * i)));
        }
        tail(x, shared, s0);
        tail(x + 1, shared, s1);
        tail(x + 2, shared, s2);
        tail(x + 3, shared, s3);
    }
    for (; x < tw; ++x) tail(x, 0, _mm_setzero_ps());
#else
    for (int x = 0; x < tw; ++x) {
        const uchar* p = bgrx + size_t(first[x]) * 4;
        const float* w = weights + offset[x];
        float b = 0, g = 0, r = 0;
        for (int i = 0, n = count[x]; i < n; ++i, p += 4) {
            b += w[i] * p[0];
            g += w[i] * p[1];
            r += w[i] * p[2];
        }
        out[3 * x] = b;
        out[3 * x + 1] = g;
        out[3 * x + 2] = r;
    }
#endif
}

void AreaScaler::pushRow(const uchar* bgrx) {
    if (nextSourceRow_ >= source_.height()) return;
    const int y = nextSourceRow_++;
    horizontal(bgrx, line_.data());

    // Add this row into every unfinished target row that reads it.
    const size_t n = size_t(target_.width()) * 3;
    for (int d = nextTargetRow_; d < target_.height() && rows_.first[d] <= y; ++d) {
        const size_t slot = size_t(d - nextTargetRow_);
        if (slot == active_.size()) {
            if (spare_.empty()) {
                active_.emplace_back(n, 0.0f);
            } else {
                active_.push_back(std::move(spare_.back()));
                spare_.pop_back();
                std::fill(active_.back().begin(), active_.back().end(), 0.0f);
            }
        }
        const int tap = y - rows_.first[d];
        if (tap >= rows_.count[d]) continue;
        const float w = rows_.weights[size_t(rows_.offset[d] + tap)];
        float* acc = active_[slot].data();
        for (size_t i = 0; i < n; ++i) acc[i] += w * line_[i];
    }

    // Target rows whose last source row this was are complete.
    while (nextTargetRow_ < target_.height() &&
           rows_.first[nextTargetRow_] + rows_.count[nextTargetRow_] - 1 <= y) {
        if (active_.empty()) break;  // cannot happen: a finished row was touched
        emitRow(nextTargetRow_, active_.front());
        spare_.push_back(std::move(active_.front()));
        active_.pop_front();
        ++nextTargetRow_;
    }
}

void AreaScaler::emitRow(int targetRow, const std::vector<float>& acc) {
    if (result_.isNull()) return;  // the target could not be allocated
    auto* out = reinterpret_cast<quint32*>(result_.scanLine(targetRow));
    for (int x = 0; x < target_.width(); ++x) {
        auto channel = [&](int c) {
            return quint32(std::clamp(int(acc[size_t(3 * x + c)] + 0.5f), 0, 255));
        };
        out[x] = 0xff000000u | (channel(2) << 16) | (channel(1) << 8) | channel(0);
    }
}

QImage AreaScaler::takeResult() {
    active_.clear();
    spare_.clear();
    return std::move(result_);
}

QImage AreaScaler::scale(const QImage& source, QSize target) {
    if (source.isNull() || target.isEmpty()) return QImage();
    const QImage rgb = source.format() == QImage::Format_RGB32
                           ? source
                           : source.convertToFormat(QImage::Format_RGB32);
    if (rgb.size() == target) return rgb;
    AreaScaler scaler(rgb.size(), target);
    for (int y = 0; y < rgb.height(); ++y) scaler.pushRow(rgb.constScanLine(y));
    return scaler.takeResult();
}

}  // namespace miniskop
