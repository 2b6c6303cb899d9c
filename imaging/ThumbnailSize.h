// The thumbnail size rule, a plain function of its inputs, callable from any
// thread.
#pragma once

#include <QSize>

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

// The size a picture of `natural` size is decoded at so that it still covers
// `atLeast`: the natural size when `atLeast` is invalid or not smaller in both
// directions, else proportionally less, each side rounded up (and never below
// `atLeast`, nor above `natural`).
QSize coveringSize(QSize natural, QSize atLeast);

// The size a decoder that can reduce on load decodes at for a thumbnail of
// `target`: twice the target, never above `natural`, so that the final area
// average still has several pixels to work with (a reduced decode just above
// the target would leave a visibly softer, blockier result).
QSize reducedDecodeSize(QSize natural, QSize target);

}  // namespace miniskop
