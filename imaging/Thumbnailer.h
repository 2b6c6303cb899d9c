// The thumbnail size rule and the pixel work of one thumbnail, as plain
// functions of their inputs, callable from any thread.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include "Expected.h"

namespace miniskop {

// Target size of a W x H picture bounded by the square S x S. Single-precision
// arithmetic throughout:
//  - not enlarge, W < S and H < S: the picture keeps its size;
//  - enlarge, W < S and H < S: f = min(S/W, S/H), size W*f x H*f;
//  - otherwise (W >= S or H >= S): f = max(W/S, H/S), size W/f x H/f.
// Each side is brought to the nearest whole pixel, halves away from zero
// (std::lround: 37.5 gives 38). Fails when S is 0 or less,
// when W or H is below 1, or when a side would come out below 1 pixel.
Expected<QSize> thumbnailSize(float W, float H, float S, bool enlarge);

// Scales `source` to exactly `target`: area averaging where a direction
// shrinks, bilinear interpolation where it grows, plain copy at equal size.
// The result is Format_RGB32.
QImage scaleImage(const QImage& source, QSize target);

struct ThumbRequest {
    QString path;
    float sizeBound = 120.0f;  // S
    bool enlarge = false;
};

struct Thumbnail {
    QImage image;       // TW x TH, Format_RGB32
    QSize naturalSize;  // W x H of the picture
};

// Loads `request.path`, works out the size and scales the picture into it.
// Uses reduced decoding wherever the result still covers the target size.
Expected<Thumbnail> renderThumbnail(const ThumbRequest& request);

}  // namespace miniskop
