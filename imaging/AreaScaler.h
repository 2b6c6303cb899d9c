// AreaScaler: a separable resampler that takes the source picture one row at a
// time, top to bottom, and builds the scaled picture as it goes. Along a
// direction that shrinks it averages the covered area (every source pixel
// weighs with the share of it that falls into the target pixel); along a
// direction that grows it interpolates bilinearly; at equal size it copies.
// Only the rows still being averaged are held, so a decoder can stream a large
// picture through it without ever holding the picture whole.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <deque>
#include <vector>

namespace miniskop {

class AreaScaler {
public:
    // Both sizes must be at least 1 x 1.
    AreaScaler(QSize source, QSize target);

    // Feeds the next source row: source.width() pixels of 4 bytes in blue,
    // green, red, x order (QImage::Format_RGB32 on little-endian machines).
    void pushRow(const uchar* bgrx);

    // Number of source rows still expected.
    int rowsMissing() const { return source_.height() - nextSourceRow_; }

    // The scaled picture, Format_RGB32, once every source row was pushed.
    // Rows not completed (too few source rows) stay black.
    QImage takeResult();

    // Scales a whole image (any format; converted to RGB32 first).
    static QImage scale(const QImage& source, QSize target);

    // About the most bytes a scaler from `source` to `target` holds: its
    // taps, the rows it is averaging and the scaled picture.
    static qint64 bytesHeld(QSize source, QSize target);

private:
    // Per target index along one axis: the first source index it reads and
    // its weights (which sum to 1).
    struct Taps {
        std::vector<int> first;
        std::vector<int> count;
        std::vector<int> offset;  // into weights
        std::vector<float> weights;
    };
    static Taps makeTaps(int sourceLength, int targetLength);
    void horizontal(const uchar* bgrx, float* out) const;
    void emitRow(int targetRow, const std::vector<float>& acc);

    QSize source_;
    QSize target_;
    Taps columns_;
    Taps rows_;
    QImage result_;
    int nextSourceRow_ = 0;
    int nextTargetRow_ = 0;                  // first target row not yet written
    std::deque<std::vector<float>> active_;  // accumulators from nextTargetRow_ on
    std::vector<std::vector<float>> spare_;  // reused accumulator rows
    std::vector<float> line_;                // the current row, scaled across
};

}  // namespace miniskop
