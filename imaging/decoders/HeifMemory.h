// What decoding a HEIF or AVIF picture holds, for the decoding budget: the
// planes as coded (sampling, sample size, alpha), the copies the decoder and
// libheif make of them (fewer for a grid of tiles), or an embedded thumbnail's
// planes when that thumbnail is decoded instead. Measured with libheif 1.15,
// libde265 and dav1d.
#pragma once

#include <QByteArray>
#include <QSize>

#include "HeifDecoder.h"

namespace miniskop {

// True when an embedded thumbnail of `size` may stand in for a picture of
// `displayed` at `target`: at least twice the target in both directions,
// with the picture's proportions (encoders round its sides to even numbers:
// within two pixels or 2 %).
bool heifThumbnailStandsIn(QSize size, QSize displayed, QSize target);

// What libheif does not tell about the primary picture's coding, read from
// the boxes at the file's start (`head`): the chroma sampling of its codec
// configuration (hvcC or av1C) and whether its item is a grid of tiles.
// Without them `info` stays on the high side: 4:4:4, not a grid.
void describeHeifCoding(const QByteArray& head, HeifInfo& info);

}  // namespace miniskop
